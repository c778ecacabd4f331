#include "app/device_commands.h"

#include <algorithm>
#include <span>
#include <string>

#include "app/attempt_record.h"
#include "app/context.h"
#include "app/device_command_scope.h"
#include "app/identity_view.h"
#include "app/station.h"
#include "boot/boot_commands.h"
#include "boot/boot_connection.h"
#include "serial/boot_port.h"

namespace bq {

bool DetectBootBaudRate(Station& st) {
  const BaudDetection found = bq::DetectBootBaudRate(st.link(), st.portName, st.baudRate);
  if (!found.rate) {
    if (found.probed) ForgetBootVersion(st);
    return false;
  }
  ShowBootVersion(st, found.version);
  st.baudRate = *found.rate;
  if (!found.reopened) return false;
  st.foundBaudRate = *found.rate;
  st.ui.Show(shown::FoundRate{*found.rate});
  return true;
}

bool ReadAndShowBootVersion(Station& st) {
  auto version = ReadBootVersion(st.link());
  if (!version) {
    ForgetBootVersion(st);
    return false;
  }
  ShowBootVersion(st, *version);
  return true;
}

bool IdentifyDevice(Station& st, bool detectBaud, bool quiet, DeviceIdentity& read) {
  if (detectBaud && !DetectBootBaudRate(st)) return false;
  auto identity = ReadDeviceIdentity(st.link());
  if (!identity) {
    if (!quiet) st.ui.ShowErrorBox("Equipamento não conectado!!");
    return false;
  }
  read = *identity;
  ShowDeviceIdentity(st, read);
  if (!ReadAndShowBootVersion(st)) {
    if (!quiet) st.ui.ShowMessage(" Erro le versao boot");
    return false;
  }
  read.bootLoaderVersion = st.identity.bootLoaderVersion;
  read.hardwareVersion = st.identity.hardwareVersion;
  NoteDevice(st, read);
  return true;
}

bool IdentifyDevice(Station& st, bool detectBaud, bool quiet) {
  DeviceIdentity read;
  return IdentifyDevice(st, detectBaud, quiet, read);
}

bool ReadAttachedDevice(Station& st, DeviceIdentity& read) {
  DeviceCommandScope scope(st);
  ClearDeviceIdentity(st);
  ClearShownBootVersion(st, true);
  const bool identified = IdentifyDevice(st, true, false, read);
  CloseBootPort(st.ComPortQuarn);
  return identified;
}

void botLeNSClick(Station& st) {
  DeviceIdentity read;
  ReadAttachedDevice(st, read);
}

bool RestartAttachedDevice(Station& st) {
  AttemptRecord attempt(st, "reset");
  return attempt.Run([&] {
    if (!DetectBootBaudRate(st)) {
      NoteFailure(st, std::nullopt, std::nullopt, std::nullopt);
      return false;
    }
    ResetRun(st.link());
    NoteResult(st, records::RecordResult::kOk);
    return true;
  });
}

void botResetClick(Station& st) {
  RestartAttachedDevice(st);
}

bool EraseAttachedDevice(Station& st) {
  AttemptRecord attempt(st, "erase");
  return attempt.Run([&] {
    if (!OpenBootPort(st.ComPortQuarn, st.ui, st.baudRate, st.portName)) return false;
    const bool erased = EraseAll(st.link());
    st.ui.ShowMessage(erased ? "Ok erase !" : "Falha erase !");
    if (erased) {
      NoteResult(st, records::RecordResult::kOk);
    } else {
      NoteFailure(st, "erase", std::nullopt, "Falha erase !");
    }
    return erased;
  });
}

void botEraseClick(Station& st) {
  EraseAttachedDevice(st);
}

void botGravaDebugClick(Station& st) {
  if (!OpenBootPort(st.ComPortQuarn, st.ui, st.baudRate, st.portName)) {
    return;
  }
  constexpr size_t kBlock = 128;
  // Blocks on both sides of the 64 KiB boundary and at the top of the flash.
  for (uint32_t address : {0x10000u, 0xFF00u, 0x1FF80u, 0xFF80u}) {
    std::span<const uint8_t> data(st.image->flash.data() + address, kBlock);
    const bool blank = std::all_of(data.begin(), data.end(), [](uint8_t b) { return b == 0xFF; });
    if (st.options.smartWrite && blank) continue;  // an erased block needs no write
    if (!WriteVerifyFlashLong(st.link(), address, data)) {
      st.ui.ShowMessage("Falha gravação e verificação End " + std::to_string(address));
      return;
    }
  }
}

void botResetPicClick(Station& st) {
  ResetRun(st.link());
  CloseBootPort(st.ComPortQuarn);
}

void botAbre38400Click(Station& st) {
  if (!OpenBootPort(st.ComPortQuarn, st.ui, kFastBootRate, st.portName)) {
    st.ui.ShowErrorBox("pane abertura");
  }
}

// Kept in the window, hidden or disabled, and deliberately empty: a serial number
// reaches a device only through its per-serial-number firmware file, and the product
// code only as the last step of a programming run.
void botGravaNsClick(Context&) {}
void botGravaNSProducaoClick(Context&) {}
void botGravaSomenteTipoProdutoClick(Context&) {}

}  // namespace bq
