// The one place that talks to libudev: every device of the tty subsystem with
// its properties, the driver it hangs off and its UART type.
#include <libudev.h>

#include <memory>
#include <stdexcept>

#include "serial/port_info.h"

namespace bq {

namespace {

struct UdevUnref {
  void operator()(udev* u) const { udev_unref(u); }
  void operator()(udev_enumerate* e) const { udev_enumerate_unref(e); }
  void operator()(udev_device* d) const { udev_device_unref(d); }
};

std::string OrEmpty(const char* text) {
  return text ? std::string(text) : std::string();
}

// Drivers of the serial core's own port devices (serial8250:0.0 under
// serial8250:0) say nothing about the hardware; the one above them does.
bool IsSerialCorePort(udev_device* device) {
  return OrEmpty(udev_device_get_subsystem(device)) == "serial-base";
}

std::string ParentDriver(udev_device* tty) {
  // Parents are owned by the child; they are not unreferenced here.
  for (udev_device* parent = udev_device_get_parent(tty); parent;
       parent = udev_device_get_parent(parent)) {
    if (IsSerialCorePort(parent)) continue;
    if (const char* driver = udev_device_get_driver(parent)) return driver;
  }
  return {};
}

}  // namespace

std::vector<UdevTtyDevice> ReadUdevTtyDevices() {
  std::unique_ptr<udev, UdevUnref> context(udev_new());
  if (!context) throw std::runtime_error("cannot reach udev");
  std::unique_ptr<udev_enumerate, UdevUnref> scan(udev_enumerate_new(context.get()));
  if (!scan || udev_enumerate_add_match_subsystem(scan.get(), "tty") < 0 ||
      udev_enumerate_scan_devices(scan.get()) < 0) {
    throw std::runtime_error("cannot list the tty devices through udev");
  }

  std::vector<UdevTtyDevice> devices;
  udev_list_entry* entry;
  udev_list_entry_foreach(entry, udev_enumerate_get_list_entry(scan.get())) {
    std::unique_ptr<udev_device, UdevUnref> device(
        udev_device_new_from_syspath(context.get(), udev_list_entry_get_name(entry)));
    if (!device) continue;  // gone since the scan
    UdevTtyDevice tty;
    udev_list_entry* property;
    udev_list_entry_foreach(property, udev_device_get_properties_list_entry(device.get())) {
      tty.properties[udev_list_entry_get_name(property)] =
          OrEmpty(udev_list_entry_get_value(property));
    }
    tty.parentDriver = ParentDriver(device.get());
    tty.uartType = OrEmpty(udev_device_get_sysattr_value(device.get(), "type"));
    devices.push_back(std::move(tty));
  }
  return devices;
}

}  // namespace bq
