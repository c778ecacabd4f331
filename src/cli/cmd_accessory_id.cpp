// bootquarn-cli accessory-id [--port P] [--prefix KE|NK] [--baud 9600|4545]
// [--json]: reads a Zircon accessory's identity over the accessory link.
#include <memory>
#include <nlohmann/json.hpp>
#include <ostream>

#include "app/accessory_probes.h"
#include "cli/boot_cli.h"
#include "cli/cli_commands.h"
#include "cli/i18n.h"

namespace bq::cli {
namespace {

struct AccessoryIdOptions {
  SessionOptions session;
  std::string prefix = "NK";
  uint16_t baud = 4545;
};

nlohmann::json IdentityJson(const Station& st, const AccessoryIdentity& id) {
  return {{"ok", true},
          {"port", st.portName},
          {"serialNumber", id.serialNumber},
          {"productCode", id.productCode},
          {"productName", AccessoryProductName(st, id.productCode)},
          {"version", id.version},
          {"revision", id.revision}};
}

int ReadIdentity(CliSession& session, const AccessoryIdOptions& options) {
  Station& st = session.station();
  std::optional<AccessoryIdentity> identity;
  const DeviceCommandRun run = RunDeviceCommand(
      session,
      [&] {
        identity = ReadAccessoryIdentity(st, st.portName, options.prefix == "KE", options.baud);
        return identity.has_value();
      },
      [&] {
        const std::string text = Fill(_("no accessory answered on %1"), {st.portName});
        session.ui().ShowErrorBox(text);
        return text;
      });
  if (run.ok) {
    session.Human() << AccessoryIdentityText(st, *identity) << '\n';
    if (session.json()) session.EmitJson(IdentityJson(st, *identity));
  } else if (session.json()) {
    session.EmitJson({{"ok", false}, {"port", st.portName}, {"error", run.error}});
  }
  return run.status;
}

}  // namespace

void AddAccessoryIdCommand(CLI::App& app, int* exitCode) {
  auto options = std::make_shared<AccessoryIdOptions>();
  auto* cmd = app.add_subcommand("accessory-id", _("Read a Zircon accessory's identity"));
  AddSessionOptions(cmd, options->session, true);
  cmd->add_option("--prefix", options->prefix,
                  _("Link frame prefix: KE (ZirconBox) or NK (Sensor)"))
      ->check(CLI::IsMember({"KE", "NK"}));
  cmd->add_option("--baud", options->baud, _("Line rate: 9600 or 4545"))
      ->check(CLI::IsMember({9600, 4545}));
  cmd->callback([exitCode, options] {
    CliSession session(options->session);
    *exitCode = ReadIdentity(session, *options);
  });
}

}  // namespace bq::cli
