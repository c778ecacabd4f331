#include "gui/command_runner.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <utility>

namespace bq::gui {

CommandRunner::CommandRunner() : worker_(new QObject) {
  thread_.setObjectName("bootquarn-worker");
  worker_->moveToThread(&thread_);
  thread_.start();
}

CommandRunner::~CommandRunner() {
  WaitUntilIdle();
  thread_.quit();
  thread_.wait();
  delete worker_;  // the thread has ended; nothing else can reach it
}

bool CommandRunner::Start(std::function<void()> command, std::function<void()> done) {
  if (busy_) return false;
  busy_ = true;
  QMetaObject::invokeMethod(
      worker_,
      [this, command = std::move(command), done = std::move(done)]() mutable {
        command();
        QMetaObject::invokeMethod(
            &home_,
            [this, done = std::move(done)] {
              busy_ = false;
              if (done) done();
            },
            Qt::QueuedConnection);
      },
      Qt::QueuedConnection);
  return true;
}

void CommandRunner::WaitUntilIdle() {
  while (busy_) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
}

}  // namespace bq::gui
