#include "serial/port_list.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "shell/utilities.h"

namespace bq {

namespace fs = std::filesystem;

namespace {

// Splits "/dev/ttyUSB10" into "/dev/ttyUSB" and 10 (-1 without a trailing number).
std::pair<std::string, long long> SplitNumber(const std::string& name) {
  size_t end = name.size();
  size_t start = end;
  while (start > 0 && std::isdigit(static_cast<unsigned char>(name[start - 1]))) --start;
  if (start == end || end - start > 18) return {name, -1};
  return {name.substr(0, start), std::stoll(name.substr(start))};
}

std::string ReadFirstLine(const fs::path& file) {
  std::ifstream in(file);
  std::string line;
  std::getline(in, line);
  return line;
}

// A tty backed by hardware has a parent device. Ports of the serial core also
// say their UART type, and 0 means no UART answers at that address (the many
// ttyS entries the 8250 driver registers whether or not a chip is fitted).
bool IsHardwarePort(const fs::path& entry) {
  std::error_code ec;
  if (!fs::exists(entry / "device", ec)) return false;
  if (!fs::exists(entry / "type", ec)) return true;
  return ReadFirstLine(entry / "type") != "0";
}

class SysfsPortLister : public PortLister {
 public:
  SysfsPortLister(std::string sysClassTty, std::string devDir)
      : sys_(std::move(sysClassTty)), dev_(std::move(devDir)) {}

  std::vector<std::string> ListPorts() override {
    std::vector<std::string> names;
    std::error_code ec;
    for (fs::directory_iterator it(sys_, ec), end; !ec && it != end; it.increment(ec)) {
      if (IsHardwarePort(it->path())) names.push_back((dev_ / it->path().filename()).string());
    }
    std::sort(names.begin(), names.end(), PortNameLess);
    return names;
  }

  std::vector<std::string> ListPresentPorts() override {
    std::vector<std::string> names = ListPorts();
    names.erase(std::unique(names.begin(), names.end()), names.end());
    return names;
  }

 private:
  fs::path sys_;
  fs::path dev_;
};

}  // namespace

bool PortNameLess(const std::string& a, const std::string& b) {
  auto [textA, numberA] = SplitNumber(a);
  auto [textB, numberB] = SplitNumber(b);
  if (textA != textB) return textA < textB;
  if (numberA != numberB) return numberA < numberB;
  return a < b;
}

std::unique_ptr<PortLister> MakeSystemPortLister(const std::string& sysClassTty,
                                                 const std::string& devDir) {
  return std::make_unique<SysfsPortLister>(sysClassTty, devDir);
}

int FillPortList(PortLister& lister, PortListControl& list, const std::string& name) {
  list.Clear();
  for (const std::string& port : lister.ListPorts()) list.Add(port);
  int selected = -1;
  if (list.Count() == 1) {
    selected = 0;
  } else if (list.Count() > 1) {
    selected = 0;
    for (int i = 0; i < list.Count(); ++i) {
      if (EqualsIgnoringCase(list.Item(i), name)) {
        selected = i;
        break;
      }
    }
  }
  list.Select(selected);
  return selected;
}

void RefreshPortList(PortLister& lister, PortListControl& list) {
  FillPortList(lister, list, list.SelectedText());
}

}  // namespace bq
