#include "HttpDownload.h"

extern "C" {
#include <libavutil/mem.h>
#include <libavutil/sha.h>
}

#include <glog/logging.h>

#include <sys/statvfs.h>
#include <strings.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <optional>

#include "AtomicFile.h"
#include "CancelToken.h"
#include "CurlTransfer.h"
#include "UserFolders.h"

namespace zav {

namespace {

constexpr size_t kReadPieceBytes = 1024;
constexpr long kMaxRedirects = 5;
constexpr int kSha256Bits = 256;

struct ShaFreer {
  void operator()(AVSHA* sha) const { av_free(sha); }
};
using Sha = std::unique_ptr<AVSHA, ShaFreer>;

// Where the body goes while it arrives, and what is known about it so far.
struct BodySink {
  std::FILE* file = nullptr;
  AVSHA* sha = nullptr;  // null when no checksum is wanted
  int64_t announced = 0;  // at most the limits' maxInstallerBytes: no more is ever taken
  int64_t received = 0;
  int lastPercent = 0;  // the last percentage reported for this download
  const std::function<void(int)>* onPercent = nullptr;
  std::chrono::seconds stallLimit{0};
  std::chrono::steady_clock::time_point lastArrival = std::chrono::steady_clock::now();
  bool writeFailed = false;
  bool diskFull = false;
  bool overrun = false;
  bool stalled = false;
};

bool TakePiece(BodySink& sink, const char* data, size_t bytes) {
  if (sink.received + static_cast<int64_t>(bytes) > sink.announced) {
    sink.overrun = true;
    return false;
  }
  if (std::fwrite(data, 1, bytes, sink.file) != bytes) {
    sink.writeFailed = true;
    sink.diskFull = errno == ENOSPC || errno == EDQUOT;
    return false;
  }
  if (sink.sha) av_sha_update(sink.sha, reinterpret_cast<const uint8_t*>(data), bytes);
  sink.received += static_cast<int64_t>(bytes);
  const int percent = static_cast<int>(static_cast<float>(sink.received) / static_cast<float>(sink.announced) * 100);
  if (percent != sink.lastPercent) {
    sink.lastPercent = percent;
    try {
      (*sink.onPercent)(percent);
    } catch (...) {
      LOG(ERROR) << "download progress report failed";
    }
  }
  return true;
}

// libcurl hands over what one receive brought; it is taken in pieces of at most 1024 bytes.
size_t WriteBody(char* data, size_t size, size_t count, void* userData) {
  auto* sink = static_cast<BodySink*>(userData);
  const size_t bytes = size * count;
  sink->lastArrival = std::chrono::steady_clock::now();
  for (size_t done = 0; done < bytes; done += kReadPieceBytes) {
    if (!TakePiece(*sink, data + done, std::min<size_t>(kReadPieceBytes, bytes - done))) return 0;
  }
  return bytes;
}

// Called at least once a second while the transfer runs: ends a download that stopped moving.
int WatchForStall(void* userData, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
  auto* sink = static_cast<BodySink*>(userData);
  sink->stalled = std::chrono::steady_clock::now() - sink->lastArrival > sink->stallLimit;
  return sink->stalled ? 1 : 0;
}

// Bytes an unprivileged user may still write in folder; nullopt when that cannot be told.
std::optional<int64_t> FreeBytes(const std::string& folder) {
  struct statvfs info {};
  if (::statvfs(folder.c_str(), &info) != 0) return std::nullopt;
  const auto blocks = static_cast<unsigned long long>(info.f_bavail);
  const auto blockBytes = static_cast<unsigned long long>(info.f_frsize);
  if (blockBytes != 0 && blocks > static_cast<unsigned long long>(INT64_MAX) / blockBytes) return INT64_MAX;
  return static_cast<int64_t>(blocks * blockBytes);
}

std::string HexDigest(AVSHA* sha) {
  std::array<uint8_t, kSha256Bits / 8> digest{};
  av_sha_final(sha, digest.data());
  static constexpr char kHex[] = "0123456789abcdef";
  std::string text;
  for (uint8_t byte : digest) {
    text += kHex[byte >> 4];
    text += kHex[byte & 0xF];
  }
  return text;
}

// What the size query and the transfer share. The returned header list must outlive the
// transfer.
[[nodiscard]] CurlHeaders SetRequestOptions(CURL* h, const std::string& requestUrl, const DownloadLimits& limits) {
  curl_easy_reset(h);
  curl_easy_setopt(h, CURLOPT_URL, requestUrl.c_str());
  RestrictToWebProtocols(h);
  curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(h, CURLOPT_MAXREDIRS, kMaxRedirects);
  curl_easy_setopt(h, CURLOPT_NOPROXY, "*");  // direct access
  // Verified certificates are what make an https download authentic (see CameOverHttps).
  curl_easy_setopt(h, CURLOPT_SSL_VERIFYPEER, 1L);
  curl_easy_setopt(h, CURLOPT_SSL_VERIFYHOST, 2L);
  if (!limits.caFile.empty()) curl_easy_setopt(h, CURLOPT_CAINFO, limits.caFile.c_str());
  curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT, limits.connectTimeoutS);
  curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
  // No answer from a cache.
  CurlHeaders headers = AppendHeader(nullptr, "Cache-Control: no-cache");
  headers = AppendHeader(std::move(headers), "Pragma: no-cache");
  curl_easy_setopt(h, CURLOPT_HTTPHEADER, headers.get());
  return headers;
}

}  // namespace

