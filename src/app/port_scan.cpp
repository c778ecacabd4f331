#include "app/port_scan.h"

#include <chrono>
#include <exception>
#include <functional>
#include <thread>

#include "app/accessory_probes.h"
#include "app/context.h"
#include "app/device_command_scope.h"
#include "app/device_commands.h"
#include "app/startup.h"
#include "discovery/link_frame.h"
#include "serial/boot_port.h"
#include "serial/port_list.h"

namespace bq {

namespace {

// The pause before a Zircon port is asked at the Sensor Zircon's rate.
constexpr std::chrono::milliseconds kZirconSensorPause{2000};

const char* const kNotFoundText =
    "Não encontrou Quarn conectado!\r\n\r\n :: Verifique se cabo serial conectado\r\n :: "
    "Verifique funçao Boot Loader está ativada no Quarn";

// One probe of one port; the rate it answered at, if it did.
using PortProbe = std::function<std::optional<uint16_t>(const std::string& port)>;

struct Stage {
  const char* progress;  // lbAviso, before the port name
  ScanResult found;
  PortProbe probe;
};

// Selects each entry in turn (without opening it, as the operator's choice
// would), names it in the settings and on lbAviso, and probes it.
bool WalkPorts(Context& ctx, const Stage& stage, ScanOutcome& outcome) {
  for (int i = 0; i < ctx.portList->Count(); ++i) {
    ctx.portList->Select(i);
    ctx.settings.portName = ctx.portList->Item(i);
    ctx.ui.SetField(Field::lbAviso, stage.progress + ctx.settings.portName);
    ctx.ui.ProcessMessages();
    if (auto rate = stage.probe(ctx.settings.portName)) {
      outcome.result = stage.found;
      outcome.baudRate = rate;
      return true;
    }
  }
  return false;
}

// A probe that leaves the port open; the walk closes it after each port.
PortProbe ClosingAfter(Context& ctx, std::function<bool()> probe) {
  return [&ctx, probe](const std::string&) -> std::optional<uint16_t> {
    const bool answered = probe();
    CloseBootPort(ctx.ComPortQuarn);
    if (answered) return ctx.settings.baudRate;
    return std::nullopt;
  };
}

ScanOutcome RunStages(Context& ctx, const std::vector<Stage>& stages) {
  PortGuard port(ctx);
  ScanOutcome outcome;
  outcome.portsListed = ctx.portList->Count();
  for (const Stage& stage : stages) {
    if (WalkPorts(ctx, stage, outcome)) break;
  }
  SaveSettingsFromWindow(ctx);
  outcome.port = ctx.portList->SelectedText();
  return outcome;
}

void TellOperator(Context& ctx, const ScanOutcome& outcome) {
  const char* found = nullptr;
  switch (outcome.result) {
    case ScanResult::None:
      ctx.ui.ShowErrorBox(kNotFoundText);
      return;
    case ScanResult::QuarnBootLoader:
      found = "Encontrou Quarn na porta ";
      break;
    case ScanResult::Arvex:
      found = "Encontrou Arvex na porta ";
      break;
    case ScanResult::Delmo:
      found = "Encontrou Delmo na porta ";
      break;
    case ScanResult::ZirconBoxAmarelo:
      found = "Encontrou ZirconBox Amarelo na porta ";
      break;
    case ScanResult::SensorZircon:
      found = "Encontrou Sensor Zircon na porta ";
      break;
  }
  ctx.ui.ShowMessage(found + outcome.port);
}

std::optional<uint16_t> ProbeZircons(Context& ctx, const std::string& port, ScanResult& kind) {
  if (ProbeZirconBox(ctx, port)) {
    kind = ScanResult::ZirconBoxAmarelo;
    return static_cast<uint16_t>(kLinkBaudFast);
  }
  std::this_thread::sleep_for(kZirconSensorPause);
  if (ProbeZirconSensor(ctx, port)) {
    kind = ScanResult::SensorZircon;
    return static_cast<uint16_t>(kLinkBaudSlow);
  }
  return std::nullopt;
}

// lbAviso shown and botProcuraPorta hidden for the scan's length; errors end it quietly.
void RunScanCommand(Context& ctx, ScanOutcome (*scan)(Context&)) {
  ctx.ui.SetScanRunning(true);
  try {
    scan(ctx);
  } catch (const std::exception&) {
    // The scan simply ends; the operator may start it again.
  }
  ctx.ui.SetScanRunning(false);
}

}  // namespace

const char* ScanResultName(ScanResult result) {
  switch (result) {
    case ScanResult::None:
      return "None";
    case ScanResult::QuarnBootLoader:
      return "QuarnBootLoader";
    case ScanResult::Arvex:
      return "Arvex";
    case ScanResult::Delmo:
      return "Delmo";
    case ScanResult::ZirconBoxAmarelo:
      return "ZirconBoxAmarelo";
    case ScanResult::SensorZircon:
      return "SensorZircon";
  }
  return "None";
}

ScanOutcome ScanPorts(Context& ctx) {
  RefreshPortList(*ctx.portLister, *ctx.portList);
  ctx.ui.SetField(Field::lbAviso, "Qtde Portas = " + std::to_string(ctx.portList->Count()));
  const std::vector<Stage> stages = {
      {"Quarn Porta=", ScanResult::QuarnBootLoader,
       ClosingAfter(ctx, [&ctx] { return DetectBootBaudRate(ctx); })},
      {"Delmo Porta=", ScanResult::Delmo,
       ClosingAfter(ctx, [&ctx] { return ProbeVersionReply(ctx); })},
      {"Arvex Porta=", ScanResult::Arvex,
       ClosingAfter(
           ctx, [&ctx] { return ProbeBridge(ctx, false, static_cast<uint16_t>(kBridgeBaud)); })},
  };
  ScanOutcome outcome = RunStages(ctx, stages);
  TellOperator(ctx, outcome);
  return outcome;
}

ScanOutcome ScanZirconPorts(Context& ctx) {
  RefreshPortList(*ctx.portLister, *ctx.portList);
  ScanResult kind = ScanResult::None;
  const std::vector<Stage> stages = {
      {"Sensor Zircon Porta=", ScanResult::None,
       [&ctx, &kind](const std::string& port) { return ProbeZircons(ctx, port, kind); }},
  };
  ScanOutcome outcome = RunStages(ctx, stages);
  if (outcome.baudRate) outcome.result = kind;
  TellOperator(ctx, outcome);
  return outcome;
}

void botProcuraPortaClick(Context& ctx) {
  RunScanCommand(ctx, ScanPorts);
}

void btnProcuraPortaSensorZirconClick(Context& ctx) {
  RunScanCommand(ctx, ScanZirconPorts);
}

}  // namespace bq
