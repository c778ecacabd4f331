#pragma once
// What a command shows the operator beside its status, boxes and progress:
// one typed event per thing shown, named for what it is, not for where a
// front end puts it. A front end shows the events it has room for and lets
// the others pass.

#include <cstdint>
#include <string>
#include <variant>

namespace bq {

// The phases of a device command, as typed progress events name them.
enum class WorkPhase {
  Erase,
  WriteFlash,
  VerifyFlash,
  WriteEeprom,
  VerifyEeprom,
  ReadFlash,
  ReadEeprom
};

// "erase", "writeFlash", ...: the name a report gives the phase.
const char* WorkPhaseName(WorkPhase phase);

// The lists the operator reads, by what they hold.
enum class OperatorList {
  UpgradeSummary,  // one line per firmware written
  UpgradeSteps,    // the steps of the one-press Zircon upgrade
  LoopSteps,       // the steps of the production loop
  LinkData,        // what an accessory's identity read or boot entry found
  PacketTimes,     // how long each link reply took
  BatchFolders,    // the block folders of a KFX batch
  FlashDump,       // the memory image in hexadecimal
  EepromDump,
  CriptoDump,
};

namespace shown {

// The attached device's identity as read; cleared ("x") while a new read runs.
struct DeviceIdentity {
  uint16_t serialNumber = 0;
  uint8_t productCode = 0;
  uint8_t firmwareVersion = 0;
  uint8_t firmwareRevision = 0;
};
struct DeviceIdentityCleared {};
// The boot loader's and hardware's versions; cleared before a new read, the
// rate found too when that read looks for the rate.
struct BootVersion {
  uint32_t bootLoaderVersion = 0;
  uint32_t hardwareVersion = 0;
};
struct BootVersionCleared {
  bool rateToo = false;
};
// The rate at which a device answered.
struct FoundRate {
  uint16_t baudRate = 0;
};
// Whether the device's flash is written up to 0x1FFFF.
struct HighAddresses {
  bool on = false;
};

// The programming engine's figures: its start, the trimmed ends of its plan,
// the end of a write or check, the address being worked on, the time taken.
struct EngineStarted {
  uint32_t applicationStart = 0;
};
struct PlanEnds {
  uint32_t flashEnd = 0;
  uint32_t eepromEnd = 0;
  uint32_t eraseEnd = 0;
};
struct PhaseEnd {
  WorkPhase phase = WorkPhase::WriteFlash;  // WriteFlash or VerifyFlash
  uint32_t end = 0;
};
struct VerifyBlocksEnd {
  uint32_t end = 0;
};
struct Address {
  uint32_t address = 0;
};
// The one-step erase has no address of its own.
struct EraseAll {};
struct Elapsed {
  uint32_t hundredths = 0;
};
// Devices written since start-up.
struct UpgradeCount {
  int32_t count = 0;
};

// The header of the file loaded for writing, and of the KFX tools' source.
struct FileHeader {
  uint16_t serialNumber = 0;
  uint8_t version = 0;
  uint8_t revision = 0;
  uint8_t productCode = 0;
  bool memory128K = false;
};
struct KfxSourceHeader {
  uint8_t version = 0;
  uint8_t revision = 0;
  uint8_t productCode = 0;
  bool memory128K = false;
};
// The firmware file to write, the KFX tools' source, and the file chosen for
// a device's serial number.
struct FirmwareFile {
  std::string path;
};
struct KfxSourceFile {
  std::string path;
};
struct SerialFile {
  std::string path;
};
// The settings the program starts with, and the files and port they name now.
struct SettingsLoaded {
  uint16_t baudRate = 0;
  std::string firmwareFile;
  uint16_t serialFirst = 0;
  uint16_t serialLast = 0;
};
struct SettingsNamed {
  std::string firmwareFile;
  std::string kfxSourceFile;
  std::string portName;
};

// A scan's progress line, and the accessory link's status line.
struct ScanProgress {
  std::string text;
};
struct LinkStatus {
  std::string text;
};
// The production loop's turn; whether a Zircon boot entry writes at once.
struct LoopTurn {
  int turn = 0;
};
struct ZirconAutoWrite {
  bool on = false;
};

// A KFX batch: running or not, the block folder under way (its name, then its
// full path), the last serial number generated, and the file just written.
struct BatchRunning {
  bool running = false;
};
struct BatchFolderName {
  std::string name;
};
struct BatchFolder {
  std::string path;
};
struct LastSerialGenerated {
  int64_t serial = 0;
};
struct BatchSerialWritten {
  int64_t serial = 0;
};
// The range of the next block, after "Proximos 100".
struct BatchRange {
  int64_t first = 0;
  int64_t end = 0;
};

// The operator's lists.
struct ListLine {
  OperatorList list = OperatorList::UpgradeSummary;
  std::string line;
};
struct ListCleared {
  OperatorList list = OperatorList::UpgradeSummary;
};

}  // namespace shown

using Shown =
    std::variant<shown::DeviceIdentity, shown::DeviceIdentityCleared, shown::BootVersion,
                 shown::BootVersionCleared, shown::FoundRate, shown::HighAddresses,
                 shown::EngineStarted, shown::PlanEnds, shown::PhaseEnd, shown::VerifyBlocksEnd,
                 shown::Address, shown::EraseAll, shown::Elapsed, shown::UpgradeCount,
                 shown::FileHeader, shown::KfxSourceHeader, shown::FirmwareFile,
                 shown::KfxSourceFile, shown::SerialFile, shown::SettingsLoaded,
                 shown::SettingsNamed, shown::ScanProgress, shown::LinkStatus, shown::LoopTurn,
                 shown::ZirconAutoWrite, shown::BatchRunning, shown::BatchFolderName,
                 shown::BatchFolder, shown::LastSerialGenerated, shown::BatchSerialWritten,
                 shown::BatchRange, shown::ListLine, shown::ListCleared>;

}  // namespace bq