void HttpDownload::HandleCloser::operator()(void* handle) const { curl_easy_cleanup(handle); }

HttpDownload::HttpDownload(const CancelToken& cancel, DownloadLimits limits)
    : cancel_(cancel), limits_(limits) {
  InitCurlOnce();
  handle_.reset(curl_easy_init());
}

HttpDownload::~HttpDownload() = default;

int64_t HttpDownload::QueryAnnouncedSize(const std::string& requestUrl) {
  CURL* h = handle_.get();
  const CurlHeaders headers = SetRequestOptions(h, requestUrl, limits_);
  curl_easy_setopt(h, CURLOPT_NOBODY, 1L);
  curl_easy_setopt(h, CURLOPT_TIMEOUT, limits_.stallTimeoutS);
  const CURLcode code = PerformCancellable(h, &cancel_);
  long status = 0;
  curl_off_t length = -1;
  curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &status);
  curl_easy_getinfo(h, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length);
  curl_easy_setopt(h, CURLOPT_HTTPHEADER, nullptr);
  if (code != CURLE_OK || status < 200 || status >= 300 || length <= 0) {
    LOG(ERROR) << "installer size query: curl code:" << static_cast<int>(code) << ",strerror:"
               << curl_easy_strerror(code) << ", status " << status << ", length " << length;
    return 0;
  }
  return length;
}

DownloadResult HttpDownload::DownloadInstaller(const std::string& url, const std::string& targetPath,
                                               std::string_view expectedSha256,
                                               const std::function<void(int)>& onPercent) {
  overHttps_ = false;
  if (!handle_) return DownloadResult::kFailed;
  const std::string requestUrl(AddressWithoutQuery(url));
  const int64_t announced = QueryAnnouncedSize(requestUrl);
  if (cancel_.IsCancelled()) return DownloadResult::kCancelled;
  if (announced <= 0) return DownloadResult::kFailed;
  if (announced > limits_.maxInstallerBytes) {
    LOG(ERROR) << "installer download refused: " << announced << " bytes announced, more than "
               << limits_.maxInstallerBytes;
    return DownloadResult::kTooLarge;
  }
  const std::string folder = ParentFolder(targetPath);
  if (const std::optional<int64_t> free = FreeBytes(folder); free && announced > *free) {
    LOG(ERROR) << "installer download refused: " << announced << " bytes announced, " << *free << " free in "
               << folder;
    return DownloadResult::kNoSpace;
  }

  File file(std::fopen(targetPath.c_str(), "wb"));
  if (!file) {
    PLOG(ERROR) << "cannot write the installer to " << targetPath;
    return DownloadResult::kFailed;
  }
  const DownloadResult result = Transfer(requestUrl, announced, std::move(file), expectedSha256, onPercent, targetPath);
  if (result != DownloadResult::kComplete && result != DownloadResult::kCancelled) {
    // A part of an installer, or one that is not what was announced, is of no use to anyone.
    if (::unlink(targetPath.c_str()) != 0 && errno != ENOENT) PLOG(ERROR) << "cannot remove " << targetPath;
  }
  return result;
}

