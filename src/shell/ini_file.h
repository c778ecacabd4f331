#pragma once
// An INI file kept as its lines, so that an update changes only the keys it
// writes and leaves every other section, key and comment where it stood.
// Booleans are stored as "Sim" and "Nao".

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "shell/safe_file.h"  // RemoveStaleTemporaryFiles for the saves

namespace bq {

// A settings file is a few hundred bytes; anything above this is no INI file.
inline constexpr size_t kMaxIniFileBytes = 1024 * 1024;

class TIniFileQuarn {
 public:
  explicit TIniFileQuarn(std::string path) : path_(std::move(path)) {}

  enum class LoadResult {
    Ok,          // read, or missing (an empty file)
    Unreadable,  // it could not be read
    Damaged,     // not a regular file, or larger than kMaxIniFileBytes: never read
  };
  // Reads the file; on failure *error holds the reason. Opening it never
  // waits, whatever the name leads to.
  LoadResult Load(std::string* error);
  // Takes the lines of a file's text already in memory, in place of the loaded ones.
  void Parse(std::string_view data);

  // Values are trimmed of surrounding blanks; sections and keys match in any case.
  std::string ReadString(const std::string& section, const std::string& key,
                         const std::string& defaultValue) const;
  // Decimal, "0x" or "$" hexadecimal, with an optional sign; other text gives the default.
  int32_t ReadInteger(const std::string& section, const std::string& key,
                      int32_t defaultValue) const;
  // True exactly when the upper-cased text is "SIM".
  bool ReadBool(const std::string& section, const std::string& key, bool defaultValue) const;

  // A CR or LF in the value is stored as a blank: a value never spills onto
  // a line of its own.
  void WriteString(const std::string& section, const std::string& key, const std::string& value);
  void WriteInteger(const std::string& section, const std::string& key, int32_t value);
  void WriteBool(const std::string& section, const std::string& key, bool value);

  // Saves every line with CR LF ends, atomically (WriteFileSafely). On failure
  // the old file stays intact and *error holds the system's reason.
  bool UpdateFile(std::string* error) const;

  const std::string& Path() const { return path_; }
  const std::vector<std::string>& Lines() const { return lines_; }

 private:
  std::optional<std::string> Find(const std::string& section, const std::string& key) const;

  std::string path_;
  std::vector<std::string> lines_;
};

// False when the text holds a CR or LF, which would end its line in the file
// and start another key.
bool FitsOnOneIniLine(const std::string& text);

// Parses an INI integer: decimal, "0x" or "$" hexadecimal (up to 32 bits),
// with an optional sign and surrounding blanks.
std::optional<int32_t> ParseIniInteger(const std::string& text);

}  // namespace bq
