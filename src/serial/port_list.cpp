#include "serial/port_list.h"

#include <algorithm>
#include <cctype>
#include <exception>

#include "shell/utilities.h"

namespace bq {

namespace {

// Splits "/dev/ttyUSB10" into "/dev/ttyUSB" and 10 (-1 without a trailing number).
std::pair<std::string, long long> SplitNumber(const std::string& name) {
  size_t end = name.size();
  size_t start = end;
  while (start > 0 && std::isdigit(static_cast<unsigned char>(name[start - 1]))) --start;
  if (start == end || end - start > 18) return {name, -1};
  return {name.substr(0, start), std::stoll(name.substr(start))};
}

class SystemPortLister : public PortLister {
 public:
  std::vector<std::string> ListPorts() override {
    std::vector<std::string> names;
    for (const PortInfo& port : DescribePorts()) names.push_back(port.path);
    return names;
  }

  std::vector<std::string> ListPresentPorts() override {
    std::vector<std::string> names = ListPorts();
    names.erase(std::unique(names.begin(), names.end()), names.end());
    return names;
  }

  std::vector<PortInfo> DescribePorts() override {
    try {
      return PortsFromUdev(ReadUdevTtyDevices());
    } catch (const std::exception&) {
      return {};  // no udev (a bare container): no port to offer
    }
  }
};

}  // namespace

bool PortNameLess(const std::string& a, const std::string& b) {
  auto [textA, numberA] = SplitNumber(a);
  auto [textB, numberB] = SplitNumber(b);
  if (textA != textB) return textA < textB;
  if (numberA != numberB) return numberA < numberB;
  return a < b;
}

std::vector<PortInfo> PortLister::DescribePorts() {
  std::vector<PortInfo> ports;
  for (std::string& name : ListPorts()) {
    PortInfo port;
    port.path = std::move(name);
    ports.push_back(std::move(port));
  }
  return ports;
}

std::vector<PortInfo> PortsFromUdev(const std::vector<UdevTtyDevice>& devices) {
  std::vector<PortInfo> ports;
  for (const UdevTtyDevice& device : devices) {
    if (std::optional<PortInfo> port = PortFromUdev(device)) ports.push_back(std::move(*port));
  }
  std::sort(ports.begin(), ports.end(),
            [](const PortInfo& a, const PortInfo& b) { return PortNameLess(a.path, b.path); });
  return ports;
}

std::unique_ptr<PortLister> MakeSystemPortLister() {
  return std::make_unique<SystemPortLister>();
}

int FillPortList(PortLister& lister, PortListControl& list, const std::string& name) {
  list.Clear();
  for (const PortInfo& port : lister.DescribePorts()) list.AddPort(port);
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
