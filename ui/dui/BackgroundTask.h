#pragma once
// Work that may wait on a slow disk or a dead network mount runs on the shared worker pool;
// its result comes back to the UI thread. The application waits for the pool when it ends,
// so no worker outlives it.

#include <QCoreApplication>
#include <QPointer>
#include <QThreadPool>

#include <utility>

namespace zav {

// Runs work() on a worker thread, then done(result) on the UI thread, unless receiver has
// been destroyed by then (done is then dropped). Call on the UI thread.
template <typename Work, typename Done>
void RunInBackground(QObject* receiver, Work work, Done done) {
  QPointer<QObject> guard(receiver);
  // The result goes through the application object, which outlives the pool (its destructor
  // waits for the pool), and the receiver is checked there: it may go away on the UI thread
  // while the worker runs.
  QObject* app = QCoreApplication::instance();
  QThreadPool::globalInstance()->start([app, guard, work = std::move(work), done = std::move(done)]() mutable {
    auto result = work();
    QMetaObject::invokeMethod(
        app,
        [guard, done = std::move(done), result = std::move(result)]() mutable {
          if (guard) done(result);
        },
        Qt::QueuedConnection);
  });
}

}  // namespace zav
