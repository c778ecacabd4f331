// bootquarn-cli identify [--port P] [--json]: "Le &Número de Série", reading the
// identity of the device whose boot loader answers on the port.
#include <memory>
#include <nlohmann/json.hpp>
#include <ostream>

#include "app/device_commands.h"
#include "boot/boot_commands.h"
#include "cli/boot_cli.h"
#include "cli/cli_commands.h"
#include "cli/i18n.h"
#include "image/catalogue.h"

namespace bq::cli {
namespace {

// The name the product list shows for a code: codes past the table read "Indefinido".
std::string ProductName(uint8_t code) {
  return ProductDisplayName(code < kProductCount ? code : kProductUndefined);
}

nlohmann::json IdentityJson(const Station& st, const DeviceIdentity& id) {
  return {{"ok", true},
          {"port", st.portName},
          {"baudRate", st.baudRate},
          {"serialNumber", id.serialNumber},
          {"firmwareVersion", id.firmwareVersion},
          {"firmwareRevision", id.firmwareRevision},
          {"hasApplication", !id.HasNoApplication()},
          {"productCode", id.productCode},
          {"productName", ProductName(id.productCode)},
          {"bootLoaderVersion", id.bootLoaderVersion},
          {"bootLoaderVersionText", FormatBootVersion(id.bootLoaderVersion)},
          {"hardwareVersion", id.hardwareVersion}};
}

void PrintIdentity(std::ostream& out, const Station& st, const DeviceIdentity& id) {
  out << _("Port:                ") << st.portName << '\n'
      << _("Baud rate:           ") << st.baudRate << '\n'
      << _("Serial number:       ") << id.serialNumber << '\n'
      << _("Firmware version:    ") << unsigned{id.firmwareVersion} << '\n'
      << _("Firmware revision:   ") << unsigned{id.firmwareRevision} << '\n';
  // 255.255 is what an erased memory reads: no application was ever written,
  // or a write was cut short.
  if (id.HasNoApplication()) {
    out << _("Application:         none (the device holds no firmware)") << '\n';
  }
  out << _("Product:             ") << unsigned{id.productCode} << " ("
      << ProductName(id.productCode) << ")\n"
      << _("Boot loader version: ") << FormatBootVersion(id.bootLoaderVersion) << '\n'
      << _("Hardware version:    ") << id.hardwareVersion << " ("
      << HardwareName(id.hardwareVersion) << ")\n";
}

int Identify(CliSession& session) {
  Station& st = session.station();
  DeviceIdentity read;
  const DeviceCommandRun run = RunDeviceCommand(
      session, [&] { return ReadAttachedDevice(st, read); },
      [&] {
        return NoBootLoaderAnswer(session, Fill(_("no device identified on %1"), {st.portName}),
                                  !st.foundBaudRate);
      });
  if (run.ok) {
    PrintIdentity(session.Human(), st, read);
    if (session.json()) session.EmitJson(IdentityJson(st, read));
    return run.status;
  }
  if (session.json()) {
    session.EmitJson({{"ok", false}, {"port", st.portName}, {"error", run.error}});
  }
  return run.status;
}

}  // namespace

void AddIdentifyCommand(CLI::App& app, int* exitCode) {
  auto* cmd =
      app.add_subcommand("identify", _("Read the attached device's identity (Le Número de Série)"));
  auto options = std::make_shared<SessionOptions>();
  AddSessionOptions(cmd, *options, true);
  cmd->callback([exitCode, options] {
    CliSession session(*options);
    *exitCode = Identify(session);
  });
}

}  // namespace bq::cli
