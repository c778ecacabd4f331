#pragma once
// How a Windows COM port is described in the terms of udev's properties, apart
// from the registry and SetupAPI calls that find the facts.
#include <string>

#include "serial/port_info.h"

namespace bq::win32 {

// One port: the driver's device name from SERIALCOMM (\Device\Serial0), the
// port name (COM5), and what SetupAPI knows of it (all may be empty): the
// instance id (USB\VID_0403&PID_6001\A50285BI), the friendly name, the maker
// and the driver's service.
UdevTtyDevice ComPortDevice(const std::string& driverDevice, const std::string& portName,
                            const std::string& instanceId, const std::string& friendlyName,
                            const std::string& manufacturer, const std::string& service);

}  // namespace bq::win32
