#include "app/port_hint.h"

#include "serial/port_error.h"
#include "shell/translation.h"

namespace bq {
namespace {

std::string WithGroup(const char* text, const std::string& group) {
  std::string out = text;
  for (size_t at = out.find("%1"); at != std::string::npos;
       at = out.find("%1", at + group.size())) {
    out.replace(at, 2, group);
  }
  return out;
}

}  // namespace

std::string PermissionAdvice(const std::optional<DeviceGroup>& group) {
  if (!group) return _("This user may not open the port: ask the administrator for access to it.");
  if (group->name == "dialout" && group->mayReadWrite) {
    return _(
        "Serial ports belong to the 'dialout' group: add your user to it "
        "(sudo usermod -aG dialout $USER) and log in again.");
  }
  if (group->mayReadWrite && group->name != "root") {
    return WithGroup(_("The port belongs to the '%1' group: add your user to it "
                       "(sudo usermod -aG %1 $USER) and log in again."),
                     group->name);
  }
  return WithGroup(_("Only root may use this port (group '%1'): ask the administrator for a udev "
                     "rule that gives it to a group of yours (GROUP=..., MODE=\"0660\")."),
                   group->name);
}

std::string PortFailureHint(const TComPortGPS& port, const std::string& portName) {
  const int code = port.LastErrorCode();
  const std::string& reason = port.LastError();
  if (code == 0 && reason.empty()) return {};
  const std::string head = "cannot open " + portName + ": " + reason + ". ";
  switch (ClassifyOpenError(code, portName)) {
    case PortOpenProblem::NoPermission:
      return head + PermissionAdvice(DeviceGroupOf(portName));
    case PortOpenProblem::Busy:
      return head +
             _("Another program (or another BootQuarn) holds the port; close it and try again.");
    case PortOpenProblem::Missing:
      return head + _("The port does not exist (is the cable plugged in?); list the ports with "
                      "'bootquarn-cli ports'.");
    case PortOpenProblem::NotSerialPort:
      return head + _("This is not a serial port; list the ports with 'bootquarn-cli ports'.");
    default:
      return head + _("Check the port name and the cable.");
  }
}

}  // namespace bq
