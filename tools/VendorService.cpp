#include "VendorService.h"

#include <chrono>
#include <thread>

#include <httplib.h>
#include <json/json.h>

namespace zav::tools {

namespace {

constexpr char kHost[] = "127.0.0.1";
constexpr char kJson[] = "application/json";
constexpr char kHelpPage[] =
    "<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>帮助中心</title></head>"
    "<body><h1>帮助中心</h1></body></html>";

std::string Compact(const Json::Value& value) {
  Json::StreamWriterBuilder builder;
  builder["indentation"] = "";
  return Json::writeString(builder, value);
}

ReceivedRequest Received(const httplib::Request& request) {
  ReceivedRequest received{request.method, request.path, {}, {}, request.body};
  for (const auto& [key, value] : request.params) received.query.emplace(key, value);
  for (const auto& [key, value] : request.headers) received.headers.emplace(key, value);
  return received;
}

}  // namespace

VendorService::VendorService() = default;

VendorService::~VendorService() { Stop(); }

bool VendorService::Start(int port, const std::string& certFile, const std::string& keyFile) {
  tls_ = !certFile.empty();
  if (tls_) {
    server_ = std::make_unique<httplib::SSLServer>(certFile.c_str(), keyFile.c_str());
  } else {
    server_ = std::make_unique<httplib::Server>();
  }
  if (!server_->is_valid()) return false;
  Route();
  if (port == 0) {
    port_ = server_->bind_to_any_port(kHost);
  } else if (server_->bind_to_port(kHost, port)) {
    port_ = port;
  }
  if (port_ <= 0) return false;
  thread_ = std::thread([this] { server_->listen_after_bind(); });
  // A stop before the server runs would go unnoticed and leave it listening for ever.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!server_->is_running() && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  return server_->is_running();
}

void VendorService::Stop() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  released_.notify_all();
  if (server_) server_->stop();
  if (thread_.joinable()) thread_.join();
}

std::string VendorService::BaseUrl() const {
  return std::string(tls_ ? "https://" : "http://") + kHost + ":" + std::to_string(port_);
}

std::string VendorService::InstallerUrl() const { return BaseUrl() + "/files/" + Answers().installerName; }

void VendorService::SetAnswers(VendorAnswers answers) {
  std::lock_guard lock(mutex_);
  answers_ = std::move(answers);
  installerReleased_ = false;
}

VendorAnswers VendorService::Answers() const {
  std::lock_guard lock(mutex_);
  return answers_;
}

void VendorService::ReleaseInstaller() {
  {
    std::lock_guard lock(mutex_);
    installerReleased_ = true;
  }
  released_.notify_all();
}

std::vector<ReceivedRequest> VendorService::Requests() const {
  std::lock_guard lock(mutex_);
  return requests_;
}

size_t VendorService::CountRequests(const std::string& method, const std::string& path) const {
  std::lock_guard lock(mutex_);
  size_t count = 0;
  for (const auto& request : requests_) count += request.method == method && request.path == path;
  return count;
}

void VendorService::Record(const ReceivedRequest& request) {
  std::lock_guard lock(mutex_);
  requests_.push_back(request);
}

void VendorService::Route() {
  server_->Post("/v2/upgrade_check", [this](const httplib::Request& request, httplib::Response& response) {
    Record(Received(request));
    const VendorAnswers answers = Answers();
    Json::Value data(Json::objectValue);
    data["app_version"] = answers.appVersion;
    data["download_url"] = answers.downloadUrl.empty() ? InstallerUrl() : answers.downloadUrl;
    data["force_upgrade"] = answers.forceUpgrade;
    if (!answers.forceAsText) {
      try {
        data["force_upgrade"] = std::stoi(answers.forceUpgrade);
      } catch (const std::exception&) {
        // not a number: sent as the text it is
      }
    }
    if (!answers.sha256.empty()) data["sha256"] = answers.sha256;
    Json::Value envelope(Json::objectValue);
    envelope["ret"] = answers.ret;
    envelope["data"] = data;
    response.set_content(Compact(envelope), kJson);
  });

  server_->Post("/v2/feedback", [this](const httplib::Request& request, httplib::Response& response) {
    Record(Received(request));
    Json::Value envelope(Json::objectValue);
    envelope["ret"] = Answers().ret;
    response.set_content(Compact(envelope), kJson);
  });

  server_->Get("/help", [this](const httplib::Request& request, httplib::Response& response) {
    Record(Received(request));
    response.set_content(kHelpPage, "text/html; charset=utf-8");
  });

  server_->Get("/moved", [this](const httplib::Request& request, httplib::Response& response) {
    Record(Received(request));
    response.set_redirect(Answers().redirectTarget);
  });

  // GET and HEAD of the installer.
  server_->Get(R"(/files/(.+))", [this](const httplib::Request& request, httplib::Response& response) {
    Record(Received(request));
    const VendorAnswers answers = Answers();
    if (request.matches[1] != answers.installerName) {
      response.status = 404;
      return;
    }
    const auto bytes = std::make_shared<const std::string>(answers.installerBytes);
    constexpr char kType[] = "application/octet-stream";
    if (request.method == "HEAD" && answers.announcedSize >= 0) {
      // Only the length goes out; no body is read from the provider for HEAD.
      response.set_content_provider(static_cast<size_t>(answers.announcedSize), kType,
                                    [](size_t, size_t, httplib::DataSink&) { return false; });
      return;
    }
    if (answers.endlessInstaller && request.method != "HEAD") {
      response.set_chunked_content_provider(kType, [this, bytes](size_t, httplib::DataSink& sink) {
        {
          std::lock_guard lock(mutex_);
          if (stopping_) return false;
        }
        return sink.write(bytes->data(), bytes->size());
      });
      return;
    }
    if (!answers.announceSize) {
      response.set_chunked_content_provider(kType, [bytes](size_t offset, httplib::DataSink& sink) {
        if (offset < bytes->size()) {
          sink.write(bytes->data() + offset, bytes->size() - offset);
        } else {
          sink.done();
        }
        return true;
      });
      return;
    }
    if (!answers.stallInstaller) {
      response.set_content(*bytes, kType);
      return;
    }
    response.set_content_provider(bytes->size(), kType,
                                  [this, bytes](size_t offset, size_t, httplib::DataSink& sink) {
                                    const size_t half = bytes->size() / 2;
                                    if (offset < half) return sink.write(bytes->data(), half);
                                    std::unique_lock lock(mutex_);
                                    released_.wait(lock, [this] { return installerReleased_ || stopping_; });
                                    if (stopping_) return false;
                                    return sink.write(bytes->data() + offset, bytes->size() - offset);
                                  });
  });
}

}  // namespace zav::tools
