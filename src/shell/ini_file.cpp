#include "shell/ini_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <system_error>

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

int ReadWhole(const std::string& path, std::string* data) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return errno;
  char buffer[8192];
  for (;;) {
    ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0) {
      if (errno == EINTR) continue;
      int err = errno;
      ::close(fd);
      return err;
    }
    if (n == 0) break;
    data->append(buffer, static_cast<size_t>(n));
  }
  ::close(fd);
  return 0;
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

bool TIniFileQuarn::Load(std::string* error) {
  lines_.clear();
  std::string data;
  int err = ReadWhole(path_, &data);
  if (err == ENOENT) return true;
  if (err != 0) {
    if (error) *error = ErrnoText(err);
    return false;
  }
  Parse(data);
  return true;
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

// What UpdateFile names its temporary file, followed by six random characters.
constexpr const char* kTemporaryPrefix = ".BootQuarn.Ini.";

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

  auto fail = [&](int err, const std::string& tmp) {
    if (!tmp.empty()) ::unlink(tmp.c_str());
    if (error) *error = ErrnoText(err);
    return false;
  };

  std::string folder = FolderOf(path_);
  std::string tmp =
      (folder.empty() ? std::string("./") : folder) + kTemporaryPrefix + std::string("XXXXXX");
  std::vector<char> name(tmp.begin(), tmp.end());
  name.push_back('\0');
  int fd = ::mkostemp(name.data(), O_CLOEXEC);
  if (fd < 0) return fail(errno, "");
  tmp = name.data();

  // Keep the permissions of the file being replaced.
  struct stat st {};
  mode_t mode = (::stat(path_.c_str(), &st) == 0) ? (st.st_mode & 07777) : 0644;
  ::fchmod(fd, mode);

  const char* p = data.data();
  size_t left = data.size();
  while (left > 0) {
    ssize_t n = ::write(fd, p, left);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      int err = errno;
      ::close(fd);
      return fail(err, tmp);
    }
    p += n;
    left -= static_cast<size_t>(n);
  }
  if (::fsync(fd) != 0) {
    int err = errno;
    ::close(fd);
    return fail(err, tmp);
  }
  if (::close(fd) != 0) return fail(errno, tmp);
  if (::rename(tmp.c_str(), path_.c_str()) != 0) return fail(errno, tmp);

  // Make the rename itself durable.
  int dir = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    ::fsync(dir);
    ::close(dir);
  }
  return true;
}

void RemoveStaleTemporaryFiles(const std::string& path, std::chrono::seconds minAge) {
  namespace fs = std::filesystem;
  const std::string prefix = kTemporaryPrefix;
  const std::string folder = FolderOf(path);
  std::error_code ec;
  const auto now = fs::file_time_type::clock::now();
  for (const auto& entry : fs::directory_iterator(folder.empty() ? "." : folder, ec)) {
    const std::string name = entry.path().filename().string();
    if (name.size() != prefix.size() + 6 || name.rfind(prefix, 0) != 0) continue;
    if (!entry.is_regular_file(ec)) continue;
    const auto written = entry.last_write_time(ec);
    // A younger one may belong to a save still running in another instance.
    if (ec || now - written < minAge) continue;
    fs::remove(entry.path(), ec);
  }
}

}  // namespace bq
