#include "shell/ini_file.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>

#include "shell/file_system.h"
#include "shell/safe_file.h"
#include "shell/utilities.h"

namespace bq {

namespace {

bool SameText(const std::string& a, const std::string& b) {
  return UpperCaseAscii(a) == UpperCaseAscii(b);
}

// The section named by a "[name]" line, if the line is one.
std::optional<std::string> SectionName(const std::string& line) {
  std::string t = TrimBlanks(line);
  if (t.size() < 2 || t.front() != '[') return std::nullopt;
  size_t close = t.find(']');
  if (close == std::string::npos) return std::nullopt;
  return TrimBlanks(t.substr(1, close - 1));
}

// The key of a "key=value" line, if the line is one.
std::optional<std::string> KeyName(const std::string& line) {
  size_t eq = line.find('=');
  if (eq == std::string::npos) return std::nullopt;
  std::string t = TrimBlanks(line);
  if (t.empty() || t.front() == ';' || t.front() == '[') return std::nullopt;
  return TrimBlanks(line.substr(0, eq));
}

// The [begin, end) line range of the first section with this name, where end
// is the next section line; begin is the section line itself.
std::optional<std::pair<size_t, size_t>> SectionRange(const std::vector<std::string>& lines,
                                                      const std::string& section) {
  for (size_t i = 0; i < lines.size(); ++i) {
    auto name = SectionName(lines[i]);
    if (!name || !SameText(*name, section)) continue;
    size_t end = i + 1;
    while (end < lines.size() && !SectionName(lines[end])) ++end;
    return std::make_pair(i, end);
  }
  return std::nullopt;
}

}  // namespace

std::optional<int32_t> ParseIniInteger(const std::string& text) {
  std::string t = TrimBlanks(text);
  bool negative = false;
  size_t i = 0;
  if (i < t.size() && (t[i] == '+' || t[i] == '-')) negative = t[i++] == '-';
  int base = 10;
  if (t.compare(i, 1, "$") == 0) {
    base = 16;
    i += 1;
  } else if (t.compare(i, 2, "0x") == 0 || t.compare(i, 2, "0X") == 0) {
    base = 16;
    i += 2;
  }
  if (i == t.size()) return std::nullopt;
  uint64_t value = 0;
  for (; i < t.size(); ++i) {
    char c = t[i];
    int digit = -1;
    if (c >= '0' && c <= '9') digit = c - '0';
    if (base == 16 && c >= 'a' && c <= 'f') digit = c - 'a' + 10;
    if (base == 16 && c >= 'A' && c <= 'F') digit = c - 'A' + 10;
    if (digit < 0) return std::nullopt;
    value = value * static_cast<uint64_t>(base) + static_cast<uint64_t>(digit);
    if (value > 0xFFFFFFFFull) return std::nullopt;
  }
  int64_t signedValue;
  if (base == 16) {
    // Hexadecimal spells the 32-bit pattern: $FFFFFFFF is -1.
    signedValue = static_cast<int32_t>(static_cast<uint32_t>(value));
  } else {
    if (value > (negative ? 0x80000000ull : 0x7FFFFFFFull)) return std::nullopt;
    signedValue = static_cast<int64_t>(value);
  }
  return static_cast<int32_t>(negative ? -signedValue : signedValue);
}

TIniFileQuarn::LoadResult TIniFileQuarn::Load(std::string* error) {
  lines_.clear();
  std::string data;
  const SmallFileRead read = ReadSmallRegularFile(path_, kMaxIniFileBytes, &data);
  auto fail = [error](LoadResult result, const std::string& why) {
    if (error) *error = why;
    return result;
  };
  switch (read.status) {
    case SmallFileRead::Status::Ok:
      Parse(data);
      return LoadResult::Ok;
    case SmallFileRead::Status::Missing:
      return LoadResult::Ok;
    case SmallFileRead::Status::Failed:
      return fail(LoadResult::Unreadable, ErrnoText(read.osError));
    case SmallFileRead::Status::NotRegular:
      return fail(LoadResult::Damaged, "Not a regular file");
    case SmallFileRead::Status::TooLarge:
      return fail(LoadResult::Damaged, ErrnoText(EFBIG));
  }
  return LoadResult::Unreadable;
}

// A line ends at CR LF, at LF, or at a CR alone, as the files written by the
// older tools do: a value therefore never holds a CR, so a save that writes
// each line with CR LF reads back exactly as it was read.
void TIniFileQuarn::Parse(std::string_view data) {
  lines_.clear();
  size_t start = 0;
  while (start < data.size()) {
    size_t end = data.find_first_of("\r\n", start);
    if (end == std::string_view::npos) end = data.size();
    lines_.emplace_back(data.substr(start, end - start));
    start = end + 1;
    if (end < data.size() && data[end] == '\r' && start < data.size() && data[start] == '\n')
      ++start;
  }
}

std::optional<std::string> TIniFileQuarn::Find(const std::string& section,
                                               const std::string& key) const {
  auto range = SectionRange(lines_, section);
  if (!range) return std::nullopt;
  for (size_t i = range->first + 1; i < range->second; ++i) {
    auto name = KeyName(lines_[i]);
    if (name && SameText(*name, key)) return TrimBlanks(lines_[i].substr(lines_[i].find('=') + 1));
  }
  return std::nullopt;
}

std::string TIniFileQuarn::ReadString(const std::string& section, const std::string& key,
                                      const std::string& defaultValue) const {
  return Find(section, key).value_or(defaultValue);
}

int32_t TIniFileQuarn::ReadInteger(const std::string& section, const std::string& key,
                                   int32_t defaultValue) const {
  auto text = Find(section, key);
  if (!text) return defaultValue;
  return ParseIniInteger(*text).value_or(defaultValue);
}

bool TIniFileQuarn::ReadBool(const std::string& section, const std::string& key,
                             bool defaultValue) const {
  return UpperCaseAscii(ReadString(section, key, defaultValue ? "Sim" : "Nao")) == "SIM";
}

bool FitsOnOneIniLine(const std::string& text) {
  return text.find_first_of("\r\n") == std::string::npos;
}

void TIniFileQuarn::WriteString(const std::string& section, const std::string& key,
                                const std::string& value) {
  std::string line = key + "=" + value;
  std::replace_if(
      line.begin(), line.end(), [](char c) { return c == '\r' || c == '\n'; }, ' ');
  auto range = SectionRange(lines_, section);
  if (!range) {
    lines_.push_back("[" + section + "]");
    lines_.push_back(line);
    return;
  }
  size_t lastEntry = range->first;
  for (size_t i = range->first + 1; i < range->second; ++i) {
    auto name = KeyName(lines_[i]);
    if (name && SameText(*name, key)) {
      lines_[i] = line;
      return;
    }
    if (!TrimBlanks(lines_[i]).empty()) lastEntry = i;
  }
  // A new key goes after the section's last entry, before any blank lines.
  lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(lastEntry + 1), line);
}

void TIniFileQuarn::WriteInteger(const std::string& section, const std::string& key,
                                 int32_t value) {
  WriteString(section, key, std::to_string(value));
}

void TIniFileQuarn::WriteBool(const std::string& section, const std::string& key, bool value) {
  WriteString(section, key, value ? "Sim" : "Nao");
}

bool TIniFileQuarn::UpdateFile(std::string* error) const {
  std::string data;
  for (const auto& line : lines_) data += line + "\r\n";
  const std::optional<SafeWriteError> failed = WriteFileSafely(path_, data);
  if (failed && error) *error = ErrnoText(failed->osError);
  return !failed;
}

}  // namespace bq
