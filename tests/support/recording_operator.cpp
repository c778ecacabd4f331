#include "recording_operator.h"

namespace bq::test {

void RecordingOperator::ShowStatus(const std::string& text, bool success) {
  std::lock_guard lock(mutex_);
  events.push_back({Event::Kind::Status, text, "", success});
}

void RecordingOperator::ShowMessage(const std::string& text) {
  std::lock_guard lock(mutex_);
  events.push_back({Event::Kind::Message, text, "", false});
}

void RecordingOperator::ShowErrorBox(const std::string& text) {
  std::lock_guard lock(mutex_);
  events.push_back({Event::Kind::Error, text, "", false});
}

Answer RecordingOperator::Confirm(const std::string& text) {
  std::lock_guard lock(mutex_);
  events.push_back({Event::Kind::Confirm, text, "", false});
  if (answers.empty()) return Answer::Closed;
  Answer a = answers.front();
  answers.pop_front();
  return a;
}

void RecordingOperator::ProcessMessages() {
  if (onProcessMessages) onProcessMessages();
}

void RecordingOperator::SetProgressMin(uint32_t value) {
  std::lock_guard lock(mutex_);
  progressMin = value;
}

void RecordingOperator::SetProgressMax(uint32_t value) {
  std::lock_guard lock(mutex_);
  progressMax = value;
}

void RecordingOperator::SetProgressPosition(uint32_t value) {
  std::lock_guard lock(mutex_);
  progressPosition = value;
  progressPositions.push_back(value);
}

void RecordingOperator::SetField(Field field, const std::string& text) {
  std::lock_guard lock(mutex_);
  fields_[field] = text;
  events.push_back({Event::Kind::Field, FieldName(field), text, false});
}

void RecordingOperator::SelectCombo(Combo combo, int index) {
  std::lock_guard lock(mutex_);
  combos_[combo] = index;
  events.push_back({Event::Kind::Combo, ComboName(combo), std::to_string(index), false});
}

void RecordingOperator::SetCheck(Check check, bool checked) {
  std::lock_guard lock(mutex_);
  checks[static_cast<int>(check)] = checked;
  events.push_back({Event::Kind::Check, CheckName(check), checked ? "1" : "0", checked});
}

void RecordingOperator::AddMemoLine(Memo memo, const std::string& line) {
  std::lock_guard lock(mutex_);
  memos_[memo].push_back(line);
  events.push_back({Event::Kind::MemoAdd, MemoName(memo), line, false});
}

void RecordingOperator::ClearMemo(Memo memo) {
  std::lock_guard lock(mutex_);
  memos_[memo].clear();
  events.push_back({Event::Kind::MemoClear, MemoName(memo), "", false});
}

void RecordingOperator::SetDeviceCommandsEnabled(bool enabled) {
  std::lock_guard lock(mutex_);
  commandsEnabled = enabled;
  events.push_back({Event::Kind::Lock, "", "", enabled});
}

void RecordingOperator::SetButtonEnabled(Button button, bool enabled) {
  std::lock_guard lock(mutex_);
  events.push_back({Event::Kind::Button,
                    button == Button::botGeraVariosKFX ? "botGeraVariosKFX" : "", "", enabled});
}

static std::vector<std::string> TextsOf(const std::vector<Event>& events, Event::Kind kind) {
  std::vector<std::string> out;
  for (const auto& e : events)
    if (e.kind == kind) out.push_back(e.text);
  return out;
}

std::vector<std::string> RecordingOperator::Messages() const {
  std::lock_guard lock(mutex_);
  return TextsOf(events, Event::Kind::Message);
}

std::vector<std::string> RecordingOperator::Errors() const {
  std::lock_guard lock(mutex_);
  return TextsOf(events, Event::Kind::Error);
}

std::vector<std::string> RecordingOperator::Questions() const {
  std::lock_guard lock(mutex_);
  return TextsOf(events, Event::Kind::Confirm);
}

std::vector<std::string> RecordingOperator::Statuses() const {
  std::lock_guard lock(mutex_);
  return TextsOf(events, Event::Kind::Status);
}

std::string RecordingOperator::LastStatus() const {
  auto all = Statuses();
  return all.empty() ? std::string() : all.back();
}

bool RecordingOperator::LastStatusSuccess() const {
  std::lock_guard lock(mutex_);
  for (auto it = events.rbegin(); it != events.rend(); ++it)
    if (it->kind == Event::Kind::Status) return it->flag;
  return false;
}

std::string RecordingOperator::FieldText(Field field) const {
  std::lock_guard lock(mutex_);
  auto it = fields_.find(field);
  return it == fields_.end() ? std::string() : it->second;
}

int RecordingOperator::ComboIndex(Combo combo) const {
  std::lock_guard lock(mutex_);
  auto it = combos_.find(combo);
  return it == combos_.end() ? -1 : it->second;
}

std::vector<std::string> RecordingOperator::MemoLines(Memo memo) const {
  std::lock_guard lock(mutex_);
  auto it = memos_.find(memo);
  return it == memos_.end() ? std::vector<std::string>() : it->second;
}

void RecordingOperator::Clear() {
  std::lock_guard lock(mutex_);
  events.clear();
  fields_.clear();
  combos_.clear();
  memos_.clear();
  progressPositions.clear();
}

}  // namespace bq::test
