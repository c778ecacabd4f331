#include "serial/windows/com_port_names.h"

#include <cctype>

namespace bq::win32 {

namespace {

// The text after key (as "VID_") up to the next '&' or '\', or empty.
std::string Field(const std::string& id, const std::string& key) {
  std::string upper = id;
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  const size_t at = upper.find(key);
  if (at == std::string::npos) return {};
  const size_t start = at + key.size();
  const size_t end = id.find_first_of("&+\\", start);
  return id.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

// The friendly name without the port that Windows adds to it:
// "USB Serial Port (COM5)" -> "USB Serial Port".
std::string WithoutPortName(const std::string& friendlyName, const std::string& portName) {
  const std::string suffix = " (" + portName + ")";
  if (friendlyName.size() > suffix.size() &&
      friendlyName.compare(friendlyName.size() - suffix.size(), suffix.size(), suffix) == 0) {
    return friendlyName.substr(0, friendlyName.size() - suffix.size());
  }
  return friendlyName;
}

}  // namespace

UdevTtyDevice ComPortDevice(const std::string& driverDevice, const std::string& portName,
                            const std::string& instanceId, const std::string& friendlyName,
                            const std::string& manufacturer, const std::string& service) {
  UdevTtyDevice device;
  auto& p = device.properties;
  p["DEVNAME"] = portName;
  p["SUBSYSTEM"] = "tty";
  // Every registered port has a driver behind it.
  std::string path = driverDevice;
  for (char& c : path) c = c == '\\' ? '/' : c;
  p["DEVPATH"] = "/devices" + (path.empty() || path.front() != '/' ? "/" + path : path);
  device.parentDriver = service;
  const bool usb = instanceId.size() > 4 &&
                   (instanceId.rfind("USB\\", 0) == 0 || instanceId.rfind("FTDIBUS\\", 0) == 0);
  const std::string vendor = Field(instanceId, "VID_");
  if (usb && !vendor.empty()) {
    p["ID_BUS"] = "usb";
    p["ID_USB_VENDOR_ID"] = vendor.substr(0, 4);
    p["ID_USB_MODEL_ID"] = Field(instanceId, "PID_").substr(0, 4);
    p["ID_USB_DRIVER"] = service;
    if (!manufacturer.empty()) p["ID_USB_VENDOR"] = manufacturer;
    const std::string name = WithoutPortName(friendlyName, portName);
    if (!name.empty()) p["ID_USB_MODEL"] = name;
    // The adapter's serial number: the last part of a USB instance id
    // (Windows makes up one with '&' in it for an adapter without one), or
    // the part after the product on FTDI's own bus (VID_0403+PID_6001+A50285BIA\0000).
    std::string serial;
    if (instanceId.rfind("FTDIBUS\\", 0) == 0) {
      const size_t plus = instanceId.find('+', instanceId.find("PID_"));
      const size_t slash = instanceId.rfind('\\');
      if (plus != std::string::npos && slash != std::string::npos && slash > plus) {
        serial = instanceId.substr(plus + 1, slash - plus - 1);
      }
    } else if (const size_t slash = instanceId.rfind('\\'); slash != std::string::npos) {
      serial = instanceId.substr(slash + 1);
    }
    if (!serial.empty() && serial.find('&') == std::string::npos) {
      p["ID_USB_SERIAL_SHORT"] = serial;
    }
  }
  return device;
}

}  // namespace bq::win32
