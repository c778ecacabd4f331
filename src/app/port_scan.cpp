#include "app/port_scan.h"

#include <algorithm>
#include <chrono>
#include <exception>
#include <functional>
#include <thread>

#include "app/accessory_probes.h"
#include "app/context.h"
#include "app/device_command_scope.h"
#include "app/device_commands.h"
#include "app/startup.h"
#include "app/station.h"
#include "discovery/link_frame.h"
#include "serial/boot_port.h"
#include "serial/port_list.h"
#include "shell/translation.h"

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
// A port that would not open is noted once and left out of the later stages.
bool WalkPorts(Station& st, const Stage& stage, ScanOutcome& outcome) {
  for (int i = 0; i < st.ctx.portList->Count(); ++i) {
    const std::string port = st.ctx.portList->Item(i);
    if (std::any_of(outcome.skipped.begin(), outcome.skipped.end(),
                    [&](const SkippedPort& s) { return s.port == port; })) {
      continue;
    }
    st.ctx.portList->Select(i);
    st.portName = port;
    st.ui.Show(shown::ScanProgress{stage.progress + st.portName});
    st.ui.ProcessMessages();
    if (st.stopRequested) return false;  // a console's Ctrl+C: no further port
    if (auto rate = stage.probe(st.portName)) {
      outcome.result = stage.found;
      outcome.baudRate = rate;
      return true;
    }
    const TComPortGPS& opened = st.ComPortQuarn;
    if (opened.LastErrorCode() != 0 || !opened.LastError().empty()) {
      outcome.skipped.push_back({port, opened.LastError()});
    }
  }
  return false;
}

// A probe that leaves the port open; the walk closes it after each port.
PortProbe ClosingAfter(Station& st, std::function<bool()> probe) {
  return [&st, probe](const std::string&) -> std::optional<uint16_t> {
    const bool answered = probe();
    CloseBootPort(st.ComPortQuarn);
    if (answered) return st.baudRate;
    return std::nullopt;
  };
}

ScanOutcome RunStages(Station& st, const std::vector<Stage>& stages) {
  PortGuard port(st);
  ScanOutcome outcome;
  outcome.portsListed = st.ctx.portList->Count();
  for (const Stage& stage : stages) {
    if (WalkPorts(st, stage, outcome) || st.stopRequested) break;
  }
  SaveSettingsFromWindow(st.ctx);
  outcome.port = st.ctx.portList->SelectedText();
  return outcome;
}

void TellOperator(Station& st, const ScanOutcome& outcome) {
  if (st.stopRequested && outcome.result == ScanResult::None) {
    st.ui.ShowMessage(" Cancelado");  // stopped: nothing to blame on the cable
    return;
  }
  const char* found = nullptr;
  switch (outcome.result) {
    case ScanResult::None: {
      // Ports that would not open are no cable fault: each is named after the text.
      std::string text = kNotFoundText;
      for (size_t i = 0; i < outcome.skipped.size(); ++i) {
        text += (i == 0 ? "\r\n\r\n :: " : "\r\n :: ") + SkippedPortText(outcome.skipped[i]);
      }
      st.ui.ShowErrorBox(text);
      return;
    }
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
  st.ui.ShowMessage(found + outcome.port);
}

std::optional<uint16_t> ProbeZircons(Station& st, const std::string& port, ScanResult& kind) {
  if (ProbeZirconBox(st, port)) {
    kind = ScanResult::ZirconBoxAmarelo;
    return static_cast<uint16_t>(kLinkBaudFast);
  }
  std::this_thread::sleep_for(kZirconSensorPause);
  if (ProbeZirconSensor(st, port)) {
    kind = ScanResult::SensorZircon;
    return static_cast<uint16_t>(kLinkBaudSlow);
  }
  return std::nullopt;
}

// lbAviso shown and botProcuraPorta hidden for the scan's length; errors end it quietly.
void RunScanCommand(Station& st, ScanOutcome (*scan)(Station&)) {
  st.ui.SetScanRunning(true);
  try {
    scan(st);
  } catch (const std::exception&) {
    // The scan simply ends; the operator may start it again.
  }
  st.ui.SetScanRunning(false);
}

}  // namespace

std::string SkippedPortText(const SkippedPort& skipped) {
  std::string text = _("could not open %1: %2");
  const size_t port = text.find("%1");
  if (port != std::string::npos) text.replace(port, 2, skipped.port);
  const size_t reason = text.find("%2", port == std::string::npos ? 0 : port + skipped.port.size());
  if (reason != std::string::npos) text.replace(reason, 2, skipped.reason);
  return text;
}

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

ScanOutcome ScanPorts(Station& st) {
  RefreshPortList(*st.ctx.portLister, *st.ctx.portList);
  st.ui.Show(shown::ScanProgress{"Qtde Portas = " + std::to_string(st.ctx.portList->Count())});
  const std::vector<Stage> stages = {
      {"Quarn Porta=", ScanResult::QuarnBootLoader,
       ClosingAfter(st, [&st] { return DetectBootBaudRate(st); })},
      {"Delmo Porta=", ScanResult::Delmo,
       ClosingAfter(st, [&st] { return ProbeVersionReply(st); })},
      {"Arvex Porta=", ScanResult::Arvex,
       ClosingAfter(st,
                    [&st] { return ProbeBridge(st, false, static_cast<uint16_t>(kBridgeBaud)); })},
  };
  ScanOutcome outcome = RunStages(st, stages);
  TellOperator(st, outcome);
  return outcome;
}

ScanOutcome ScanZirconPorts(Station& st) {
  RefreshPortList(*st.ctx.portLister, *st.ctx.portList);
  ScanResult kind = ScanResult::None;
  const std::vector<Stage> stages = {
      {"Sensor Zircon Porta=", ScanResult::None,
       [&st, &kind](const std::string& port) { return ProbeZircons(st, port, kind); }},
  };
  ScanOutcome outcome = RunStages(st, stages);
  if (outcome.baudRate) outcome.result = kind;
  TellOperator(st, outcome);
  return outcome;
}

void botProcuraPortaClick(Station& st) {
  RunScanCommand(st, ScanPorts);
}

void btnProcuraPortaSensorZirconClick(Station& st) {
  RunScanCommand(st, ScanZirconPorts);
}

}  // namespace bq
