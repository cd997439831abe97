#pragma once
// HttpClient: posts one JSON document to the vendor service and hands back the answer's body.
// One process-wide object (HttpClientInstance); PostJson may run on several threads at once,
// each call with its own transfer handle. It blocks its thread, so callers run it on a worker.

#include <string>

namespace zav {

class CancelToken;

class HttpClient {
 public:
  // An answer larger than this is not an envelope of the service; the transfer is failed
  // rather than letting a broken or hostile server fill the memory.
  static constexpr size_t kMaxResponseBytes = 1 << 20;

  // POSTs body (up to its first NUL) to url with "Accept: application/json" and
  // "Content-Type:application/json;charset=UTF-8", appending the answer's body to response.
  // 0 when the transfer completed with a non-empty body, whatever the HTTP status; -1
  // otherwise. Certificates are verified; only http and https are spoken; no redirects.
  // A cancelled token ends the transfer at once with -1.
  int PostJson(const std::string& url, const std::string& body, std::string& response,
               const CancelToken* cancel = nullptr);

 private:
  friend HttpClient* HttpClientInstance();
  HttpClient() = default;
};

// The process-wide client, made (and libcurl initialised) on first use; never destroyed.
HttpClient* HttpClientInstance();

}  // namespace zav
