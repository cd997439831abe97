#pragma once
// libcurl plumbing shared by the JSON client and the downloader. Internal to net/: only its
// .cpp files include this header.

#include <curl/curl.h>

#include <memory>

namespace zav {

class CancelToken;

// curl_global_init(CURL_GLOBAL_ALL), once per process; the library is never shut down.
void InitCurlOnce();

struct CurlEasyDeleter {
  void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
};
using CurlEasy = std::unique_ptr<CURL, CurlEasyDeleter>;

struct CurlHeadersDeleter {
  void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};
using CurlHeaders = std::unique_ptr<curl_slist, CurlHeadersDeleter>;

// Appends header to list; the list is released (and null returned) when that fails.
CurlHeaders AppendHeader(CurlHeaders list, const char* header);

// Only http and https, for the first request and for every redirect.
void RestrictToWebProtocols(CURL* handle);

// Runs the transfer set up on handle. A cancelled token ends it at once (it is woken, not
// polled) with CURLE_ABORTED_BY_CALLBACK. cancel may be null.
CURLcode PerformCancellable(CURL* handle, const CancelToken* cancel);

}  // namespace zav
