#include "gui/bench_row_operator.h"

#include <QMessageBox>

#include "gui/gui_thread.h"
#include "gui/window_operator.h"

namespace bq::gui {

void BenchRowOperator::SetPort(std::string port) {
  std::lock_guard lock(mutex_);
  port_ = std::move(port);
}

void BenchRowOperator::Reset() {
  std::lock_guard lock(mutex_);
  lastError_.clear();
  device_.reset();
}

std::string BenchRowOperator::LastError() const {
  std::lock_guard lock(mutex_);
  return lastError_;
}

std::optional<DeviceIdentity> BenchRowOperator::Device() const {
  std::lock_guard lock(mutex_);
  return device_;
}

void BenchRowOperator::SetDevice(const DeviceIdentity& device) {
  std::lock_guard lock(mutex_);
  device_ = device;
}

void BenchRowOperator::ShowStatus(const std::string&, bool) {}

// A message box of the flow ("Cancelado", a lost device's text) is the row's
// result text; a bench never stops for a box.
void BenchRowOperator::ShowMessage(const std::string& text) {
  std::lock_guard lock(mutex_);
  lastError_ = text;
}

void BenchRowOperator::ShowErrorBox(const std::string& text) {
  std::lock_guard lock(mutex_);
  lastError_ = text;
}

Answer BenchRowOperator::Confirm(const std::string& text) {
  if (acceptOlder_) return Answer::Yes;
  std::string who;
  {
    std::lock_guard lock(mutex_);
    who = port_;
    if (device_) who += "  NS " + std::to_string(device_->serialNumber);
  }
  // Only this station waits for the answer; the others go on meanwhile.
  return CallOn(owner_, [this, &text, &who] {
    QMessageBox box(QMessageBox::Question, QString::fromStdString(who),
                    QString::fromStdString(who) + "\n\n" + WindowOperator::BoxText(text),
                    QMessageBox::Yes | QMessageBox::No, owner_);
    box.setObjectName("BenchConfirmBox");
    box.setEscapeButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes ? Answer::Yes : Answer::No;
  });
}

void BenchRowOperator::Show(const Shown& event) {
  if (std::holds_alternative<shown::UpgradeCount>(event) ||
      std::holds_alternative<shown::ListLine>(event)) {
    mainPage_.Show(event);
  }
}

}  // namespace bq::gui
