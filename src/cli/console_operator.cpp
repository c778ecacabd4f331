#include "cli/console_operator.h"

#include <cstdio>
#include <iostream>

#include "cli/console.h"
#include "cli/i18n.h"
#include "cli/write_summary.h"
#include "shell/utilities.h"

namespace bq::cli {

namespace {

constexpr auto kRedrawInterval = std::chrono::milliseconds(100);
constexpr int kDefaultColumns = 80;

const char* AnswerText(Answer a) {
  switch (a) {
    case Answer::Yes:
      return "Sim";
    case Answer::No:
      return "Não";
    case Answer::Closed:
      return "Fechado";
  }
  return "";
}

}  // namespace

std::string ConsoleText(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r') {
      out += '\n';
      if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
    } else {
      out += text[i];
    }
  }
  return out;
}

std::string FitColumns(const std::string& text, size_t columns) {
  size_t count = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    // A byte that does not continue a UTF-8 sequence starts a character.
    if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80 && count++ == columns) {
      return text.substr(0, i);
    }
  }
  return text;
}

ConsoleOperator::ConsoleOperator()
    : ConsoleOperator(std::cout, std::cerr, std::cin, IsTerminal(ConsoleStream::Input),
                      IsTerminal(ConsoleStream::Error)) {}

ConsoleOperator::ConsoleOperator(std::ostream& out, std::ostream& err, std::istream& in,
                                 bool inIsTerminal, bool errIsTerminal)
    : out_(out), err_(err), in_(in), inIsTerminal_(inIsTerminal), errIsTerminal_(errIsTerminal) {}

void ConsoleOperator::ClearBarLocked() {
  if (!barShown_) return;
  err_ << "\r\033[K" << std::flush;
  barShown_ = false;
}

void ConsoleOperator::ReportPhaseLocked() {
  // The next position starts a new phase, whose clock and start address the
  // rate shown on the bar is measured from.
  const bool moved = phaseMoved_;
  phaseMoved_ = false;
  if (!moved) return;
  double seconds = std::chrono::duration<double>(Clock::now() - phaseStart_).count();
  // A position is the next address to go; at the top of its range the phase
  // has done its last address too.
  const bool reachedEnd = pos_ == max_ && max_ > phaseStartPos_;
  uint32_t bytes = pos_ >= phaseStartPos_ ? pos_ - phaseStartPos_ + (reachedEnd ? 1 : 0) : 0;
  if (bytes == 0) return;  // a step of its own (a load, a one-step erase) has nothing to sum up
  phases_.push_back({status_, bytes, seconds});
  // Without a terminal, one line sums up each phase that moved the progress.
  if (errIsTerminal_) return;
  err_ << "  " << status_ << ": 0x" << HexAddress24(phaseStartPos_) << "..0x" << HexAddress24(pos_)
       << ", " << Fill(_("%1 bytes"), {std::to_string(bytes)});
  if (seconds > 0.0) err_ << ", " << RateText(bytes / seconds);
  err_ << '\n' << std::flush;
}

int ConsoleOperator::ColumnsLocked() const {
  if (columns_ > 0) return columns_;
  if (int columns = TerminalColumns(ConsoleStream::Error); columns > 0) return columns;
  return kDefaultColumns;
}

void ConsoleOperator::DrawBarLocked(bool force) {
  if (!errIsTerminal_) return;
  auto now = Clock::now();
  if (!force && barShown_ && now - lastDraw_ < kRedrawInterval) return;
  lastDraw_ = now;

  uint32_t span = max_ > min_ ? max_ - min_ : 0;
  uint32_t done = pos_ > min_ ? pos_ - min_ : 0;
  if (done > span) done = span;
  unsigned percent = span ? static_cast<unsigned>(uint64_t{done} * 100 / span) : 0;
  double seconds = std::chrono::duration<double>(now - phaseStart_).count();
  double moved = pos_ > phaseStartPos_ ? pos_ - phaseStartPos_ : 0;
  double rate = seconds > 0.05 ? moved / seconds : 0.0;

  std::string line =
      TrimBlanks(status_) + "  0x" + HexAddress24(pos_) + "  " + std::to_string(percent) + "%";
  if (rate > 0.0) {
    line += "  " + RateText(rate);
    double left = (span - done) / rate;
    line += "  faltam " + FormatElapsed(static_cast<uint32_t>(left * 100));
  }
  // One column is left free: a line that fills the last one wraps on some
  // terminals, and every redraw would then start a new line.
  const int columns = ColumnsLocked();
  line = FitColumns(line, columns > 1 ? static_cast<size_t>(columns - 1) : 1);
  err_ << "\r\033[K" << line << std::flush;
  barShown_ = true;
}

void ConsoleOperator::ShowStatus(const std::string& text, bool success) {
  std::lock_guard lock(mutex_);
  ReportPhaseLocked();
  ClearBarLocked();
  status_ = text;
  statusSuccess_ = success;
  phaseStart_ = Clock::now();
  phaseStartPos_ = pos_;
  StatusStream() << ConsoleText(text) << '\n' << std::flush;
}

void ConsoleOperator::PrintBox(const std::string& text) {
  std::lock_guard lock(mutex_);
  ClearBarLocked();
  out_ << std::flush;
  err_ << ConsoleText(text) << '\n' << std::flush;
}

