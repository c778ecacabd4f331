#pragma once
// The window's side of the operator interface. The core calls it from the
// worker thread; every call reaches the widgets on the window thread: displays
// are queued in order, boxes and reads wait for the window's answer.

#include <QAction>
#include <QLabel>
#include <QPointer>
#include <QStringList>
#include <map>
#include <string>

#include "app/handlers/window_controls.h"
#include "gui/main_page.h"

namespace bq::gui {

class WindowOperator : public WindowOperatorBase {
 public:
  // owner: the window (parent of the boxes, and the thread every call runs on).
  WindowOperator(QWidget* owner, MainPage& page, QLabel* fileStatus, QLabel* portStatus);

  void ShowStatus(const std::string& text, bool success) override;
  void ShowMessage(const std::string& text) override;
  void ShowErrorBox(const std::string& text) override;
  Answer Confirm(const std::string& text) override;
  // The window thread is never held up by a command, so there is nothing to let through.
  void ProcessMessages() override {}

  void SetProgressMin(uint32_t value) override;
  void SetProgressMax(uint32_t value) override;
  void SetProgressPosition(uint32_t value) override;

  void SetField(Field field, const std::string& text) override;
  std::string FieldText(Field field) const override;
  void SelectCombo(Combo combo, int index) override;
  void SetCheck(Check check, bool checked) override;
  void AddMemoLine(Memo memo, const std::string& line) override;
  void ClearMemo(Memo memo) override;
  void SetDeviceCommandsEnabled(bool enabled) override;
  void SetScanRunning(bool running) override;

  // Window thread. While a command runs, the controls that start one or change
  // its inputs are disabled: the file and port controls, and the menu entries
  // of the commands (those follow their buttons' lock as well).
  void SetCommandRunning(bool running);
  void SetCommandActions(QAction* openFile, QAction* write, QAction* readSerial);

  // Box texts as the window shows them (line ends as the toolkit wants them).
  static QString BoxText(const std::string& text);

 private:
  QLabel* StatusPanel(Field field) const;
  void ApplyCommandLock();

  QWidget* owner_;
  MainPage& page_;
  QLabel* fileStatus_;
  QLabel* portStatus_;
  // Controls of the pages the window does not show keep their values here.
  std::map<Field, std::string> hiddenFields_;
  std::map<Combo, int> hiddenCombos_;
  std::map<Check, bool> hiddenChecks_;
  std::map<Memo, QStringList> hiddenMemos_;
  bool deviceCommandsEnabled_ = true;  // the core's lock of the device command buttons
  bool commandRunning_ = false;
  QAction* openFile_ = nullptr;
  QAction* write_ = nullptr;
  QAction* readSerial_ = nullptr;
  QPointer<QWidget> lockedFocus_;  // where the focus was when the lock took it
};

}  // namespace bq::gui
