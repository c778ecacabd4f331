#include "app/port_hint.h"

#include "serial/port_error.h"
#include "shell/translation.h"

namespace bq {

std::string PortFailureHint(const TComPortGPS& port, const std::string& portName) {
  const int code = port.LastErrorCode();
  const std::string& reason = port.LastError();
  if (code == 0 && reason.empty()) return {};
  const std::string head = "cannot open " + portName + ": " + reason + ". ";
  switch (ClassifyOpenError(code, portName)) {
    case PortOpenProblem::NoPermission:
      return head + _("Serial ports belong to the 'dialout' group: add your user to it "
                      "(sudo usermod -aG dialout $USER) and log in again.");
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
