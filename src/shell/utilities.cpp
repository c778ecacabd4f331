#include "shell/utilities.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <system_error>

#include "shell/app_paths.h"
#include "shell/desktop.h"
#include "shell/file_system.h"
#include "shell/operator_interface.h"

namespace bq {

namespace fs = std::filesystem;

// ---- folders and log files --------------------------------------------------

bool EnsureFolder(OperatorInterface& ui, const std::string& path, bool silent) {
  std::error_code ec;
  if (fs::is_directory(path, ec)) return true;
  if (!silent) {
    ui.ShowMessage("Pasta " + path + "  não encontrada.\r\n\r\nPasta será criada!!");
  }
  fs::create_directories(path, ec);
  if (ec || !fs::is_directory(path)) {
    if (!ec) ec = std::make_error_code(std::errc::not_a_directory);
    ui.ShowWarning("Erro criação da pasta [" + path + "] =" + ec.message());
    return false;
  }
  return true;
}

namespace {

// Creates the log with its header and first line in one write, so a reader
// never sees half of it. A failure is shown.
enum class Created { Yes, Exists, Failed };
Created CreateLogWithLine(OperatorInterface& ui, const std::string& fileName,
                          const std::string& line) {
  const FileAppend write =
      AppendToFile(fileName, "#### Arquivo Criado ######\r\n" + line, FileOpening::CreateNew);
  if (!write.opened) {
    if (write.osError == EEXIST) return Created::Exists;
    ui.ShowWarning("Erro criação do arquivo [" + fileName + "] =" + ErrnoText(write.osError));
    return Created::Failed;
  }
  if (write.osError != 0) {
    ui.ShowWarning("Erro gravação do log [" + fileName + "] =" + ErrnoText(write.osError));
  }
  return Created::Yes;
}

}  // namespace

bool AppendLogLine(OperatorInterface& ui, const std::string& fileName, const std::string& text) {
  if (fileName.empty()) return false;
  const std::string folder = FolderOf(fileName);
  if (!folder.empty() && !EnsureFolder(ui, folder, true)) {
    ui.ShowWarning("Não criou pasta. Msg descartada =" + text);
    return false;
  }
  const std::string line = LogTimestamp(NowLocal()) + ">" + text + "\r\n";

  // Stations writing at once: only the one whose O_EXCL create wins writes the
  // header; the others find the file on their next try and append their line.
  for (int attempt = 0; attempt < 2; ++attempt) {
    const FileAppend write = AppendToFile(fileName, line, FileOpening::Existing);
    if (write.opened) {
      if (write.osError != 0) {
        ui.ShowWarning("Erro gravação do log [" + fileName + "] =" + ErrnoText(write.osError));
      }
      return false;
    }
    if (write.osError != ENOENT) {
      ui.ShowWarning("Erro gravação do log [" + fileName + "] =" + ErrnoText(write.osError));
      return false;
    }
    const Created created = CreateLogWithLine(ui, fileName, line);
    if (created != Created::Exists) return created == Created::Yes;
  }
  return false;
}

void ResetUsageLog(const std::string& fileName) {
  std::error_code ec;
  fs::remove(fileName, ec);
}

void OpenFolderInExplorer(const std::string& path) {
  std::string folder = FolderOf(path);
  if (folder.empty()) folder = ".";
  OpenFolderInFileManager(folder);
}

// ---- number and text forms --------------------------------------------------

std::string HexByte(uint8_t value) {
  static const char kDigits[] = "0123456789ABCDEF";
  return std::string{kDigits[value >> 4], kDigits[value & 0x0F]};
}

std::string HexAddress24(uint32_t value) {
  return HexByte(static_cast<uint8_t>(value >> 16)) + HexByte(static_cast<uint8_t>(value >> 8)) +
         HexByte(static_cast<uint8_t>(value));
}

std::string ZeroPadded(int width, int32_t value) {
  const bool negative = value < 0;
  std::string digits = std::to_string(negative ? -static_cast<int64_t>(value) : value);
  if (width > 255) width = 255;
  if (static_cast<int>(digits.size()) < width) {
    digits.insert(0, static_cast<size_t>(width) - digits.size(), '0');
  }
  return negative ? "-" + digits : digits;
}

std::string VersionText(uint32_t value) {
  return std::to_string(value / 100) + "." + ZeroPadded(2, static_cast<int32_t>(value % 100));
}

std::string FormatElapsed(uint32_t hundredths) {
  uint64_t seconds = hundredths / 100 + (hundredths % 100 >= 50 ? 1 : 0);
  auto two = [](uint64_t v) { return v < 10 ? "0" + std::to_string(v) : std::to_string(v); };
  return two(seconds / 3600) + ":" + two(seconds % 3600 / 60) + ":" + two(seconds % 60);
}

int32_t ParseIntOrZero(const std::string& text) {
  if (TrimBlanks(text).empty()) return 0;
  size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  if (i == text.size()) return 0;
  int64_t value = 0;
  for (; i < text.size(); ++i) {
    if (!std::isdigit(static_cast<unsigned char>(text[i]))) return 0;
    value = value * 10 + (text[i] - '0');
    if (value > int64_t{INT32_MAX} + 1) return 0;
  }
  if (negative) value = -value;
  if (value > INT32_MAX || value < INT32_MIN) return 0;
  return static_cast<int32_t>(value);
}

std::string UpperCaseAscii(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

std::string TrimBlanks(const std::string& text) {
  // Blanks and control characters, as the INI reader and the CLI see them.
  size_t begin = 0;
  size_t end = text.size();
  while (begin < end && static_cast<unsigned char>(text[begin]) <= ' ') ++begin;
  while (end > begin && static_cast<unsigned char>(text[end - 1]) <= ' ') --end;
  return text.substr(begin, end - begin);
}

bool ContainsTextCI(const std::string& fragment, const std::string& text) {
  return UpperCaseAscii(text).find(UpperCaseAscii(fragment)) != std::string::npos;
}

std::string TextBefore(const std::string& text, const std::string& separator) {
  size_t at = text.find(separator);
  return at == std::string::npos ? std::string() : text.substr(0, at);
}

std::string FolderOf(const std::string& path) {
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string ParentFolderName(const std::string& path) {
  std::string folder = FolderOf(path);
  while (!folder.empty() && folder.back() == '/') folder.pop_back();
  size_t slash = folder.rfind('/');
  return slash == std::string::npos ? folder : folder.substr(slash + 1);
}

std::string WithTrailingSlash(const std::string& path) {
  if (path.empty() || path.back() == '/') return path;
  return path + "/";
}

// ---- dates -----------------------------------------------------------------

std::string DateStamp(const LocalTime& t) {
  return "a" + ZeroPadded(4, t.year) + "_m" + ZeroPadded(2, t.month) + "_d" + ZeroPadded(2, t.day);
}

std::string LogTimestamp(const LocalTime& t) {
  static const char* const kMonths[] = {"jan", "fev", "mar", "abr", "mai", "jun",
                                        "jul", "ago", "set", "out", "nov", "dez"};
  const char* month = (t.month >= 1 && t.month <= 12) ? kMonths[t.month - 1] : "???";
  return ZeroPadded(2, t.day) + "/" + month + "  " + ZeroPadded(2, t.hour) + ":" +
         ZeroPadded(2, t.minute) + ":" + ZeroPadded(2, t.second) + "." +
         ZeroPadded(3, t.millisecond);
}

// ---- maker folder and sounds ------------------------------------------------

std::optional<std::string> FindProgramFilesFolder(const AppPaths& paths) {
  if (paths.shareFolder.empty()) return std::nullopt;
  std::string share = paths.shareFolder;
  while (!share.empty() && share.back() == '/') share.pop_back();
  std::string parent = FolderOf(share);
  std::error_code ec;
  if (parent.empty() || !fs::is_directory(parent, ec)) return std::nullopt;
  return parent;
}

std::optional<std::string> FindMakerFolder(const AppPaths& paths) {
  if (!FindProgramFilesFolder(paths)) return std::nullopt;
  std::error_code ec;
  if (!fs::is_directory(paths.shareFolder, ec)) return std::nullopt;
  return WithTrailingSlash(paths.shareFolder);
}

std::string SoundFilePath(const AppPaths& paths, int number) {
  auto maker = FindMakerFolder(paths);
  if (!maker || number != kSuccessSound) return {};
  return *maker + "sounds/NovoSuccess.wav";
}

bool PlaySoundNumber(const AppPaths& paths, int number) {
  const std::string file = SoundFilePath(paths, number);
  std::error_code ec;
  if (file.empty() || !fs::is_regular_file(file, ec)) return false;
  return PlaySoundFile(file);
}

std::string ErrnoText(int err) {
  return std::system_category().message(err);
}

bool EqualsIgnoringCase(const std::string& a, const std::string& b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    return std::tolower(static_cast<unsigned char>(x)) ==
           std::tolower(static_cast<unsigned char>(y));
  });
}

}  // namespace bq
