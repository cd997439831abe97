#include "CurlTransfer.h"

#include <mutex>

#include "CancelToken.h"

namespace zav {

namespace {

// How long one wait for socket activity may last; libcurl shortens it for its own time-outs,
// and a cancel wakes it at once.
constexpr int kPollLimitMs = 1000;

struct CurlMultiDeleter {
  void operator()(CURLM* multi) const { curl_multi_cleanup(multi); }
};
using CurlMulti = std::unique_ptr<CURLM, CurlMultiDeleter>;

CURLcode DoneResult(CURLM* multi, CURL* handle) {
  int left = 0;
  while (CURLMsg* message = curl_multi_info_read(multi, &left)) {
    if (message->msg == CURLMSG_DONE && message->easy_handle == handle) return message->data.result;
  }
  return CURLE_RECV_ERROR;
}

// The transfer inside a multi handle that exists only for it, so that Cancel can wake the
// wait with curl_multi_wakeup.
CURLcode RunWakeable(CURLM* multi, CURL* handle, const CancelToken& cancel) {
  while (!cancel.IsCancelled()) {
    int running = 0;
    if (curl_multi_perform(multi, &running) != CURLM_OK) return CURLE_RECV_ERROR;
    if (running == 0) return DoneResult(multi, handle);
    if (curl_multi_poll(multi, nullptr, 0, kPollLimitMs, nullptr) != CURLM_OK) return CURLE_RECV_ERROR;
  }
  return CURLE_ABORTED_BY_CALLBACK;
}

}  // namespace

void InitCurlOnce() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_ALL); });
}

CurlHeaders AppendHeader(CurlHeaders list, const char* header) {
  curl_slist* grown = curl_slist_append(list.get(), header);
  if (!grown) return nullptr;  // list is freed by its owner on return
  list.release();
  return CurlHeaders(grown);
}

void RestrictToWebProtocols(CURL* handle) {
  curl_easy_setopt(handle, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(handle, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
}

CURLcode PerformCancellable(CURL* handle, const CancelToken* cancel) {
  if (!cancel) return curl_easy_perform(handle);
  CurlMulti multi(curl_multi_init());
  if (!multi) return CURLE_OUT_OF_MEMORY;
  if (curl_multi_add_handle(multi.get(), handle) != CURLM_OK) return CURLE_FAILED_INIT;
  const int wakeId = cancel->AddWake([m = multi.get()] { curl_multi_wakeup(m); });
  const CURLcode result = RunWakeable(multi.get(), handle, *cancel);
  cancel->RemoveWake(wakeId);
  curl_multi_remove_handle(multi.get(), handle);
  return result;
}

}  // namespace zav
