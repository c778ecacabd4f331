#include "serial/port_info.h"

#include <cctype>

namespace bq {

namespace {

using Properties = std::map<std::string, std::string>;

std::string Get(const Properties& p, const std::string& key) {
  auto it = p.find(key);
  return it == p.end() ? std::string() : it->second;
}

// The first non-empty value among keys.
std::string First(const Properties& p, std::initializer_list<const char*> keys) {
  for (const char* key : keys) {
    std::string value = Get(p, key);
    if (!value.empty()) return value;
  }
  return {};
}

std::string Trim(std::string s) {
  const auto blank = [](unsigned char c) { return std::isspace(c) != 0; };
  while (!s.empty() && blank(static_cast<unsigned char>(s.back()))) s.pop_back();
  size_t start = 0;
  while (start < s.size() && blank(static_cast<unsigned char>(s[start]))) ++start;
  return s.substr(start);
}

std::string LowerHex(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

std::string ByIdLink(const std::string& devlinks) {
  static const std::string kPrefix = "/dev/serial/by-id/";
  std::string best;
  size_t start = 0;
  while (start < devlinks.size()) {
    size_t end = devlinks.find(' ', start);
    if (end == std::string::npos) end = devlinks.size();
    std::string link = devlinks.substr(start, end - start);
    if (link.rfind(kPrefix, 0) == 0 && (best.empty() || link < best)) best = link;
    start = end + 1;
  }
  return best;
}

// A name the adapter gives itself, from its raw (escaped) string; when the
// adapter has no such string udev puts its number there, and the hardware
// database's name is the better one.
std::string AdapterName(const Properties& p, std::initializer_list<const char*> encodedKeys,
                        const char* databaseKey, const std::string& number) {
  std::string name = Trim(DecodeUdevString(First(p, encodedKeys)));
  if (name.empty() || LowerHex(name) == number) name = Get(p, databaseKey);
  return name;
}

}  // namespace

std::string DecodeUdevString(const std::string& encoded) {
  std::string out;
  out.reserve(encoded.size());
  for (size_t i = 0; i < encoded.size(); ++i) {
    if (encoded[i] == '\\' && i + 3 < encoded.size() && encoded[i + 1] == 'x' &&
        std::isxdigit(static_cast<unsigned char>(encoded[i + 2])) &&
        std::isxdigit(static_cast<unsigned char>(encoded[i + 3]))) {
      out.push_back(static_cast<char>(std::stoi(encoded.substr(i + 2, 2), nullptr, 16)));
      i += 3;
    } else {
      out.push_back(encoded[i]);
    }
  }
  return out;
}

std::optional<PortInfo> PortFromUdev(const UdevTtyDevice& device) {
  const Properties& p = device.properties;
  const std::string devname = Get(p, "DEVNAME");
  const std::string devpath = Get(p, "DEVPATH");
  // No device node, or no hardware behind it: the console, virtual terminals,
  // ptmx and the like live under /devices/virtual.
  if (devname.empty() || devpath.empty() || devpath.rfind("/devices/virtual/", 0) == 0) {
    return std::nullopt;
  }
  // The serial core registers ttyS entries for every UART it might find; where
  // none answered, the port type is 0 (PORT_UNKNOWN).
  if (device.uartType == "0") return std::nullopt;

  PortInfo port;
#ifdef _WIN32
  // Windows ports go by their own names (COM5).
  port.path = devname;
#else
  port.path = devname.front() == '/' ? devname : "/dev/" + devname;
#endif
  port.byId = ByIdLink(Get(p, "DEVLINKS"));

  const bool usb = Get(p, "ID_BUS") == "usb" || !Get(p, "ID_USB_VENDOR_ID").empty();
  port.driver = usb ? First(p, {"ID_USB_DRIVER"}) : std::string();
  if (port.driver.empty()) port.driver = device.parentDriver;
  if (!usb) return port;

  port.vendorId = LowerHex(First(p, {"ID_USB_VENDOR_ID", "ID_VENDOR_ID"}));
  port.productId = LowerHex(First(p, {"ID_USB_MODEL_ID", "ID_MODEL_ID"}));
  port.manufacturer =
      AdapterName(p, {"ID_USB_VENDOR_ENC", "ID_VENDOR_ENC", "ID_USB_VENDOR", "ID_VENDOR"},
                  "ID_VENDOR_FROM_DATABASE", port.vendorId);
  port.product = AdapterName(p, {"ID_USB_MODEL_ENC", "ID_MODEL_ENC", "ID_USB_MODEL", "ID_MODEL"},
                             "ID_MODEL_FROM_DATABASE", port.productId);
  port.serial = First(p, {"ID_USB_SERIAL_SHORT", "ID_SERIAL_SHORT"});
  return port;
}

std::string PortInfo::Description() const {
  if (!IsUsb()) return driver.empty() ? "serial port" : "serial port (" + driver + ")";
  std::string text = manufacturer;
  // Many adapters repeat their maker in the product name ("Prolific ... Prolific USB-Serial").
  if (!product.empty() && product.rfind(manufacturer, 0) != 0) {
    text += (text.empty() ? "" : " ") + product;
  } else if (!product.empty()) {
    text = product;
  }
  if (text.empty()) text = "USB serial adapter";
  text += " [" + vendorId + ":" + (productId.empty() ? "????" : productId) + "]";
  if (!serial.empty()) text += " serial " + serial;
  return text;
}

}  // namespace bq
