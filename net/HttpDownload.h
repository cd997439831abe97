#pragma once
// HttpDownload: fetches the installer that the upgrade check offers, with a libcurl handle of
// its own (not the JSON client). The size comes from a HEAD request; the body is read in
// pieces of at most 1024 bytes. Lives on the download worker's stack for one download.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace zav {

class CancelToken;

struct DownloadLimits {
  long connectTimeoutS = 10;
  // No byte for this long (or no answer to the size query within it): the download failed.
  long stallTimeoutS = 30;
};

enum class DownloadResult {
  kComplete,   // every announced byte is in the file (and matches the checksum, if one was given)
  kCancelled,  // the token was cancelled first; the partial file stays
  kFailed,     // no size, an error status, a broken or stalled transfer, a short or long body,
               // a file that cannot be written, or a checksum that does not match
};

class HttpDownload {
 public:
  explicit HttpDownload(const CancelToken& cancel, DownloadLimits limits = {});
  ~HttpDownload();
  HttpDownload(const HttpDownload&) = delete;
  HttpDownload& operator=(const HttpDownload&) = delete;

  // Downloads url (http or https, the query not sent) into targetPath, overwriting it.
  // onPercent runs on this thread whenever the whole percentage received changes, so at most
  // 100 times. expectedSha256 (lower-case hex) is checked when not empty.
  DownloadResult DownloadInstaller(const std::string& url, const std::string& targetPath,
                                   std::string_view expectedSha256, const std::function<void(int)>& onPercent);

 private:
  struct HandleCloser {
    void operator()(void* handle) const;
  };

  // The Content-Length of a HEAD answer with a success status; 0 when there is none.
  int64_t QueryAnnouncedSize(const std::string& requestUrl);

  const CancelToken& cancel_;
  const DownloadLimits limits_;
  std::unique_ptr<void, HandleCloser> handle_;  // the libcurl easy handle
};

// The address without its query and fragment: what the requests ask for.
std::string_view AddressWithoutQuery(std::string_view url);

// The installer's file name: the address's text after its last "/", query included
// ("setup.exe?v=2"). Empty when that is no usable file name (nothing, "." or "..").
std::string InstallerFileName(std::string_view url);

// The per-user Temp folder (created when missing) + "/" + InstallerFileName(url); empty when
// the name is unusable.
std::string InstallerTargetPath(std::string_view url);

// Logs that the desktop could not start the downloaded installer.
void LogInstallerLaunchFailure(const std::string& path);

}  // namespace zav
