// The port drop-down list kept in step with the ports present, and the
// serial ports worked out from udev's tty devices.

#include "serial/port_list.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <optional>

namespace bq {
// Readable failures for the port tables.
void PrintTo(const PortInfo& p, std::ostream* os) {
  *os << "{" << p.path << ", byId " << p.byId << ", driver " << p.driver << ", " << p.vendorId
      << ":" << p.productId << ", '" << p.manufacturer << "', '" << p.product << "', serial "
      << p.serial << "}";
}
}  // namespace bq

namespace bq::test {
namespace {

class FixedLister : public PortLister {
 public:
  std::vector<std::string> ports;
  std::vector<std::string> ListPorts() override { return ports; }
  std::vector<std::string> ListPresentPorts() override { return ports; }
};

TEST(FillPortList, Selection) {
  struct Case {
    const char* name;
    std::vector<std::string> present;
    std::string wanted;
    int selected;
  };
  const Case cases[] = {
      {"wanted port present", {"/dev/ttyS0", "/dev/ttyUSB0"}, "/dev/ttyUSB0", 1},
      {"one port, whatever is wanted", {"/dev/ttyACM7"}, "/dev/ttyUSB0", 0},
      {"case does not matter", {"/dev/ttyS0", "/dev/ttyUSB0"}, "/DEV/TTYusb0", 1},
      {"wanted port gone", {"/dev/ttyS0", "/dev/ttyUSB0"}, "/dev/ttyUSB3", 0},
      {"nothing wanted", {"/dev/ttyS0", "/dev/ttyUSB0"}, "", 0},
      {"no ports", {}, "/dev/ttyUSB0", -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FixedLister lister;
    lister.ports = c.present;
    VectorPortList list;
    list.Add("/dev/stale");
    list.Select(0);
    EXPECT_EQ(FillPortList(lister, list, c.wanted), c.selected);
    EXPECT_EQ(list.Items(), c.present);
    EXPECT_EQ(list.Selected(), c.selected);
    EXPECT_EQ(list.SelectedText(), c.selected < 0 ? "" : c.present[size_t(c.selected)]);
  }
}

TEST(RefreshPortList, KeepsTheSelectionWhilePresent) {
  FixedLister lister;
  lister.ports = {"/dev/ttyS0", "/dev/ttyUSB0"};
  VectorPortList list;
  FillPortList(lister, list, "/dev/ttyUSB0");

  lister.ports = {"/dev/ttyS0", "/dev/ttyUSB0", "/dev/ttyUSB1"};  // an adapter plugged in
  RefreshPortList(lister, list);
  EXPECT_EQ(list.Count(), 3);
  EXPECT_EQ(list.SelectedText(), "/dev/ttyUSB0");

  lister.ports = {"/dev/ttyS0", "/dev/ttyUSB1"};  // the selected one pulled out
  RefreshPortList(lister, list);
  EXPECT_EQ(list.SelectedText(), "/dev/ttyS0");

  lister.ports = {};
  RefreshPortList(lister, list);
  EXPECT_EQ(list.Selected(), -1);
}

// The window's list is handed each port with its description, not just the name.
TEST(FillPortList, HandsOnWhatIsKnownOfEachPort) {
  class DescribingLister : public FixedLister {
   public:
    std::vector<PortInfo> infos;
    std::vector<PortInfo> DescribePorts() override { return infos; }
  };
  class RecordingList : public VectorPortList {
   public:
    std::vector<PortInfo> added;
    void AddPort(const PortInfo& port) override {
      added.push_back(port);
      VectorPortList::AddPort(port);
    }
  };
  DescribingLister lister;
  PortInfo usb;
  usb.path = "/dev/ttyUSB0";
  usb.vendorId = "0403";
  usb.product = "FT232R USB UART";
  lister.infos = {usb};
  RecordingList list;
  EXPECT_EQ(FillPortList(lister, list, ""), 0);
  EXPECT_EQ(list.added, lister.infos);
  EXPECT_EQ(list.SelectedText(), "/dev/ttyUSB0");
}

TEST(PortNameLess, NumbersInNaturalOrder) {
  std::vector<std::string> names = {"/dev/ttyUSB10", "/dev/ttyACM0", "/dev/ttyUSB2", "/dev/ttyS1"};
  std::sort(names.begin(), names.end(), PortNameLess);
  EXPECT_EQ(names, (std::vector<std::string>{"/dev/ttyACM0", "/dev/ttyS1", "/dev/ttyUSB2",
                                             "/dev/ttyUSB10"}));
}

// udev's view of tty devices as this machine and others give it.
UdevTtyDevice Tty(std::map<std::string, std::string> properties, std::string parentDriver = "",
                  std::string uartType = "") {
  return {std::move(properties), std::move(parentDriver), std::move(uartType)};
}

PortInfo Port(std::string path, std::string byId, std::string driver, std::string vendorId = "",
              std::string productId = "", std::string manufacturer = "", std::string product = "",
              std::string serial = "") {
  return {std::move(path),      std::move(byId),         std::move(driver),  std::move(vendorId),
          std::move(productId), std::move(manufacturer), std::move(product), std::move(serial)};
}

TEST(PortFromUdev, MapsPropertiesToPorts) {
  struct Case {
    const char* name;
    UdevTtyDevice device;
    std::optional<PortInfo> expected;
  };
  const Case cases[] = {
      {"FTDI adapter, ID_USB_* properties of current udev",
       Tty({{"DEVNAME", "/dev/ttyUSB0"},
            {"DEVPATH", "/devices/pci0000:00/0000:00:14.0/usb1/1-2/1-2:1.0/ttyUSB0/tty/ttyUSB0"},
            {"DEVLINKS",
             "/dev/serial/by-path/pci-0000:00:14.0-usb-0:2:1.0-port0 "
             "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0"},
            {"ID_BUS", "usb"},
            {"ID_USB_VENDOR_ID", "0403"},
            {"ID_USB_MODEL_ID", "6001"},
            {"ID_USB_VENDOR", "FTDI"},
            {"ID_USB_VENDOR_ENC", "FTDI"},
            {"ID_USB_MODEL", "FT232R_USB_UART"},
            {"ID_USB_MODEL_ENC", "FT232R\\x20USB\\x20UART"},
            {"ID_USB_SERIAL_SHORT", "A50285BI"},
            {"ID_USB_DRIVER", "ftdi_sio"}},
           "ftdi_sio"),
       Port("/dev/ttyUSB0", "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0",
            "ftdi_sio", "0403", "6001", "FTDI", "FT232R USB UART", "A50285BI")},
      {"CDC ACM device, ID_* properties of older udev, upper-case hex",
       Tty({{"DEVNAME", "/dev/ttyACM0"},
            {"DEVPATH", "/devices/pci0000:00/0000:00:14.0/usb1/1-3/1-3:1.0/tty/ttyACM0"},
            {"DEVLINKS", "/dev/serial/by-id/usb-Quarn_Boot_Cable_Q-0042-if00"},
            {"ID_BUS", "usb"},
            {"ID_VENDOR_ID", "2E8A"},
            {"ID_MODEL_ID", "000A"},
            {"ID_VENDOR", "Quarn_Ind._e_Com."},
            {"ID_VENDOR_ENC", "Quarn\\x20Ind.\\x20e\\x20Com.\\x20"},
            {"ID_MODEL_ENC", "Boot\\x20Cable"},
            {"ID_SERIAL_SHORT", "Q-0042"},
            {"ID_USB_DRIVER", "cdc_acm"}}),
       Port("/dev/ttyACM0", "/dev/serial/by-id/usb-Quarn_Boot_Cable_Q-0042-if00", "cdc_acm", "2e8a",
            "000a", "Quarn Ind. e Com.", "Boot Cable", "Q-0042")},
      {"adapter without strings: names from the hardware database, no serial",
       Tty({{"DEVNAME", "/dev/ttyUSB1"},
            {"DEVPATH", "/devices/pci0000:00/0000:00:14.0/usb1/1-4/1-4:1.0/ttyUSB1/tty/ttyUSB1"},
            {"ID_BUS", "usb"},
            {"ID_VENDOR_ID", "067b"},
            {"ID_MODEL_ID", "2303"},
            {"ID_VENDOR_ENC", "067b"},
            {"ID_MODEL_ENC", "2303"},
            {"ID_VENDOR_FROM_DATABASE", "Prolific Technology, Inc."},
            {"ID_MODEL_FROM_DATABASE", "PL2303 Serial Port"}},
           "pl2303"),
       Port("/dev/ttyUSB1", "", "pl2303", "067b", "2303", "Prolific Technology, Inc.",
            "PL2303 Serial Port")},
      {"UART on the mainboard",
       Tty({{"DEVNAME", "/dev/ttyS0"}, {"DEVPATH", "/devices/pnp0/00:05/tty/ttyS0"}}, "serial",
           "4"),
       Port("/dev/ttyS0", "", "serial")},
      {"relative device name",
       Tty({{"DEVNAME", "ttyAMA0"}, {"DEVPATH", "/devices/platform/fe201000.serial/tty/ttyAMA0"}},
           "uart-pl011", "91"),
       Port("/dev/ttyAMA0", "", "uart-pl011")},
      {"ttyS entry with no UART fitted",
       Tty({{"DEVNAME", "/dev/ttyS3"},
            {"DEVPATH", "/devices/platform/serial8250/serial8250:0/serial8250:0.3/tty/ttyS3"}},
           "serial8250", "0"),
       std::nullopt},
      {"virtual terminal",
       Tty({{"DEVNAME", "/dev/tty0"}, {"DEVPATH", "/devices/virtual/tty/tty0"}}), std::nullopt},
      {"pseudo-terminal master",
       Tty({{"DEVNAME", "/dev/ptmx"}, {"DEVPATH", "/devices/virtual/tty/ptmx"}}), std::nullopt},
      {"no device node", Tty({{"DEVPATH", "/devices/pnp0/00:05/tty/ttyS0"}}, "serial", "4"),
       std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(PortFromUdev(c.device), c.expected);
  }
}

TEST(PortsFromUdev, KeepsSerialPortsInNaturalOrder) {
  const std::vector<UdevTtyDevice> devices = {
      Tty({{"DEVNAME", "/dev/ttyUSB10"}, {"DEVPATH", "/devices/usb/ttyUSB10/tty/ttyUSB10"}}),
      Tty({{"DEVNAME", "/dev/tty1"}, {"DEVPATH", "/devices/virtual/tty/tty1"}}),
      Tty({{"DEVNAME", "/dev/ttyUSB2"}, {"DEVPATH", "/devices/usb/ttyUSB2/tty/ttyUSB2"}}),
      Tty({{"DEVNAME", "/dev/ttyS1"}, {"DEVPATH", "/devices/platform/serial8250/tty/ttyS1"}},
          "serial8250", "0"),
      Tty({{"DEVNAME", "/dev/ttyACM0"}, {"DEVPATH", "/devices/usb/1-3:1.0/tty/ttyACM0"}}),
  };
  std::vector<std::string> paths;
  for (const PortInfo& port : PortsFromUdev(devices)) paths.push_back(port.path);
  EXPECT_EQ(paths, (std::vector<std::string>{"/dev/ttyACM0", "/dev/ttyUSB2", "/dev/ttyUSB10"}));
}

TEST(PortInfo, Description) {
  const struct {
    PortInfo port;
    const char* text;
  } cases[] = {
      {Port("/dev/ttyUSB0", "", "ftdi_sio", "0403", "6001", "FTDI", "FT232R USB UART", "A502"),
       "FTDI FT232R USB UART [0403:6001] serial A502"},
      {Port("/dev/ttyUSB0", "", "pl2303", "067b", "2303", "Prolific", "Prolific USB-Serial"),
       "Prolific USB-Serial [067b:2303]"},
      {Port("/dev/ttyACM0", "", "cdc_acm", "2e8a", "000a"), "USB serial adapter [2e8a:000a]"},
      {Port("/dev/ttyS0", "", "serial"), "serial port (serial)"},
      {Port("/dev/ttyX", "", ""), "serial port"},
  };
  for (const auto& c : cases) EXPECT_EQ(c.port.Description(), c.text);
}

TEST(DecodeUdevString, UndoesHexEscapes) {
  EXPECT_EQ(DecodeUdevString("FT232R\\x20USB\\x2fUART"), "FT232R USB/UART");
  EXPECT_EQ(DecodeUdevString("ends\\x2"), "ends\\x2");  // cut short: kept as it is
  EXPECT_EQ(DecodeUdevString("\\xZZ"), "\\xZZ");
}

// The real udev on this machine: the virtual terminals are there, and are not
// offered as ports.
TEST(SystemPortLister, LeavesVirtualTerminalsOut) {
  if (!std::filesystem::exists("/sys/class/tty/tty0")) GTEST_SKIP() << "no tty0 here";
  const std::vector<UdevTtyDevice> devices = ReadUdevTtyDevices();
  const bool seen = std::any_of(devices.begin(), devices.end(), [](const UdevTtyDevice& d) {
    auto it = d.properties.find("DEVPATH");
    return it != d.properties.end() && it->second == "/devices/virtual/tty/tty0";
  });
  EXPECT_TRUE(seen) << "udev gave no properties for tty0";
  for (const std::string& port : MakeSystemPortLister()->ListPorts()) {
    EXPECT_NE(port, "/dev/tty0");
    EXPECT_NE(port, "/dev/ptmx");
  }
}

}  // namespace
}  // namespace bq::test
