// The serial ports of a Windows system: the names from the system's register
// of serial ports (HKLM\HARDWARE\DEVICEMAP\SERIALCOMM), each described through
// SetupAPI where it is a device Windows installed: its friendly name, maker,
// driver, and for USB adapters the vendor, product and serial number. The
// facts are handed on in the terms of udev's properties, so the one port
// builder of the program serves both systems.
// The Win32 headers below need windows.h first.
// clang-format off
#include <windows.h>
// clang-format on

#include <devguid.h>
#include <initguid.h>
#include <setupapi.h>

#include <map>
#include <string>
#include <vector>

#include "serial/port_info.h"
#include "serial/windows/com_port_names.h"
#include "shell/windows/win32_text.h"

namespace bq {

namespace {

using win32::Narrow;

// What SetupAPI tells of one COM port, by its port name.
struct SetupFacts {
  std::string friendlyName;
  std::string manufacturer;
  std::string service;
  std::string instanceId;
};

std::string RegistryString(HKEY key, const wchar_t* name) {
  DWORD type = 0;
  DWORD size = 0;
  if (::RegQueryValueExW(key, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
      (type != REG_SZ && type != REG_EXPAND_SZ)) {
    return {};
  }
  std::wstring value(size / sizeof(wchar_t) + 1, L'\0');
  if (::RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(value.data()), &size) !=
      ERROR_SUCCESS) {
    return {};
  }
  value.resize(wcsnlen(value.c_str(), value.size()));
  return Narrow(value);
}

std::string DeviceProperty(HDEVINFO set, SP_DEVINFO_DATA& device, DWORD property) {
  wchar_t buffer[512] = {};
  DWORD type = 0;
  if (!::SetupDiGetDeviceRegistryPropertyW(set, &device, property, &type,
                                           reinterpret_cast<BYTE*>(buffer), sizeof buffer - 2,
                                           nullptr)) {
    return {};
  }
  return Narrow(buffer, wcsnlen(buffer, 511));
}

std::map<std::string, SetupFacts> PortsFromSetupApi() {
  std::map<std::string, SetupFacts> facts;
  HDEVINFO set = ::SetupDiGetClassDevsW(&GUID_DEVCLASS_PORTS, nullptr, nullptr, DIGCF_PRESENT);
  if (set == INVALID_HANDLE_VALUE) return facts;
  SP_DEVINFO_DATA device{};
  device.cbSize = sizeof device;
  for (DWORD i = 0; ::SetupDiEnumDeviceInfo(set, i, &device); ++i) {
    HKEY key = ::SetupDiOpenDevRegKey(set, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
    if (key == INVALID_HANDLE_VALUE) continue;
    const std::string portName = RegistryString(key, L"PortName");
    ::RegCloseKey(key);
    if (portName.empty()) continue;
    SetupFacts f;
    f.friendlyName = DeviceProperty(set, device, SPDRP_FRIENDLYNAME);
    f.manufacturer = DeviceProperty(set, device, SPDRP_MFG);
    f.service = DeviceProperty(set, device, SPDRP_SERVICE);
    wchar_t id[512] = {};
    if (::SetupDiGetDeviceInstanceIdW(set, &device, id, 511, nullptr)) {
      f.instanceId = Narrow(id, wcsnlen(id, 511));
    }
    facts[portName] = std::move(f);
  }
  ::SetupDiDestroyDeviceInfoList(set);
  return facts;
}

// The SERIALCOMM register: each value is a driver's device (\Device\Serial0)
// and its data the port's name (COM1).
std::vector<std::pair<std::string, std::string>> RegisteredPorts() {
  std::vector<std::pair<std::string, std::string>> ports;
  HKEY key = nullptr;
  if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ, &key) !=
      ERROR_SUCCESS) {
    return ports;
  }
  for (DWORD i = 0;; ++i) {
    wchar_t name[256];
    DWORD nameSize = 256;
    wchar_t data[256] = {};
    DWORD dataSize = sizeof data - sizeof(wchar_t);
    DWORD type = 0;
    const LONG result = ::RegEnumValueW(key, i, name, &nameSize, nullptr, &type,
                                        reinterpret_cast<BYTE*>(data), &dataSize);
    if (result == ERROR_NO_MORE_ITEMS) break;
    if (result != ERROR_SUCCESS || type != REG_SZ) continue;
    ports.emplace_back(Narrow(name, nameSize), Narrow(data, wcsnlen(data, 255)));
  }
  ::RegCloseKey(key);
  return ports;
}

}  // namespace

std::vector<UdevTtyDevice> ReadUdevTtyDevices() {
  const std::map<std::string, SetupFacts> setup = PortsFromSetupApi();
  std::vector<UdevTtyDevice> devices;
  for (const auto& [driverDevice, portName] : RegisteredPorts()) {
    const auto found = setup.find(portName);
    devices.push_back(win32::ComPortDevice(
        driverDevice, portName, found == setup.end() ? std::string() : found->second.instanceId,
        found == setup.end() ? std::string() : found->second.friendlyName,
        found == setup.end() ? std::string() : found->second.manufacturer,
        found == setup.end() ? std::string() : found->second.service));
  }
  return devices;
}

}  // namespace bq
