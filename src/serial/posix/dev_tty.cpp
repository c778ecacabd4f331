// The tty devices without udev: the serial port names of /dev, with what
// sysfs tells of each (the device path, the driver, the UART type) and the
// /dev/serial/by-id links. Built where libudev is not available.
#include <algorithm>
#include <array>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>

#include "serial/port_info.h"

namespace bq {

namespace {

namespace fs = std::filesystem;

// Names serial ports go by: on-board UARTs, USB adapters, modems, ARM UARTs,
// Bluetooth serial links.
constexpr std::array<const char*, 7> kPortPrefixes = {"ttyS",   "ttyUSB", "ttyACM", "ttyAMA",
                                                      "ttymxc", "ttyO",   "rfcomm"};

bool IsPortName(const std::string& name) {
  return std::any_of(kPortPrefixes.begin(), kPortPrefixes.end(), [&](const char* prefix) {
    const std::string p = prefix;
    return name.size() > p.size() && name.compare(0, p.size(), p) == 0 &&
           std::isdigit(static_cast<unsigned char>(name[p.size()]));
  });
}

std::string FirstLine(const fs::path& file) {
  std::ifstream in(file);
  std::string line;
  std::getline(in, line);
  return line;
}

// The /dev/serial/by-id links that lead to the device, as udev's DEVLINKS
// would list them.
std::string ByIdLinks(const fs::path& device) {
  std::string links;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator("/dev/serial/by-id", ec)) {
    std::error_code same;
    if (!fs::equivalent(entry.path(), device, same) || same) continue;
    if (!links.empty()) links += ' ';
    links += entry.path().string();
  }
  return links;
}

// The driver of the nearest parent device that has one, passing over the
// serial core's own port devices (serial8250:0.0 under serial8250:0), as the
// udev lister does.
std::string ParentDriver(const fs::path& sysTty) {
  std::error_code ec;
  for (fs::path device = fs::canonical(sysTty / "device", ec);
       !ec && device.string().rfind("/sys/devices/", 0) == 0; device = device.parent_path()) {
    std::error_code none;
    if (fs::read_symlink(device / "subsystem", none).filename() == "serial-base") continue;
    const fs::path driver = fs::read_symlink(device / "driver", none);
    if (!none) return driver.filename().string();
  }
  return {};
}

}  // namespace

std::vector<UdevTtyDevice> ReadUdevTtyDevices() {
  std::vector<UdevTtyDevice> devices;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator("/dev", ec)) {
    const std::string name = entry.path().filename().string();
    std::error_code kind;
    if (!IsPortName(name) || !fs::is_character_file(entry.path(), kind)) continue;
    UdevTtyDevice tty;
    tty.properties["DEVNAME"] = entry.path().string();
    tty.properties["SUBSYSTEM"] = "tty";
    const fs::path sys = fs::path("/sys/class/tty") / name;
    std::error_code link;
    const fs::path real = fs::canonical(sys, link);
    // Without sysfs the port still counts as one with hardware behind it.
    tty.properties["DEVPATH"] = !link && real.string().rfind("/sys/", 0) == 0
                                    ? real.string().substr(4)
                                    : "/devices/" + name;
    if (const std::string links = ByIdLinks(entry.path()); !links.empty()) {
      tty.properties["DEVLINKS"] = links;
    }
    tty.parentDriver = ParentDriver(sys);
    if (fs::exists(sys / "type", kind)) tty.uartType = FirstLine(sys / "type");
    devices.push_back(std::move(tty));
  }
  return devices;
}

}  // namespace bq
