#pragma once
// An operator interface that records everything the core shows and answers
// questions from a script, for tests.

#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "app/handlers/window_controls.h"

namespace bq::test {

struct Event {
  enum class Kind {
    Status,
    Message,
    Error,
    Confirm,
    Field,
    Combo,
    Check,
    MemoAdd,
    MemoClear,
    Lock,
    Button
  };
  Kind kind;
  std::string text;   // status/message/field text, or the name of the field/combo/memo
  std::string value;  // field value, memo line, combo index, "0"/"1"
  bool flag = false;  // success colour of a status, or enabled state of the lock
};

class RecordingOperator : public WindowOperatorBase {
 public:
  void ShowStatus(const std::string& text, bool success) override;
  void ShowMessage(const std::string& text) override;
  void ShowErrorBox(const std::string& text) override;
  Answer Confirm(const std::string& text) override;
  void ProcessMessages() override;
  void SetProgressMin(uint32_t value) override;
  void SetProgressMax(uint32_t value) override;
  void SetProgressPosition(uint32_t value) override;
  void SetField(Field field, const std::string& text) override;
  void SelectCombo(Combo combo, int index) override;
  void SetCheck(Check check, bool checked) override;
  void AddMemoLine(Memo memo, const std::string& line) override;
  void ClearMemo(Memo memo) override;
  void SetDeviceCommandsEnabled(bool enabled) override;
  void SetButtonEnabled(Button button, bool enabled) override;

  // Answers for Confirm, taken in order; Closed when none is left.
  std::deque<Answer> answers;
  // Run at every ProcessMessages, e.g. to press cancel at a chosen moment.
  std::function<void()> onProcessMessages;

  std::vector<Event> events;
  std::vector<std::string> Messages() const;   // plain boxes, in order
  std::vector<std::string> Errors() const;     // error boxes, in order
  std::vector<std::string> Questions() const;  // confirmations, in order
  std::vector<std::string> Statuses() const;
  std::string LastStatus() const;
  bool LastStatusSuccess() const;
  std::string FieldText(Field field) const override;  // "" when never set
  int ComboIndex(Combo combo) const;                  // -1 when never set
  std::vector<std::string> MemoLines(Memo memo) const;
  bool commandsEnabled = true;
  bool checks[2] = {true, true};
  uint32_t progressMin = 0, progressMax = 0, progressPosition = 0;
  std::vector<uint32_t> progressPositions;
  void Clear();

 private:
  mutable std::mutex mutex_;
  std::map<Field, std::string> fields_;
  std::map<Combo, int> combos_;
  std::map<Memo, std::vector<std::string>> memos_;
};

}  // namespace bq::test
