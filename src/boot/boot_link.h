#pragma once
// What a boot command needs: the open port, and the operator interface for the
// messages a wrong reply shows.

#include "serial/com_port.h"
#include "shell/operator_interface.h"

namespace bq {

struct BootLink {
  TComPortGPS& port;
  OperatorInterface& ui;
};

}  // namespace bq
