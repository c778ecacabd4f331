#include "app/accessory_probes.h"

#include "app/context.h"
#include "app/device_command_scope.h"
#include "discovery/link_frame.h"
#include "discovery/port_probes.h"
#include "serial/boot_port.h"

namespace bq {

void RecordFoundRate(Context& ctx, uint16_t baud) {
  ctx.settings.baudRate = baud;
  ctx.ui.SetField(Field::edBaudRateAchado, std::to_string(baud));
}

bool ProbeVersionReply(Context& ctx) {
  if (!bq::ProbeVersionReply(ctx.link(), ctx.settings.portName)) return false;
  RecordFoundRate(ctx, static_cast<uint16_t>(kQxBaud));
  return true;
}

bool ProbeBridge(Context& ctx, bool keepState, uint16_t baud) {
  if (!bq::ProbeBridge(ctx.link(), ctx.settings.portName, keepState, baud)) return false;
  RecordFoundRate(ctx, baud);
  return true;
}

std::string AccessoryProductName(const Context& ctx, uint8_t productCode) {
  return productCode < ctx.productNameList.size() ? ctx.productNameList[productCode]
                                                  : std::string();
}

std::string AccessoryIdentityText(const Context& ctx, const AccessoryIdentity& id) {
  return "NS Fab=" + std::to_string(id.serialNumber) + "\r\n Versao=" + std::to_string(id.version) +
         "." + std::to_string(id.revision) + "\r\n CodProd=" + std::to_string(id.productCode) +
         "\r\n Prod=" + AccessoryProductName(ctx, id.productCode);
}

std::optional<AccessoryIdentity> ReadAccessoryIdentity(Context& ctx, const std::string& portName,
                                                       bool prefixKE, uint16_t baud) {
  const uint16_t saved = ctx.settings.baudRate;
  ctx.settings.baudRate = baud;
  if (!OpenBootPort(ctx.ComPortQuarn, ctx.ui, baud, portName)) {
    ctx.settings.baudRate = saved;
    return std::nullopt;
  }
  // Declared in this order so that the port closes first, then the rate comes
  // back, then the buttons.
  CommandLockGuard lock(ctx, 0);
  BaudRateRestore restore(ctx, saved);
  PortGuard port(ctx);
  ctx.ui.ClearMemo(Memo::MemoRxDado);
  ctx.ui.ProcessMessages();
  auto identity = ctx.arvexLink.ReadIdentity(prefixKE);
  ctx.ui.AddMemoLine(Memo::MemoRxDado,
                     identity ? AccessoryIdentityText(ctx, *identity) : "Falha Data e Hora");
  return identity;
}

bool ProbeZirconBox(Context& ctx, const std::string& portName) {
  if (!ReadAccessoryIdentity(ctx, portName, true, static_cast<uint16_t>(kLinkBaudFast))) {
    return false;
  }
  RecordFoundRate(ctx, static_cast<uint16_t>(kLinkBaudFast));
  return true;
}

bool ProbeZirconSensor(Context& ctx, const std::string& portName) {
  if (!ReadAccessoryIdentity(ctx, portName, false, static_cast<uint16_t>(kLinkBaudSlow))) {
    return false;
  }
  RecordFoundRate(ctx, static_cast<uint16_t>(kLinkBaudSlow));
  return true;
}

}  // namespace bq
