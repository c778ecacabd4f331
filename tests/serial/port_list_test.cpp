// The port drop-down list kept in step with the ports present, and the
// listing of hardware ports from the kernel's tty class.

#include "serial/port_list.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

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

TEST(PortNameLess, NumbersInNaturalOrder) {
  std::vector<std::string> names = {"/dev/ttyUSB10", "/dev/ttyACM0", "/dev/ttyUSB2", "/dev/ttyS1"};
  std::sort(names.begin(), names.end(), PortNameLess);
  EXPECT_EQ(names, (std::vector<std::string>{"/dev/ttyACM0", "/dev/ttyS1", "/dev/ttyUSB2",
                                             "/dev/ttyUSB10"}));
}

// A copy of the kernel's tty class: only entries with a device behind them,
// and of the serial core's ports only those with a UART, are listed.
TEST(SystemPortLister, ListsHardwarePortsOnly) {
  namespace fs = std::filesystem;
  const fs::path root = fs::temp_directory_path() / ("bq_tty_" + std::to_string(::getpid()));
  fs::remove_all(root);
  struct Entry {
    const char* name;
    bool device;
    const char* type;  // nullptr: no type attribute
  };
  const Entry entries[] = {
      {"tty0", false, nullptr},   {"ptmx", false, nullptr},    {"ttyS0", true, "4"},
      {"ttyS1", true, "0"},       {"ttyUSB10", true, nullptr}, {"ttyUSB2", true, nullptr},
      {"ttyACM0", true, nullptr}, {"ttyAMA0", true, "91"},
  };
  for (const Entry& e : entries) {
    fs::create_directories(root / e.name);
    if (e.device) fs::create_directories(root / e.name / "device");
    if (e.type) std::ofstream(root / e.name / "type") << e.type << '\n';
  }
  auto lister = MakeSystemPortLister(root.string(), "/dev");
  const std::vector<std::string> expected = {"/dev/ttyACM0", "/dev/ttyAMA0", "/dev/ttyS0",
                                             "/dev/ttyUSB2", "/dev/ttyUSB10"};
  EXPECT_EQ(lister->ListPorts(), expected);
  EXPECT_EQ(lister->ListPresentPorts(), expected);
  fs::remove_all(root);
  EXPECT_TRUE(lister->ListPorts().empty()) << "a missing tty class lists nothing";
}

}  // namespace
}  // namespace bq::test
