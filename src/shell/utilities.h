#pragma once
// Small services shared by every part of the program: folders, log files,
// number and date texts, the file manager and the notification sound.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace bq {

class OperatorInterface;
struct AppPaths;

// ---- folders and log files --------------------------------------------------

// True when the folder exists afterwards. Unless silent, a missing folder is
// announced with a plain box before it is created with its parents. The folders
// only hold logs, so one that cannot be made is a warning.
bool EnsureFolder(OperatorInterface& ui, const std::string& path, bool silent);

// Appends "timestamp>text" CR LF to the file, opened for this one line. Returns
// true when the file had to be created (it then starts with a header line).
// A line that cannot be written is reported as a warning with the reason.
bool AppendLogLine(OperatorInterface& ui, const std::string& fileName, const std::string& text);

// Starts a fresh usage log: deletes the file if it exists.
void ResetUsageLog(const std::string& fileName);

// Opens the folder part of path (up to its last '/') in the desktop's file
// manager without waiting for it. Quietly does nothing without xdg-open.
void OpenFolderInExplorer(const std::string& path);

// ---- number and text forms --------------------------------------------------

std::string HexByte(uint8_t value);                // "0A"
std::string HexAddress24(uint32_t value);          // bits 0..23 as six digits: "01F800"
std::string ZeroPadded(int width, int32_t value);  // at least width digits: "000036"
std::string VersionText(uint32_t value);           // 554 -> "5.54"
std::string FormatElapsed(uint32_t hundredths);    // "hh:mm:ss", rounded to the second

// The decimal integer in text, or 0: surrounding blanks make an empty text 0,
// leading blanks are allowed, trailing ones are not, and the value must fit 32 bits.
int32_t ParseIntOrZero(const std::string& text);

bool ContainsTextCI(const std::string& fragment, const std::string& text);
// Equal when compared without regard to ASCII case (port names, "COM3" ~ "com3").
bool EqualsIgnoringCase(const std::string& a, const std::string& b);
// The operating system's text for an errno value.
std::string ErrnoText(int err);
// The text before the first separator; empty when the separator does not occur.
std::string TextBefore(const std::string& text, const std::string& separator);
// The name of the folder holding the file: "/a/b/file.kfx" -> "b".
std::string ParentFolderName(const std::string& path);
// The folder part of a path, up to and including its last '/'; empty without one.
std::string FolderOf(const std::string& path);
// The path with a trailing '/' (an empty path stays empty).
std::string WithTrailingSlash(const std::string& path);
std::string UpperCaseAscii(std::string text);
std::string TrimBlanks(const std::string& text);

// ---- dates -----------------------------------------------------------------

struct LocalTime {
  int year = 1970;
  int month = 1;  // 1..12
  int day = 1;
  int hour = 0;
  int minute = 0;
  int second = 0;
  int millisecond = 0;
};

LocalTime NowLocal();
// "a2025_m01_d31"
std::string DateStamp(const LocalTime& t);
// "dd/mmm  hh:nn:ss.zzz" with Portuguese month abbreviations (jan .. dez).
std::string LogTimestamp(const LocalTime& t);

// ---- maker folder and sounds ------------------------------------------------

// The sound played after a firmware was written successfully.
inline constexpr int kSuccessSound = 24;

// The installed share/ folder's parent (<prefix>/share/) when it exists.
std::optional<std::string> FindProgramFilesFolder(const AppPaths& paths);
// The installed share folder (<prefix>/share/bootquarn/) when it exists.
std::optional<std::string> FindMakerFolder(const AppPaths& paths);
// <maker folder>sounds/NovoSuccess.wav for sound 24; empty for any other
// number or without a maker folder.
std::string SoundFilePath(const AppPaths& paths, int number);
// Starts the sound through paplay or aplay and returns at once. False, without
// a message, when the file or a player is missing.
bool PlaySoundNumber(const AppPaths& paths, int number);

}  // namespace bq
