#pragma once
// What the system knows about one serial port, and how it is worked out from
// the properties udev keeps for a tty device.

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace bq {

struct PortInfo {
  std::string path;    // /dev/ttyUSB0
  std::string byId;    // /dev/serial/by-id/usb-..., empty when the system made none
  std::string driver;  // ftdi_sio, cdc_acm, serial, ...; empty when unknown
  // For USB adapters only; empty when unknown or not USB.
  std::string vendorId;      // four hex digits, e.g. 0403
  std::string productId;     // four hex digits, e.g. 6001
  std::string manufacturer;  // as the adapter names its maker
  std::string product;       // as the adapter names itself
  std::string serial;        // the adapter's own serial number

  bool IsUsb() const { return !vendorId.empty(); }
  // One line for people, e.g. "FTDI FT232R USB UART [0403:6001] serial A50285BI"
  // or "serial port (serial)"; never empty.
  std::string Description() const;

  bool operator==(const PortInfo&) const = default;
};

// One tty device as udev sees it: its properties (DEVNAME, DEVPATH, DEVLINKS,
// ID_USB_*, ...) and the two facts udev keeps outside them.
struct UdevTtyDevice {
  std::map<std::string, std::string> properties;
  // The driver of the nearest parent device that has one; empty for none.
  std::string parentDriver;
  // The serial core's "type" attribute of the tty (0: no UART behind the port);
  // empty when the tty has no such attribute.
  std::string uartType;
};

// The port a tty device stands for, or nothing when it is not a serial port a
// device can be connected to: virtual terminals and pseudo-terminals, and the
// ttyS entries the kernel registers for UARTs that are not fitted.
std::optional<PortInfo> PortFromUdev(const UdevTtyDevice& device);

// Every tty device udev knows of. Throws std::runtime_error when udev cannot
// be reached.
std::vector<UdevTtyDevice> ReadUdevTtyDevices();

// Undoes udev's \xNN escaping of the *_ENC properties ("FT232R\x20USB" -> "FT232R USB").
std::string DecodeUdevString(const std::string& encoded);

}  // namespace bq
