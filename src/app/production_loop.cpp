// "Loop Atualizar": every turn reads the identity of the accessory on the
// selected port; a serial number other than the last one read starts the
// Sensor Zircon boot entry with the automatic write of that number's file.
#include <chrono>
#include <thread>

#include "app/accessory_boot.h"
#include "app/accessory_probes.h"
#include "app/attempt_record.h"
#include "app/context.h"
#include "app/port_hint.h"
#include "app/production_commands.h"
#include "app/station.h"
#include "discovery/link_frame.h"
#include "serial/port_error.h"
#include "shell/utilities.h"

namespace bq {
namespace {

constexpr const char* kSerialPlaceholder = "xxxxxx";
// Before the boot entry of a device just found.
constexpr std::chrono::milliseconds kBeforeWrite{500};
// While the port will not open: how often it is tried again, and how often
// the wait looks at the loop's cancel.
constexpr std::chrono::milliseconds kReopenPause{250};
constexpr std::chrono::milliseconds kCancelLook{50};

void AddLine(Station& st, const std::string& line) {
  st.ui.Show(shown::ListLine{OperatorList::LoopSteps, line});
}

// One new device: its file chosen, then boot entry and write. False when its
// file does not open; the loop ends there.
bool UpgradeFoundDevice(Station& st, const std::string& pattern, LoopDevice& device,
                        std::optional<std::string>& fileError) {
  st.ui.Show(shown::ListCleared{OperatorList::LoopSteps});
  AddLine(st, "Achou NS=" + std::to_string(device.serialNumber));
  device.file = LoopFileForSerial(pattern, device.serialNumber);
  AddLine(st, "Nome=" + device.file);
  st.ui.Show(shown::FirmwareFile{device.file});
  st.UseFirmwareFile(device.file);
  st.ui.ProcessMessages();
  AddLine(st, "Vai gravar NS=");
  std::this_thread::sleep_for(kBeforeWrite);
  AttemptRecord attempt(st, "loop");
  return attempt.Run([&] {
    fileError = ReportUnreadableFile(st, device.file);
    if (fileError) {
      NoteFailure(st, std::nullopt, std::nullopt, fileError);
      return false;
    }
    const ZirconBootCommand command = SensorZirconEnterBoot(st);
    device.ok = command.write && command.write->ok;
    return true;
  });
}

// The identity of the accessory on the selected port. A board pulled out
// while it is read is a read that failed: the loop goes on with the next one.
std::optional<AccessoryIdentity> ReadLoopIdentity(Station& st) {
  try {
    return ReadAccessoryIdentity(st, st.ChosenPort(), false, kLinkBaudSlow);
  } catch (const PortError&) {
    return std::nullopt;  // the read's guards have closed the port and unlocked
  }
}

// Whether the port's last open failed (the reason is on the port).
bool PortWouldNotOpen(const Station& st) {
  return st.ComPortQuarn.LastErrorCode() != 0 || !st.ComPortQuarn.LastError().empty();
}

// The pause before the port is tried again; ends early on the loop's cancel.
void WaitForPort(Station& st) {
  const auto until = std::chrono::steady_clock::now() + kReopenPause;
  while (std::chrono::steady_clock::now() < until) {
    st.ui.ProcessMessages();
    if (st.loopCancel) return;
    std::this_thread::sleep_for(kCancelLook);
  }
}

}  // namespace

std::string LoopFilePattern(const std::string& name) {
  return TextBefore(name, "_NS") + "_NS" + kSerialPlaceholder + ".kfx";
}

std::string LoopFileForSerial(const std::string& pattern, int32_t serial) {
  const std::string digits = ZeroPadded(6, serial);
  const std::string upper = UpperCaseAscii(pattern);
  const std::string key = UpperCaseAscii(kSerialPlaceholder);
  std::string file;
  size_t from = 0;
  for (size_t at = upper.find(key); at != std::string::npos; at = upper.find(key, from)) {
    file += pattern.substr(from, at - from) + digits;
    from = at + key.size();
  }
  return file + pattern.substr(from);
}

bool LoopOutcome::ok() const {
  if (end == LoopEnd::FileError) return false;
  if (!portOpened && devices.empty()) return false;
  for (const auto& d : devices) {
    if (!d.ok) return false;
  }
  return true;
}

LoopOutcome RunProductionLoop(Station& st, const std::string& name, const LoopLimits& limits) {
  LoopOutcome outcome;
  st.ui.Show(shown::ListCleared{OperatorList::LoopSteps});
  std::optional<uint16_t> last;
  st.loopCancel = false;
  AddLine(st, "Nome=" + name);
  AddLine(st, "strAux Esq=" + name);
  const std::string pattern = LoopFilePattern(name);
  AddLine(st, "Nome=" + pattern);

  bool portReported = false;
  for (;;) {
    ++outcome.turns;
    st.loopTurns = outcome.turns;
    st.ui.Show(shown::LoopTurn{outcome.turns});
    const std::optional<AccessoryIdentity> id = ReadLoopIdentity(st);
    if (!id && PortWouldNotOpen(st)) {
      // Gone, held or no port: said once, then tried again a few times a second.
      if (!portReported) {
        outcome.portError = PortFailureHint(st.ComPortQuarn, st.ChosenPort());
        AddLine(st, *outcome.portError);
        if (limits.onPortError) limits.onPortError(*outcome.portError);
        portReported = true;
      }
      WaitForPort(st);
    } else {
      outcome.portOpened = true;
      portReported = false;
    }
    if (id && id->serialNumber != last) {
      LoopDevice device{id->serialNumber, {}, false};
      if (!UpgradeFoundDevice(st, pattern, device, outcome.fileError)) {
        outcome.end = LoopEnd::FileError;
        return outcome;
      }
      outcome.devices.push_back(device);
      if (limits.onDevice) limits.onDevice(device);
    }
    if (id) last = id->serialNumber;
    st.ui.ProcessMessages();
    if (st.loopCancel) break;
    if (limits.maxDevices > 0 && static_cast<int>(outcome.devices.size()) >= limits.maxDevices) {
      outcome.end = LoopEnd::DeviceLimit;
      return outcome;
    }
  }
  st.ui.ShowErrorBox("Cancelado");
  return outcome;
}

void botCancelLoopAtualizarClick(Station& st) {
  st.loopCancel = true;
}

}  // namespace bq
