#pragma once
// The one channel through which every device and file operation reports to the
// operator and learns of the operator's wishes: status, boxes, questions,
// progress, and typed events for what the operator is shown. The core names
// no control of any window; each front end decides where an event shows.

#include <cstdint>
#include <optional>
#include <string>

#include "shell/shown.h"

namespace bq {

// The answer to a Yes/No question. A box closed without an answer is Closed,
// which every caller treats as "not No".
enum class Answer { Yes, No, Closed };

// The values a front end shows for the settings saved at the end, as the
// operator may have edited them: the baud rate, the last serial number
// generated and the firmware file.
struct ShownSettings {
  std::string baudRate;
  std::string lastSerialGenerated;
  std::string firmwareFile;
};

class OperatorInterface {
 public:
  virtual ~OperatorInterface() = default;

  // The status line; success paints it lime green.
  virtual void ShowStatus(const std::string& text, bool success) = 0;
  // Modal information box: text and OK. Returns when confirmed.
  virtual void ShowMessage(const std::string& text) = 0;
  // Modal error box: error icon, text and OK.
  virtual void ShowErrorBox(const std::string& text) = 0;
  // A record that could not be kept (the settings, a log line): shown as an
  // error box, but it does not change the outcome of the command.
  virtual void ShowWarning(const std::string& text) { ShowErrorBox(text); }
  // Modal Yes/No question.
  virtual Answer Confirm(const std::string& text) = 0;
  // Gives the operator's pending input a chance to run (cancel, timer ticks).
  virtual void ProcessMessages() = 0;

  // The progress bar; minimum, maximum and position are addresses.
  virtual void SetProgressMin(uint32_t value) = 0;
  virtual void SetProgressMax(uint32_t value) = 0;
  virtual void SetProgressPosition(uint32_t value) = 0;

  // Typed progress beside the bar: a phase starts walking first..last (its
  // positions follow through SetProgressPosition), and ends; `done` when it
  // covered its whole range, false when a cancel or a failure stopped it.
  virtual void PhaseStarted(WorkPhase /*phase*/, uint32_t /*first*/, uint32_t /*last*/) {}
  virtual void PhaseEnded(WorkPhase /*phase*/, bool /*done*/) {}

  // Everything else the operator is shown; see shown.h.
  virtual void Show(const Shown& /*event*/) {}

  // Enables or disables the device commands.
  virtual void SetDeviceCommandsEnabled(bool enabled) = 0;
  // While a port scan runs: its progress line shown, its button hidden.
  virtual void SetScanRunning(bool /*running*/) {}

  // The values shown for the settings saved at the end; empty when this
  // front end shows none, and the settings are then saved as they stand.
  virtual std::optional<ShownSettings> SettingsAsShown() const { return std::nullopt; }
};

}  // namespace bq
