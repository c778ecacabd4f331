#pragma once
// One worker thread that runs the window's device and file commands, one at a
// time, so the window stays responsive while a device is written.

#include <QObject>
#include <QThread>
#include <functional>

namespace bq::gui {

class CommandRunner {
 public:
  CommandRunner();
  ~CommandRunner();
  CommandRunner(const CommandRunner&) = delete;
  CommandRunner& operator=(const CommandRunner&) = delete;

  // Starts command on the worker; done then runs on the creating (window) thread.
  // Refused (false) while another command runs.
  bool Start(std::function<void()> command, std::function<void()> done = {});
  bool Busy() const { return busy_; }
  // Lets the window's events run until the running command has ended.
  void WaitUntilIdle();

 private:
  QThread thread_;
  QObject* worker_;  // lives on thread_
  QObject home_;     // lives on the creating thread; receives "done"
  bool busy_ = false;
};

}  // namespace bq::gui
