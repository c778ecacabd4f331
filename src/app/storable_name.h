#pragma once
// Names the settings keep (files, ports) must fit on one line of the settings
// file; one holding a line break would set other keys on the next start.

#include <string>

#include "shell/ini_file.h"
#include "shell/operator_interface.h"

namespace bq {

// False, after telling the operator, when `name` cannot be kept. `what` says
// which kind of name it is ("file", "port").
inline bool StorableName(OperatorInterface& ui, const std::string& what, const std::string& name) {
  if (FitsOnOneIniLine(name)) return true;
  ui.ShowErrorBox("This " + what +
                  " name holds a line break (CR or LF); it is not used and not stored in "
                  "the settings.");
  return false;
}

}  // namespace bq