void ConsoleOperator::ShowMessage(const std::string& text) {
  PrintBox(text);
}

void ConsoleOperator::ShowErrorBox(const std::string& text) {
  PrintBox(text);
}

void ConsoleOperator::ShowWarning(const std::string& text) {
  PrintBox(text);
  std::lock_guard lock(mutex_);
  warnings_.push_back(text);
}

std::vector<std::string> ConsoleOperator::Warnings() const {
  std::lock_guard lock(mutex_);
  return warnings_;
}

Answer ConsoleOperator::Confirm(const std::string& text) {
  std::lock_guard lock(mutex_);
  lastAnswer_.reset();
  ClearBarLocked();
  out_ << std::flush;
  err_ << ConsoleText(text);
  if (preset_ || !inIsTerminal_) {
    Answer a = preset_.value_or(Answer::No);
    err_ << " [s/n] " << AnswerText(a) << '\n' << std::flush;
    lastAnswer_ = a;
    return a;
  }
  for (;;) {
    err_ << " [s/n] " << std::flush;
    std::string reply;
    if (!std::getline(in_, reply)) {
      // Ctrl+C while the question waits interrupts the read: the operator wants
      // to stop, which must never count as permission to go on.
      // The end of the input is no permission either: it answers No, as Esc does.
      err_ << '\n' << std::flush;
      lastAnswer_ = Answer::No;
      return Answer::No;
    }
    // Only ASCII is raised to capitals, so "não" arrives as "NãO".
    std::string r = UpperCaseAscii(TrimBlanks(reply));
    if (r == "S" || r == "SIM" || r == "Y" || r == "YES") lastAnswer_ = Answer::Yes;
    if (r == "N" || r == "NAO" || r == "NÃO" || r == "NãO" || r == "NO") lastAnswer_ = Answer::No;
    if (lastAnswer_) return *lastAnswer_;
  }
}

void ConsoleOperator::ProcessMessages() {
  if (hook_) hook_();
}

void ConsoleOperator::SetProgressMin(uint32_t value) {
  std::lock_guard lock(mutex_);
  if (value != min_) ReportPhaseLocked();
  min_ = value;
}

void ConsoleOperator::SetProgressMax(uint32_t value) {
  std::lock_guard lock(mutex_);
  if (value != max_) ReportPhaseLocked();
  max_ = value;
}

void ConsoleOperator::SetProgressPosition(uint32_t value) {
  std::lock_guard lock(mutex_);
  if (!phaseMoved_) {
    // The first move of a phase starts its clock.
    phaseStart_ = Clock::now();
    phaseStartPos_ = value;
  }
  pos_ = value;
  phaseMoved_ = true;
  DrawBarLocked(false);
}

void ConsoleOperator::SetField(Field field, const std::string& text) {
  std::lock_guard lock(mutex_);
  fields_[field] = text;
}

std::string ConsoleOperator::FieldText(Field field) const {
  std::lock_guard lock(mutex_);
  auto it = fields_.find(field);
  return it == fields_.end() ? std::string() : it->second;
}

void ConsoleOperator::SelectCombo(Combo combo, int index) {
  std::lock_guard lock(mutex_);
  combos_[combo] = index;
}

int ConsoleOperator::ComboIndex(Combo combo) const {
  std::lock_guard lock(mutex_);
  auto it = combos_.find(combo);
  return it == combos_.end() ? -1 : it->second;
}

void ConsoleOperator::SetCheck(Check check, bool checked) {
  std::lock_guard lock(mutex_);
  checks_[check] = checked;
}

bool ConsoleOperator::CheckState(Check check) const {
  std::lock_guard lock(mutex_);
  auto it = checks_.find(check);
  return it != checks_.end() && it->second;
}

void ConsoleOperator::AddMemoLine(Memo memo, const std::string& line) {
  std::lock_guard lock(mutex_);
  memos_[memo].push_back(line);
  if (echoed_.count(memo)) {
    ClearBarLocked();
    StatusStream() << ConsoleText(line) << '\n' << std::flush;
  }
}

void ConsoleOperator::ClearMemo(Memo memo) {
  std::lock_guard lock(mutex_);
  memos_[memo].clear();
}

std::vector<std::string> ConsoleOperator::MemoLines(Memo memo) const {
  std::lock_guard lock(mutex_);
  auto it = memos_.find(memo);
  return it == memos_.end() ? std::vector<std::string>{} : it->second;
}

void ConsoleOperator::SetDeviceCommandsEnabled(bool enabled) {
  std::lock_guard lock(mutex_);
  commandsEnabled_ = enabled;
}

bool ConsoleOperator::DeviceCommandsEnabled() const {
  std::lock_guard lock(mutex_);
  return commandsEnabled_;
}

std::optional<Answer> ConsoleOperator::LastAnswer() const {
  std::lock_guard lock(mutex_);
  return lastAnswer_;
}

std::vector<ConsoleOperator::Phase> ConsoleOperator::Phases() const {
  std::lock_guard lock(mutex_);
  return phases_;
}

std::string ConsoleOperator::LastStatus() const {
  std::lock_guard lock(mutex_);
  return status_;
}

bool ConsoleOperator::LastStatusSuccess() const {
  std::lock_guard lock(mutex_);
  return statusSuccess_;
}

}  // namespace bq::cli
