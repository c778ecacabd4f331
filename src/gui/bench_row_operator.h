#pragma once
// The event sink of one "Bancada" row. The row shows its station's state from
// the station itself (polled by the page); here only what the station says
// beside that is kept: its last status and error, its device's serial number.
// A downgrade question is asked in a box naming the port and the serial
// number, unless the bench answers Yes for every station. The memo lines and
// the upgrade counter of a write go to the main page, as a write from there does.

#include <QWidget>
#include <atomic>
#include <mutex>
#include <optional>
#include <string>

#include "boot/device_identity.h"
#include "shell/operator_interface.h"

namespace bq::gui {

class BenchRowOperator : public OperatorInterface {
 public:
  // owner: the page (parent of the question box, the thread it runs on);
  // mainPage: where a write's memo lines and counter go.
  BenchRowOperator(QWidget* owner, OperatorInterface& mainPage,
                   const std::atomic<bool>& acceptOlder)
      : owner_(owner), mainPage_(mainPage), acceptOlder_(acceptOlder) {}

  void SetPort(std::string port);
  // Forgets the last run's status and error.
  void Reset();
  std::string LastError() const;
  // The device as the flow identified it, before it was written.
  std::optional<DeviceIdentity> Device() const;
  void SetDevice(const DeviceIdentity& device);

  void ShowStatus(const std::string& text, bool success) override;
  void ShowMessage(const std::string& text) override;
  void ShowErrorBox(const std::string& text) override;
  Answer Confirm(const std::string& text) override;
  void ProcessMessages() override {}
  void SetProgressMin(uint32_t) override {}
  void SetProgressMax(uint32_t) override {}
  void SetProgressPosition(uint32_t) override {}
  void Show(const Shown& event) override;
  void SetDeviceCommandsEnabled(bool) override {}

 private:
  QWidget* owner_;
  OperatorInterface& mainPage_;
  const std::atomic<bool>& acceptOlder_;
  mutable std::mutex mutex_;
  std::string port_;
  std::string lastError_;
  std::optional<DeviceIdentity> device_;
};

}  // namespace bq::gui
