#include "app/accessory_probes.h"

#include "app/context.h"
#include "app/device_command_scope.h"
#include "app/station.h"
#include "discovery/link_frame.h"
#include "discovery/port_probes.h"
#include "serial/boot_port.h"

namespace bq {

void RecordFoundRate(Station& st, uint16_t baud) {
  st.baudRate = baud;
  st.ui.Show(shown::FoundRate{baud});
}

bool ProbeVersionReply(Station& st) {
  if (!bq::ProbeVersionReply(st.link(), st.portName)) return false;
  RecordFoundRate(st, static_cast<uint16_t>(kQxBaud));
  return true;
}

bool ProbeBridge(Station& st, bool keepState, uint16_t baud) {
  if (!bq::ProbeBridge(st.link(), st.portName, keepState, baud)) return false;
  RecordFoundRate(st, baud);
  return true;
}

std::string AccessoryProductName(const Station& st, uint8_t productCode) {
  return productCode < st.ctx.productNameList.size() ? st.ctx.productNameList[productCode]
                                                     : std::string();
}

std::string AccessoryIdentityText(const Station& st, const AccessoryIdentity& id) {
  return "NS Fab=" + std::to_string(id.serialNumber) + "\r\n Versao=" + std::to_string(id.version) +
         "." + std::to_string(id.revision) + "\r\n CodProd=" + std::to_string(id.productCode) +
         "\r\n Prod=" + AccessoryProductName(st, id.productCode);
}

std::optional<AccessoryIdentity> ReadAccessoryIdentity(Station& st, const std::string& portName,
                                                       bool prefixKE, uint16_t baud) {
  const uint16_t saved = st.baudRate;
  st.baudRate = baud;
  if (!OpenBootPort(st.ComPortQuarn, st.ui, baud, portName)) {
    st.baudRate = saved;
    return std::nullopt;
  }
  // Declared in this order so that the port closes first, then the rate comes
  // back, then the buttons.
  CommandLockGuard lock(st, 0);
  BaudRateRestore restore(st, saved);
  PortGuard port(st);
  st.ui.Show(shown::ListCleared{OperatorList::LinkData});
  st.ui.ProcessMessages();
  auto identity = st.arvexLink.ReadIdentity(prefixKE);
  st.ui.Show(shown::ListLine{OperatorList::LinkData, identity ? AccessoryIdentityText(st, *identity)
                                                              : "Falha Data e Hora"});
  return identity;
}

bool ProbeZirconBox(Station& st, const std::string& portName) {
  if (!ReadAccessoryIdentity(st, portName, true, static_cast<uint16_t>(kLinkBaudFast))) {
    return false;
  }
  RecordFoundRate(st, static_cast<uint16_t>(kLinkBaudFast));
  return true;
}

bool ProbeZirconSensor(Station& st, const std::string& portName) {
  if (!ReadAccessoryIdentity(st, portName, false, static_cast<uint16_t>(kLinkBaudSlow))) {
    return false;
  }
  RecordFoundRate(st, static_cast<uint16_t>(kLinkBaudSlow));
  return true;
}

}  // namespace bq
