#pragma once
// The production panel: the one-press ZirconBox upgrade, the production loop
// that upgrades every new accessory on the port with the file of its own
// serial number, and the small commands around their lists and the log.

#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/connect_flow.h"

namespace bq {

class Station;

// What one "Abre arquivo e Upgrade ZirconBox" did.
struct ZirconUpgradeOutcome {
  bool bootEntered = false;
  std::optional<int32_t> serialNumber;  // read from the boot loader
  std::optional<std::string> file;      // the file chosen for that serial number
  // Set when the chosen file could not be opened: the command ended there.
  std::optional<std::string> fileError;
  std::optional<WriteOutcome> write;  // set once "Conectar e &Gravar" ran
  std::vector<std::string> lines;     // what memoUpgradeAuto shows afterwards
  bool ok() const { return write && write->ok; }
};

// "Abre arquivo e Upgrade ZirconBox": boot entry, serial number, its file, the write.
ZirconUpgradeOutcome botUpgradeZirconBoxClick(Station& st);

// One device the production loop met.
struct LoopDevice {
  int32_t serialNumber = 0;
  std::string file;
  bool ok = false;  // its firmware was written
};

enum class LoopEnd { Cancelled, DeviceLimit, FileError };

struct LoopOutcome {
  int turns = 0;
  std::vector<LoopDevice> devices;
  LoopEnd end = LoopEnd::Cancelled;
  std::optional<std::string> fileError;  // with LoopEnd::FileError
  // Whether the port opened at least once, and why it last would not.
  bool portOpened = false;
  std::optional<std::string> portError;
  // Every device met was written, no file was missing, and the port opened
  // (a loop that never reached its port did nothing it was asked to).
  bool ok() const;
};

struct LoopLimits {
  // End the loop after this many devices were met (written or not); 0: never.
  int maxDevices = 0;
  // Told of each device once its turn is over.
  std::function<void(const LoopDevice&)> onDevice;
  // Told when the port will not open, once each time it goes.
  std::function<void(const std::string&)> onPortError;
};

// The loop's file pattern: "xxxxxx" in place of the serial number.
std::string LoopFilePattern(const std::string& name);
// The pattern with every "xxxxxx" (any case) replaced by the six-digit serial number.
std::string LoopFileForSerial(const std::string& pattern, int32_t serial);

// "Loop Atualizar": watches the selected port for accessories until the loop's
// cancel flag is set or the limit is reached. `name` is the firmware file
// whose name gives the pattern of each device's file.
LoopOutcome RunProductionLoop(Station& st, const std::string& name, const LoopLimits& limits = {});
// "Cancel [ESC]" of the loop's panel; safe from any thread.
void botCancelLoopAtualizarClick(Station& st);

void botLImpaMemoClick(Station& st);        // "Limpa": clears memoLoop
void BitBtn2Click(Station& st);             // "Limpa / Zera"
void memoUpgradeAutoDblClick(Station& st);  // clears memoUpgradeAuto
// "Log": names the production log folder, then opens it in the file manager.
void botLogProducaoClick(Station& st);
// "Reseta" of the production panel: the click of "Reseta".
bool botResetaProducaoClick(Station& st);
// The firmware file chosen for a device must open before the device is
// touched: otherwise the reason is shown in an error box and returned.
std::optional<std::string> ReportUnreadableFile(Station& st, const std::string& file);
// What a path is when it is there but no regular file ("is a folder, not a
// file", ...); empty for a regular file or a path that is not there.
std::string FileKindText(const std::string& file);
// Buttons of the panel that do nothing.
inline void botGravaVariosClick(Station&) {}
inline void botCancelWrClick(Station&) {}

}  // namespace bq
