#pragma once
// The operator interface of the command line. Status lines go to stdout (to
// stderr in JSON mode, keeping stdout for the one JSON object); message boxes
// go to stderr with their exact text; questions are asked on the terminal or
// answered from a preset; progress is a one-line bar on a terminal and a few
// plain lines otherwise. Of what else is shown, a list prints its lines when
// asked to echo it; the rest is left to the outcomes the commands return.

#include <chrono>
#include <functional>
#include <iosfwd>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "shell/operator_interface.h"

namespace bq::cli {

class ConsoleOperator : public OperatorInterface {
 public:
  // The process's own streams; terminals are detected with isatty.
  ConsoleOperator();
  // Explicit streams, for tests.
  ConsoleOperator(std::ostream& out, std::ostream& err, std::istream& in, bool inIsTerminal,
                  bool errIsTerminal);

  // In JSON mode status lines go to stderr.
  void SetJsonMode(bool json) { json_ = json; }
  // The answer to every question (--yes / --no). Without one, a terminal is
  // asked and an unattended run answers No.
  void SetPresetAnswer(std::optional<Answer> answer) { preset_ = answer; }
  // Called at every ProcessMessages, e.g. to turn Ctrl+C into a cancel.
  void SetProcessMessagesHook(std::function<void()> hook) { hook_ = std::move(hook); }
  // Prints the lines added to this list from now on (to the human stream).
  void EchoList(OperatorList list) { echoed_.insert(list); }
  // The terminal's width for the progress bar; 0 asks the terminal on stderr
  // at every redraw (80 when it cannot tell).
  void SetColumns(int columns) { columns_ = columns; }
  bool InputIsTerminal() const { return inIsTerminal_; }
  // The flash and EEPROM phases compare the device with a file (verify)
  // instead of checking what a write sent.
  void SetVerifying(bool verifying) { verifying_ = verifying; }
  bool ErrorIsTerminal() const { return errIsTerminal_; }

  void ShowStatus(const std::string& text, bool success) override;
  void ShowMessage(const std::string& text) override;
  void ShowErrorBox(const std::string& text) override;
  // Printed as a box is, and kept for the report's "warnings".
  void ShowWarning(const std::string& text) override;
  std::vector<std::string> Warnings() const;
  Answer Confirm(const std::string& text) override;
  void ProcessMessages() override;
  void SetProgressMin(uint32_t value) override;
  void SetProgressMax(uint32_t value) override;
  void SetProgressPosition(uint32_t value) override;
  void PhaseStarted(WorkPhase phase, uint32_t first, uint32_t last) override;
  void PhaseEnded(WorkPhase phase, bool done) override;
  void Show(const Shown& event) override;
  void SetDeviceCommandsEnabled(bool enabled) override;

  std::string LastStatus() const;
  bool LastStatusSuccess() const;
  bool DeviceCommandsEnabled() const;
  // The last answer to a question, if one was asked.
  std::optional<Answer> LastAnswer() const;

  // One phase of a device command: its label (the status line a programming
  // phase runs under), the bytes it covered and its time; its name and range.
  struct Phase {
    Phase() = default;
    Phase(std::string label, uint32_t covered, double took, std::string phaseName = {},
          uint32_t from = 0, uint32_t to = 0, bool complete = true)
        : status(std::move(label)),
          bytes(covered),
          seconds(took),
          name(std::move(phaseName)),
          first(from),
          last(to),
          done(complete) {}
    std::string status;
    uint32_t bytes = 0;
    double seconds = 0.0;
    std::string name;
    uint32_t first = 0;
    uint32_t last = 0;
    bool done = true;
  };
  // Every phase that ended so far, in order.
  std::vector<Phase> Phases() const;

 private:
  using Clock = std::chrono::steady_clock;

  std::ostream& StatusStream() const { return json_ ? err_ : out_; }
  void ClearBarLocked();
  void DrawBarLocked(bool force);
  void EndPhaseLocked(bool done);
  std::string PhaseLabelLocked(WorkPhase phase) const;
  void PrintBox(const std::string& text);
  int ColumnsLocked() const;

  std::vector<std::string> warnings_;  // under mutex_

  std::ostream& out_;
  std::ostream& err_;
  std::istream& in_;
  bool inIsTerminal_;
  bool errIsTerminal_;
  bool json_ = false;
  bool verifying_ = false;
  std::optional<Answer> preset_;
  std::function<void()> hook_;
  std::set<OperatorList> echoed_;

  mutable std::mutex mutex_;
  std::string status_;
  bool statusSuccess_ = false;
  bool commandsEnabled_ = true;
  std::optional<Answer> lastAnswer_;
  std::vector<Phase> phases_;
  int columns_ = 0;

  // Progress of the current phase.
  uint32_t min_ = 0, max_ = 0, pos_ = 0;
  std::optional<WorkPhase> phase_;  // the phase under way, if any
  std::string phaseLabel_;
  bool barShown_ = false;
  Clock::time_point phaseStart_ = Clock::now();
  Clock::time_point lastDraw_{};
};

// Text with CR LF (or a lone CR) turned into the terminal's line break.
std::string ConsoleText(const std::string& text);

// The first `columns` characters of UTF-8 text (characters, not bytes).
std::string FitColumns(const std::string& text, size_t columns);

}  // namespace bq::cli
