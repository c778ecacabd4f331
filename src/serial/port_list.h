#pragma once
// Listing the serial ports of the machine, and the port drop-down list kept in step with it.

#include <memory>
#include <string>
#include <vector>

#include "serial/port_info.h"

namespace bq {

// Where port names come from; tests swap in a lister of virtual ports.
class PortLister {
 public:
  virtual ~PortLister() = default;
  // Every serial device name, in the system's order (for the port list).
  virtual std::vector<std::string> ListPorts() = 0;
  // The ports present right now, unique and sorted (for the cable finder's snapshots).
  virtual std::vector<std::string> ListPresentPorts() = 0;
  // The ports of ListPorts with what is known about each; a lister that knows
  // only names gives just the paths.
  virtual std::vector<PortInfo> DescribePorts();
};

// Serial devices backed by real hardware, as udev knows them, sorted by name,
// the number in natural order (ttyUSB2 before ttyUSB10). Where udev cannot be
// reached the list is empty.
std::unique_ptr<PortLister> MakeSystemPortLister();

// The serial ports among udev's tty devices, sorted as the system lister sorts them.
std::vector<PortInfo> PortsFromUdev(const std::vector<UdevTtyDevice>& devices);

// Natural order of port names: the text, then the trailing number as a number.
bool PortNameLess(const std::string& a, const std::string& b);

// The drop-down list cbPortaSerial as the core sees it.
class PortListControl {
 public:
  virtual ~PortListControl() = default;
  virtual void Clear() = 0;
  virtual void Add(const std::string& name) = 0;
  // Adds a listed port; a list that shows only names shows its path.
  virtual void AddPort(const PortInfo& port) { Add(port.path); }
  virtual int Count() const = 0;
  virtual std::string Item(int index) const = 0;
  virtual void Select(int index) = 0;  // -1: nothing selected
  virtual int Selected() const = 0;
  // The text of the selected entry; empty when none.
  std::string SelectedText() const {
    int i = Selected();
    return (i >= 0 && i < Count()) ? Item(i) : std::string();
  }
};

// A plain in-memory list, used by the command line and the tests.
class VectorPortList : public PortListControl {
 public:
  void Clear() override {
    items_.clear();
    selected_ = -1;
  }
  void Add(const std::string& name) override { items_.push_back(name); }
  int Count() const override { return static_cast<int>(items_.size()); }
  std::string Item(int index) const override { return items_.at(static_cast<size_t>(index)); }
  void Select(int index) override { selected_ = index; }
  int Selected() const override { return selected_; }
  const std::vector<std::string>& Items() const { return items_; }

 private:
  std::vector<std::string> items_;
  int selected_ = -1;
};

int FillPortList(PortLister& lister, PortListControl& list, const std::string& name);
void RefreshPortList(PortLister& lister, PortListControl& list);

}  // namespace bq
