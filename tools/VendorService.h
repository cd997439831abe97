#pragma once
// A stand-in for the vendor service, on 127.0.0.1 only: the upgrade check and feedback
// envelopes, the help page and an installer file. Tests run it in their own process; the
// zav-vendor-service program runs it by hand (ZAV_SERVICE_URL=http://127.0.0.1:<port>).
//
// Every method may be called from any thread.

#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace httplib {
class Server;
}

namespace zav::tools {

// What the service answers. Changes take effect with the next request.
struct VendorAnswers {
  std::string appVersion = "1.6.0";
  std::string downloadUrl;  // empty: this service's own installer
  std::string forceUpgrade = "0";
  bool forceAsText = false;  // "force_upgrade" as the text of the number instead of a number
  std::string sha256;        // sent in "data" when not empty
  int ret = 0;               // "ret" of both envelopes
  // The installer served under /files/<installerName>.
  std::string installerName = "ZavAudioRecorderSetup.bin";
  std::string installerBytes = std::string(1000, 'Z');
  bool announceSize = true;     // false: sent chunked, without Content-Length
  bool stallInstaller = false;  // the first half, then nothing until ReleaseInstaller or Stop
  std::string redirectTarget;   // where "/moved" redirects to
  // The size that a HEAD request is told (-1: the installer's own).
  int64_t announcedSize = -1;
  // GET sends the installer over and over, chunked, until the client stops reading.
  bool endlessInstaller = false;
};

struct ReceivedRequest {
  std::string method;
  std::string path;
  std::map<std::string, std::string> query;
  std::multimap<std::string, std::string> headers;
  std::string body;
};

class VendorService {
 public:
  VendorService();
  ~VendorService();
  VendorService(const VendorService&) = delete;
  VendorService& operator=(const VendorService&) = delete;

  // Listens on 127.0.0.1:port (0: any free port) in a thread of its own. With certFile and
  // keyFile it speaks https. False when it cannot listen.
  bool Start(int port = 0, const std::string& certFile = {}, const std::string& keyFile = {});
  void Stop();

  int Port() const { return port_; }
  std::string BaseUrl() const;       // "http://127.0.0.1:<port>" (https with a certificate)
  std::string InstallerUrl() const;  // BaseUrl() + "/files/" + the installer's name

  void SetAnswers(VendorAnswers answers);
  VendorAnswers Answers() const;
  // Lets a stalled installer send the rest.
  void ReleaseInstaller();

  std::vector<ReceivedRequest> Requests() const;
  size_t CountRequests(const std::string& method, const std::string& path) const;

 private:
  void Route();
  void Record(const ReceivedRequest& request);

  std::unique_ptr<httplib::Server> server_;
  std::thread thread_;
  int port_ = 0;
  bool tls_ = false;

  mutable std::mutex mutex_;  // guards everything below
  std::condition_variable released_;
  VendorAnswers answers_;
  std::vector<ReceivedRequest> requests_;
  bool installerReleased_ = false;
  bool stopping_ = false;
};

}  // namespace zav::tools
