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

// A programming phase runs under the status line the engine shows for it;
// reading the memory back has no such line, so it is named here.
std::string ConsoleOperator::PhaseLabelLocked(WorkPhase phase) const {
  switch (phase) {
    case WorkPhase::ReadFlash:
      return _("Reading the program memory");
    case WorkPhase::ReadEeprom:
      return _("Reading the EEPROM");
    default:
      break;
  }
  if (verifying_) {
    return phase == WorkPhase::VerifyEeprom ? _("Comparing the EEPROM")
                                            : _("Comparing the program memory");
  }
  return status_;
}

void ConsoleOperator::EndPhaseLocked(bool done) {
  if (!phase_) return;
  const double seconds = std::chrono::duration<double>(Clock::now() - phaseStart_).count();
  if (done) pos_ = max_;
  const uint32_t bytes = done ? max_ - min_ + 1 : (pos_ > min_ ? pos_ - min_ : 0);
  const uint32_t last = done ? max_ : pos_;
  phases_.push_back({phaseLabel_, bytes, seconds, WorkPhaseName(*phase_), min_, last, done});
  phase_.reset();
  if (errIsTerminal_) {
    // The bar stays where the phase ended, on a line of its own.
    DrawBarLocked(true);
    if (barShown_) err_ << '\n' << std::flush;
    barShown_ = false;
    return;
  }
  // Without a terminal, one line sums up each phase.
  err_ << "  " << phaseLabel_ << ": 0x" << HexAddress24(min_) << "..0x" << HexAddress24(last)
       << ", " << Fill(_("%1 bytes"), {std::to_string(bytes)});
  if (seconds > 0.0 && bytes > 0) err_ << ", " << RateText(bytes / seconds);
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

  const uint32_t span = max_ > min_ ? max_ - min_ : 0;
  uint32_t done = pos_ > min_ ? pos_ - min_ : 0;
  if (done > span) done = span;
  const unsigned percent = span ? static_cast<unsigned>(uint64_t{done} * 100 / span) : 100;
  const double seconds = std::chrono::duration<double>(now - phaseStart_).count();
  const double rate = seconds > 0.05 ? done / seconds : 0.0;

  std::string figures = "0x" + HexAddress24(pos_) + "  " + std::to_string(percent) + "%";
  if (rate > 0.0) {
    figures += "  " + RateText(rate);
    if (done < span) {
      figures += "  faltam " + FormatElapsed(static_cast<uint32_t>((span - done) / rate * 100));
    }
  }
  // One column is left free: a line that fills the last one wraps on some
  // terminals, and every redraw would then start a new line. A narrow
  // terminal loses the label before the figures.
  const int columns = ColumnsLocked();
  const size_t room = columns > 1 ? static_cast<size_t>(columns - 1) : 1;
  const std::string label = TrimBlanks(phaseLabel_);
  std::string line = label.empty() ? figures : label + "  " + figures;
  if (FitColumns(line, room) != line) line = figures;
  err_ << "\r\033[K" << FitColumns(line, room) << std::flush;
  barShown_ = true;
}

void ConsoleOperator::ShowStatus(const std::string& text, bool success) {
  std::lock_guard lock(mutex_);
  ClearBarLocked();
  status_ = text;
  statusSuccess_ = success;
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
  if (!phase_) min_ = value;
}

void ConsoleOperator::SetProgressMax(uint32_t value) {
  std::lock_guard lock(mutex_);
  if (!phase_) max_ = value;
}

void ConsoleOperator::SetProgressPosition(uint32_t value) {
  std::lock_guard lock(mutex_);
  pos_ = value;
  // Only a phase has a bar: a position outside one (the flow's reset of the
  // bar) is kept, not drawn.
  if (phase_) DrawBarLocked(false);
}

void ConsoleOperator::PhaseStarted(WorkPhase phase, uint32_t first, uint32_t last) {
  std::lock_guard lock(mutex_);
  EndPhaseLocked(false);
  phase_ = phase;
  phaseLabel_ = PhaseLabelLocked(phase);
  min_ = first;
  max_ = last;
  pos_ = first;
  phaseStart_ = Clock::now();
  DrawBarLocked(true);
}

void ConsoleOperator::PhaseEnded(WorkPhase phase, bool done) {
  std::lock_guard lock(mutex_);
  if (phase_ == phase) EndPhaseLocked(done);
}

void ConsoleOperator::Show(const Shown& event) {
  const auto* added = std::get_if<shown::ListLine>(&event);
  if (!added || !echoed_.count(added->list)) return;
  std::lock_guard lock(mutex_);
  ClearBarLocked();
  StatusStream() << ConsoleText(added->line) << '\n' << std::flush;
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
