#pragma once
// What one running BootQuarn shares between its stations, created by the
// front end: the settings and paths, the image loaded by "&Procurar", the
// product list and the counters. Each device's own work is a Station.

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "image/firmware_image.h"
#include "programming/programming_options.h"
#include "records/record_store.h"
#include "serial/port_list.h"
#include "shell/app_paths.h"
#include "shell/operator_interface.h"
#include "shell/settings.h"

namespace bq {

struct Context {
  Context(OperatorInterface& ui, AppPaths paths,
          std::unique_ptr<PortLister> lister = MakeSystemPortLister())
      : ui(ui), paths(std::move(paths)), portLister(std::move(lister)) {}

  // Where process-wide reports go (start-up, the settings, the file commands).
  OperatorInterface& ui;
  AppPaths paths;

  std::unique_ptr<PortLister> portLister;
  // cbPortaSerial; the window swaps in its own control.
  VectorPortList defaultPortList;
  PortListControl* portList = &defaultPortList;

  TPar settings;

  // The memory image "&Procurar" and the KFX tools fill, and the KFX view's header.
  std::unique_ptr<FirmwareImage> image = std::make_unique<FirmwareImage>();
  FirmwareHeader kfxHeader;

  // Engineering switches and main-window check boxes, at their start-up values.
  // Each station takes its own copy of the switches when it is made.
  ProgrammingOptions options;
  bool gravaAuto = true;               // chkGravaAuto "Grava Automatico"
  bool prodComSom = true;              // chkProdComSom "Com Som"
  bool gravarSensorZirconAuto = true;  // chkGravarSensorZirconAuto "Gravar automaticamente"

  // "Contador Upgrade": devices written since start-up, by every station.
  // Stations change and show it under the mutex, so that the counts shown
  // arrive in the order they were counted.
  std::atomic<int32_t> upgradeCounter{0};
  std::mutex upgradeCounterMutex;
  // A console's Ctrl+C during "Gera Varios KFX": the batch ends before its
  // next file, and the block under way is dropped.
  std::atomic<bool> batchStop{false};

  std::vector<std::string> productNameList;

  // The production records' store, opened by the first command that keeps a
  // record (none without a data folder); the mutex guards it and the lister.
  std::unique_ptr<records::RecordStore> recordStore;
  std::mutex recordsMutex;
};

}  // namespace bq
