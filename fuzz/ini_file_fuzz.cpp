// Feeds arbitrary text to the INI reader, reads keys back and writes one.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "shell/ini_file.h"

namespace {

// The first line of the input names a section and a key ("section/key").
void SplitNames(std::string_view text, std::string& section, std::string& key) {
  const std::string_view first = text.substr(0, text.find('\n'));
  const size_t slash = first.find('/');
  section = std::string(first.substr(0, slash));
  key = slash == std::string_view::npos ? "Key" : std::string(first.substr(slash + 1));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  bq::TIniFileQuarn ini("/nonexistent/fuzz.ini");
  ini.Parse(text);
  std::string section, key;
  SplitNames(text, section, key);
  (void)ini.ReadString(section, key, "");
  (void)ini.ReadInteger(section, key, 0);
  (void)ini.ReadBool(section, key, false);
  (void)bq::ParseIniInteger(ini.ReadString(section, key, ""));

  // Writing a plain key into whatever the file holds must read back as written.
  ini.WriteString("Fuzz", "Porta", "ttyUSB7");
  if (ini.ReadString("Fuzz", "Porta", "") != "ttyUSB7") __builtin_trap();
  ini.WriteInteger("Fuzz", "Baud", -38400);
  if (ini.ReadInteger("Fuzz", "Baud", 0) != -38400) __builtin_trap();
  return 0;
}
