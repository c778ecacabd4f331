#include "app/accessory_boot.h"

#include <chrono>
#include <thread>

#include "app/accessory_probes.h"
#include "app/context.h"
#include "app/device_command_scope.h"
#include "app/station.h"
#include "discovery/link_frame.h"
#include "serial/boot_port.h"

namespace bq {

namespace {

using std::chrono::milliseconds;

// Between the two Zircon speeds, under the lock.
constexpr milliseconds kZirconRetryPause{2000};
// Between a good boot entry and the automatic write: the loader starts up.
constexpr milliseconds kAutoWriteDelay{1500};

}  // namespace

ArvexBootOutcome ArvexEnterBoot(Station& st) {
  DeviceCommandScope scope(st);
  ArvexBootOutcome outcome;
  outcome.answered = SendArvexToBoot(st.link(), st.portName);
  if (outcome.answered == ArvexAnswer::Bridge) outcome.baudRate = kBridgeBaud;
  if (outcome.answered == ArvexAnswer::VersionQuery) outcome.baudRate = kQxBaud;
  if (outcome.baudRate) RecordFoundRate(st, *outcome.baudRate);
  return outcome;
}

void botArvexBootClick(Station& st) {
  ArvexEnterBoot(st);
}

bool ZirconEnterBootAt(Station& st, uint16_t baud, bool prefixKE) {
  const uint16_t saved = st.baudRate;
  st.baudRate = baud;
  const std::string portName = st.ChosenPort();
  if (!OpenBootPort(st.ComPortQuarn, st.ui, baud, portName)) {
    st.ui.ShowErrorBox("Falha na abertura da porta serial =" + portName);
    st.baudRate = saved;
    return false;
  }
  // The port closes first, then the rate comes back, then the buttons.
  CommandLockGuard lock(st, 0);
  BaudRateRestore restore(st, saved);
  PortGuard port(st);
  st.ui.Show(shown::ListCleared{OperatorList::LinkData});
  st.ui.ProcessMessages();
  const bool entered = st.arvexLink.EnterBoot(prefixKE);
  st.ui.Show(shown::ListLine{OperatorList::LinkData, entered ? "Boot ok" : "Falha Entra boot"});
  return entered;
}

ZirconBootOutcome ZirconEnterBoot(Station& st) {
  ZirconBootOutcome outcome{false, static_cast<uint16_t>(kLinkBaudFast), true};
  outcome.entered = ZirconEnterBootAt(st, outcome.baudRate, outcome.prefixKE);
  if (outcome.entered) return outcome;
  {
    CommandLockGuard lock(st, 0);
    std::this_thread::sleep_for(kZirconRetryPause);
  }
  outcome = {false, static_cast<uint16_t>(kLinkBaudSlow), false};
  outcome.entered = ZirconEnterBootAt(st, outcome.baudRate, outcome.prefixKE);
  return outcome;
}

ZirconBootCommand SensorZirconEnterBoot(Station& st) {
  ZirconBootCommand command;
  command.boot = ZirconEnterBoot(st);
  if (!command.boot.entered) {
    st.ui.ShowErrorBox("Falha Boot");
    return command;
  }
  if (!st.ctx.gravarSensorZirconAuto) {
    st.ui.ShowMessage(
        "Sensor Zircon em Modo Boot.\r\nPara gravar use o botão [ Conectar e Gravar ]");
    return command;
  }
  std::this_thread::sleep_for(kAutoWriteDelay);
  command.write = ConnectAndProgram(st, true);
  return command;
}

void btnSensorZirconEntraEmBootClick(Station& st) {
  SensorZirconEnterBoot(st);
}

}  // namespace bq