DownloadResult HttpDownload::Transfer(const std::string& requestUrl, int64_t announced, File file,
                                      std::string_view expectedSha256, const std::function<void(int)>& onPercent,
                                      const std::string& targetPath) {
  Sha sha(expectedSha256.empty() ? nullptr : av_sha_alloc());
  if (sha) av_sha_init(sha.get(), kSha256Bits);
  BodySink sink;
  sink.file = file.get();
  sink.sha = sha.get();
  sink.announced = announced;
  sink.onPercent = &onPercent;
  sink.stallLimit = std::chrono::seconds(limits_.stallTimeoutS);

  CURL* h = handle_.get();
  const CurlHeaders headers = SetRequestOptions(h, requestUrl, limits_);
  curl_easy_setopt(h, CURLOPT_HTTPGET, 1L);
  curl_easy_setopt(h, CURLOPT_FAILONERROR, 1L);
  curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, &WriteBody);
  curl_easy_setopt(h, CURLOPT_WRITEDATA, &sink);
  curl_easy_setopt(h, CURLOPT_XFERINFOFUNCTION, &WatchForStall);
  curl_easy_setopt(h, CURLOPT_XFERINFODATA, &sink);
  curl_easy_setopt(h, CURLOPT_NOPROGRESS, 0L);
  const CURLcode code = PerformCancellable(h, &cancel_);
  curl_easy_setopt(h, CURLOPT_HTTPHEADER, nullptr);
  const char* scheme = nullptr;
  overHttps_ = code == CURLE_OK && curl_easy_getinfo(h, CURLINFO_SCHEME, &scheme) == CURLE_OK && scheme &&
               ::strcasecmp(scheme, "https") == 0;
  const bool flushed = std::fflush(file.get()) == 0;
  if (!flushed) sink.diskFull = errno == ENOSPC || errno == EDQUOT;
  const bool closed = std::fclose(file.release()) == 0;
  if (!closed) sink.diskFull = sink.diskFull || errno == ENOSPC || errno == EDQUOT;

  if (code == CURLE_OK && flushed && closed && sink.received == announced) {
    if (!sha) return DownloadResult::kComplete;
    const std::string actual = HexDigest(sha.get());
    if (actual == expectedSha256) return DownloadResult::kComplete;
    LOG(ERROR) << "installer " << targetPath << " has sha256 " << actual << ", the service gave " << expectedSha256;
    return DownloadResult::kBadChecksum;
  }
  if (cancel_.IsCancelled()) return DownloadResult::kCancelled;
  LOG(ERROR) << "installer download: curl code:" << static_cast<int>(code) << ",strerror:"
             << curl_easy_strerror(code) << ", " << sink.received << " of " << announced << " bytes"
             << (sink.stalled ? ", nothing arrived for " + std::to_string(limits_.stallTimeoutS) + " s" : "")
             << (sink.overrun ? ", the body is longer than announced" : "")
             << (sink.writeFailed || !flushed || !closed ? ", the file could not be written" : "");
  if (sink.overrun) return DownloadResult::kTooLarge;
  if (sink.diskFull) return DownloadResult::kNoSpace;
  return DownloadResult::kFailed;
}

std::string_view AddressWithoutQuery(std::string_view url) { return url.substr(0, url.find_first_of("?#")); }

std::string InstallerFileName(std::string_view url) {
  const std::string_view path = AddressWithoutQuery(url);
  const size_t separator = path.find_last_of("/\\");
  const std::string_view name = separator == std::string_view::npos ? std::string_view() : path.substr(separator + 1);
  if (name.empty() || name == "." || name == "..") return {};
  return std::string(name);
}

std::string InstallerTargetPath(std::string_view url) {
  const std::string name = InstallerFileName(url);
  if (name.empty()) return {};
  return GetUserFolder(kTempSubFolder) + "/" + name;
}

void LogInstallerLaunchFailure(const std::string& path) {
  LOG(ERROR) << "升级失败";
  LOG(ERROR) << "the desktop did not open " << path;
}

}  // namespace zav
