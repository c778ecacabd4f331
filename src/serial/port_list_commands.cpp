#include "serial/port_list_commands.h"

#include <filesystem>
#include <system_error>

#include "serial/port_list.h"
#include "shell/utilities.h"

namespace bq {
namespace {

int IndexOf(const PortListControl& list, const std::string& name) {
  for (int i = 0; i < list.Count(); ++i) {
    if (EqualsIgnoringCase(list.Item(i), name)) return i;
  }
  return -1;
}

bool IsCharacterDevice(const std::string& path) {
  std::error_code ec;
  return std::filesystem::is_character_file(path, ec);
}

// /dev/ttyS0, /dev/ttyUSB0, ...: the system lists these itself whenever they
// are real ports, so one it does not list counts as absent.
bool IsSystemListedName(const std::string& path) {
  return path.rfind("/dev/tty", 0) == 0;
}

}  // namespace

bool KeepTypedPort(PortListControl& list, const std::string& name) {
  if (name.empty() || name.front() != '/' || IsSystemListedName(name)) return false;
  if (!IsCharacterDevice(name)) return false;
  int index = IndexOf(list, name);
  if (index < 0) {
    list.Add(name);
    index = list.Count() - 1;
  }
  list.Select(index);
  return true;
}

void RefreshKeepingSelection(PortLister& lister, PortListControl& list) {
  std::string selected = list.SelectedText();
  RefreshPortList(lister, list);
  if (!EqualsIgnoringCase(list.SelectedText(), selected)) KeepTypedPort(list, selected);
}

void SelectFoundPort(PortLister& lister, PortListControl& list, const std::string& foundName) {
  RefreshPortList(lister, list);
  if (list.Count() == 0) {
    list.Select(-1);
    return;
  }
  int index = list.Count() == 1 ? 0 : IndexOf(list, foundName);
  list.Select(index < 0 ? 0 : index);
}

}  // namespace bq
