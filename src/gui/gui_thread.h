#pragma once
// Running a piece of work on the thread that owns a widget: the worker thread
// never touches a widget itself.

#include <QMetaObject>
#include <QObject>
#include <QThread>
#include <type_traits>
#include <utility>

namespace bq::gui {

inline bool OnThreadOf(const QObject* owner) {
  return QThread::currentThread() == owner->thread();
}

// Runs fn on owner's thread: at once when already there, else queued without waiting.
// Queued calls keep their order, so fields and status change in the order the core set them.
template <class F>
void PostTo(QObject* owner, F fn) {
  if (OnThreadOf(owner)) {
    fn();
  } else {
    QMetaObject::invokeMethod(owner, std::move(fn), Qt::QueuedConnection);
  }
}

// Runs fn on owner's thread and waits for it; returns its result.
template <class F>
auto CallOn(QObject* owner, F fn) -> std::invoke_result_t<F> {
  using Result = std::invoke_result_t<F>;
  if (OnThreadOf(owner)) return fn();
  if constexpr (std::is_void_v<Result>) {
    QMetaObject::invokeMethod(owner, std::move(fn), Qt::BlockingQueuedConnection);
  } else {
    Result result{};
    QMetaObject::invokeMethod(
        owner, [&] { result = fn(); }, Qt::BlockingQueuedConnection);
    return result;
  }
}

}  // namespace bq::gui
