#pragma once
// The process-wide state of one running BootQuarn, created by the front end.
// The operator commands take it; the layers below take only what they need.

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "boot/boot_link.h"
#include "boot/device_identity.h"
#include "discovery/accessory_link.h"
#include "image/firmware_image.h"
#include "programming/programming_options.h"
#include "serial/com_port.h"
#include "serial/port_list.h"
#include "shell/app_paths.h"
#include "shell/operator_interface.h"
#include "shell/settings.h"

namespace bq {

struct Context {
  Context(OperatorInterface& ui, AppPaths paths,
          std::unique_ptr<SerialBackend> backend = MakeDefaultSerialBackend(),
          std::unique_ptr<PortLister> lister = MakeSystemPortLister())
      : ui(ui),
        paths(std::move(paths)),
        ComPortQuarn(std::move(backend)),
        portLister(std::move(lister)) {}

  OperatorInterface& ui;
  AppPaths paths;

  // The one serial port; every device operation opens and closes it.
  TComPortGPS ComPortQuarn;
  // The accessory link on that port, kept for the program's lifetime.
  TuRxTxArvex arvexLink{ComPortQuarn, ui};
  std::unique_ptr<PortLister> portLister;
  // cbPortaSerial; the window swaps in its own control.
  VectorPortList defaultPortList;
  PortListControl* portList = &defaultPortList;

  TPar settings;

  // The memory image, refilled by every load, and the headers kept by the program.
  std::unique_ptr<FirmwareImage> image = std::make_unique<FirmwareImage>();
  FirmwareHeader flowHeader;  // filled by the connect-and-write flow
  FirmwareHeader kfxHeader;   // the KFX-generation view

  // bootLoaderVersion and hardwareVersion of the last boot-version read.
  DeviceIdentity identity;
  // The rate at which the boot loader last answered; empty until it did.
  std::optional<uint16_t> foundBaudRate;
  // Told each time the identity group shows a device, for front ends that
  // report it elsewhere too.
  std::function<void(const DeviceIdentity&)> onIdentityShown;

  // Engineering switches and main-window check boxes, at their start-up values.
  ProgrammingOptions options;
  bool gravaAuto = true;               // chkGravaAuto "Grava Automatico"
  bool prodComSom = true;              // chkProdComSom "Com Som"
  bool gravarSensorZirconAuto = true;  // chkGravarSensorZirconAuto "Gravar automaticamente"

  // Operator's cancel request; set from the window thread while a command runs.
  std::atomic<bool> cancelFlag{false};
  // The operator asked to end the whole command (a console's Ctrl+C). Unlike
  // cancelFlag, which the flow clears before each stage and only the engine
  // heeds, it holds until the program ends: no erase may start after it.
  std::atomic<bool> stopRequested{false};
  // Hundredths of a second, advanced by CronometroTimer.
  std::atomic<uint32_t> elapsedCounter{0};
  int32_t upgradeCounter = 0;
  // The production loop's own cancel ("Cancel [ESC]" of its panel); set from
  // any thread while the loop runs on a worker, read once per turn.
  std::atomic<bool> loopCancel{false};

  std::vector<std::string> productNameList;

  // The port and the operator interface, as the boot commands take them.
  BootLink link() { return {ComPortQuarn, ui}; }
};

}  // namespace bq
