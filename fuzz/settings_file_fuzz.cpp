// Reads arbitrary bytes as the settings file, saves the settings read into
// it, and reads the saved file again: every setting must come back as it was
// saved, or the save has lost data.
#include <stdlib.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>

#include "shell/settings.h"
#include "shell/silent_operator.h"

namespace {

// One folder for the whole run, on tmpfs when there is one: every save is
// flushed to disk, which a real disk would make the slowest part by far.
const std::string& SettingsPath() {
  static const std::string path = [] {
    std::string folder = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    folder += "/bq-fuzz-settings-XXXXXX";
    if (!mkdtemp(folder.data())) abort();
    static std::string made = folder;
    std::atexit([] {
      std::error_code ignored;
      std::filesystem::remove_all(made, ignored);
    });
    return folder + "/BootQuarn.Ini";
  }();
  return path;
}

bq::TPar Read(const std::string& path) {
  bq::TPar settings;
  bq::ReadSettings(settings, path, "/opt/bootquarn/", "/dev/ttyS0");
  return settings;
}

// Control bytes and bytes above 0x7E escaped, so the report shows what differs.
std::string Shown(const std::string& text) {
  std::string shown;
  char cell[8];
  for (unsigned char c : text) {
    if (c >= 0x20 && c < 0x7F && c != '\\') {
      shown += static_cast<char>(c);
    } else {
      std::snprintf(cell, sizeof cell, "\\x%02X", c);
      shown += cell;
    }
  }
  return shown;
}

[[noreturn]] void Lost(const char* field, const std::string& saved, const std::string& read) {
  std::fprintf(stderr, "setting %s saved as \"%s\" reads back as \"%s\"\n", field,
               Shown(saved).c_str(), Shown(read).c_str());
  abort();
}

void Same(const char* field, const std::string& saved, const std::string& read) {
  if (saved != read) Lost(field, saved, read);
}

void Same(const char* field, unsigned saved, unsigned read) {
  if (saved != read) Lost(field, std::to_string(saved), std::to_string(read));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string& path = SettingsPath();
  FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) abort();
  if (size > 0 && std::fwrite(data, 1, size, file) != size) abort();
  if (std::fclose(file) != 0) abort();

  const bq::TPar saved = Read(path);
  bq::SilentOperator ui;
  if (!bq::WriteSettings(saved, path, ui)) abort();  // the folder is ours: a save must succeed
  const bq::TPar read = Read(path);

  Same("dataFolder", saved.dataFolder, read.dataFolder);
  Same("firmwareFile", saved.firmwareFile, read.firmwareFile);
  Same("kfxSourceFile", saved.kfxSourceFile, read.kfxSourceFile);
  Same("portName", saved.portName, read.portName);
  Same("testMessages", saved.testMessages, read.testMessages);
  Same("baudRate", saved.baudRate, read.baudRate);
  Same("lastSerialGenerated", saved.lastSerialGenerated, read.lastSerialGenerated);
  Same("serialFirst", saved.serialFirst, read.serialFirst);
  Same("serialLast", saved.serialLast, read.serialLast);
  return 0;
}
