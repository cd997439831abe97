#include "NetWorker.h"

#include "ThreadGuard.h"

namespace zav {

void NetWorker::Start(const char* threadName, std::function<void(const CancelToken&)> body) {
  if (thread_.joinable()) thread_.join();
  token_ = std::make_unique<CancelToken>();
  thread_ = std::thread([threadName, body = std::move(body), token = token_.get()] {
    RunGuarded(threadName, [&] {
      body(*token);
      return 0;
    });
  });
}

void NetWorker::Cancel() {
  if (token_) token_->Cancel();
}

void NetWorker::Stop() {
  Cancel();
  if (thread_.joinable()) thread_.join();
}

}  // namespace zav
