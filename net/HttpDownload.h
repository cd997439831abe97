#pragma once
// HttpDownload: fetches the installer that the upgrade check offers, with a libcurl handle of
// its own (not the JSON client). The size comes from a HEAD request; the body is read in
// pieces of at most 1024 bytes. Lives on the download worker's stack for one download.

#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace zav {

class CancelToken;

// A bound no installer comes near; a larger announced size is a broken or hostile service.
inline constexpr int64_t kMaxInstallerBytes = int64_t{1} << 30;

struct DownloadLimits {
  long connectTimeoutS = 10;
  // No byte for this long (or no answer to the size query within it): the download failed.
  long stallTimeoutS = 30;
  int64_t maxInstallerBytes = kMaxInstallerBytes;
  // Certificates that vouch for https servers instead of the system's (a test's own server);
  // empty: the system's.
  std::string caFile;
};

// Every result but kComplete and kCancelled removes what the download wrote.
enum class DownloadResult {
  kComplete,     // every announced byte is in the file (and matches the checksum, if one was given)
  kCancelled,    // the token was cancelled first; the partial file stays
  kFailed,       // no size, an error status, a broken, stalled or short transfer, or a file
                 // that cannot be written
  kTooLarge,     // the announced size is above maxInstallerBytes, or the body is longer than it
  kNoSpace,      // the announced size is above the target folder's free space, or the disk filled up
  kBadChecksum,  // the body does not match the checksum given
};

class HttpDownload {
 public:
  explicit HttpDownload(const CancelToken& cancel, DownloadLimits limits = {});
  ~HttpDownload();
  HttpDownload(const HttpDownload&) = delete;
  HttpDownload& operator=(const HttpDownload&) = delete;

  // Downloads url (http or https, the query and fragment not sent) into targetPath,
  // overwriting it.
  // onPercent runs on this thread whenever the whole percentage received changes, so at most
  // 100 times. expectedSha256 (lower-case hex) is checked when not empty.
  DownloadResult DownloadInstaller(const std::string& url, const std::string& targetPath,
                                   std::string_view expectedSha256, const std::function<void(int)>& onPercent);

  // True when the last download's body came over https (from the address it ended at, after
  // any redirect), which means from a server whose certificate was verified.
  bool CameOverHttps() const { return overHttps_; }

 private:
  struct HandleCloser {
    void operator()(void* handle) const;
  };
  struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
  };
  using File = std::unique_ptr<std::FILE, FileCloser>;

  // The Content-Length of a HEAD answer with a success status; 0 when there is none.
  int64_t QueryAnnouncedSize(const std::string& requestUrl);
  // The GET of an announced size that fits, into file (closed here; removing what a failure
  // left is the caller's).
  DownloadResult Transfer(const std::string& requestUrl, int64_t announced, File file, std::string_view expectedSha256,
                          const std::function<void(int)>& onPercent, const std::string& targetPath);

  const CancelToken& cancel_;
  const DownloadLimits limits_;
  std::unique_ptr<void, HandleCloser> handle_;  // the libcurl easy handle
  bool overHttps_ = false;
};

// The address without its query and fragment: what the requests ask for.
std::string_view AddressWithoutQuery(std::string_view url);

// The installer's file name: the last segment of the address's path, without the query or
// fragment ("setup.exe" of ".../setup.exe?v=2"). A backslash counts as a separator too, so no
// name holds one. Empty when that is no usable file name (nothing, "." or "..").
std::string InstallerFileName(std::string_view url);

// The per-user Temp folder (created when missing) + "/" + InstallerFileName(url); empty when
// the name is unusable.
std::string InstallerTargetPath(std::string_view url);

// Logs that the desktop could not start the downloaded installer.
void LogInstallerLaunchFailure(const std::string& path);

}  // namespace zav
