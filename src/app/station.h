#pragma once
// One device's work: its port and accessory link, the identity and rate last
// found on it, its cancel and stop tokens and its clock. Several stations can
// run in one process, each on its own port and thread; what they share (the
// settings, the paths, the product list, the counters) stays in the Context.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "app/phase_tap.h"
#include "boot/boot_link.h"
#include "boot/device_identity.h"
#include "discovery/accessory_link.h"
#include "image/firmware_image.h"
#include "programming/programming_options.h"
#include "serial/com_port.h"
#include "shell/operator_interface.h"

namespace bq {

struct Context;
class AttemptRecord;

class Station {
 public:
  // The front end's own station: it opens the settings' port and keeps the
  // rate it finds there, as the window's one port always did.
  Station(Context& ctx, OperatorInterface& ui,
          std::unique_ptr<SerialBackend> backend = MakeDefaultSerialBackend());
  // A bench station on a port of its own; the settings' port is left alone.
  Station(Context& ctx, OperatorInterface& ui, std::string portName, uint16_t baudRate,
          std::unique_ptr<SerialBackend> backend = MakeDefaultSerialBackend());
  Station(const Station&) = delete;
  Station& operator=(const Station&) = delete;

  Context& ctx;

 private:
  // Passes the events on to the front end's sink and notes the phases of the
  // command whose production record is being kept.
  PhaseTap tap_;

 public:
  // Where this station's events and questions go.
  OperatorInterface& ui;
  PhaseTap& tap = tap_;
  // The record of the device command under way, while one is kept.
  AttemptRecord* attempt = nullptr;
  // How the station's last device command ended, as its record tells it.
  std::optional<records::RecordResult> lastResult;
  // And what went wrong in it, when something did.
  std::string lastFailure;

 private:
  // Storage of a bench station's port; the front end's station uses the settings'.
  std::string ownPortName_;
  uint16_t ownBaudRate_ = 0;

 public:
  // The port every operation of this station opens, and the rate tried first.
  std::string& portName;
  uint16_t& baudRate;

  TComPortGPS ComPortQuarn;
  // The accessory link on that port, kept for the station's lifetime.
  TuRxTxArvex arvexLink{ComPortQuarn, ui};

  // The file a bench station writes, taken when it starts so that a file
  // chosen meanwhile on the main page never reaches it half-way; empty: the
  // settings' file, as the main page's station always writes.
  std::string ownFirmwareFile;
  const std::string& FirmwareFile() const;
  // Makes file the one this station writes: a bench station keeps it to
  // itself; the front end's station takes it into the settings and the status
  // bar, as choosing the file does.
  void UseFirmwareFile(const std::string& file);
  // Whether the station works on a port of its own rather than the settings'.
  bool OnItsOwnPort() const { return &portName == &ownPortName_; }
  // The port a command that follows the port list opens: the list's choice
  // for the front end's station, a bench station's own port.
  std::string ChosenPort() const;

  // The memory image this station writes or compares, and its file's header.
  std::unique_ptr<FirmwareImage> image = std::make_unique<FirmwareImage>();
  FirmwareHeader flowHeader;
  // The engine's switches, from the process's at creation; the flow sets "Hi"
  // for each device.
  ProgrammingOptions options;

  // bootLoaderVersion and hardwareVersion of the last boot-version read.
  DeviceIdentity identity;
  // The rate at which the boot loader last answered; empty until it did.
  std::optional<uint16_t> foundBaudRate;
  // Told each time the identity group shows a device.
  std::function<void(const DeviceIdentity&)> onIdentityShown;

  // Operator's cancel request; set from any thread while a command runs.
  std::atomic<bool> cancelFlag{false};
  // The operator asked to end the whole command (a console's Ctrl+C). Unlike
  // cancelFlag, which the flow clears before each stage and only the engine
  // heeds, it holds until the program ends: no erase may start after it.
  std::atomic<bool> stopRequested{false};
  // Hundredths of a second, advanced by the station's clock.
  std::atomic<uint32_t> elapsedCounter{0};
  // The production loop's own cancel; read once per turn.
  std::atomic<bool> loopCancel{false};
  // The production loop's turns so far ("Cnt="), for a display on another thread.
  std::atomic<int> loopTurns{0};

  // The port and the event sink, as the boot commands take them.
  BootLink link() { return {ComPortQuarn, ui}; }
};

}  // namespace bq
