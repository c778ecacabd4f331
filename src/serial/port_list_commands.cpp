#include "serial/port_list_commands.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>

#include "serial/boot_port.h"
#include "serial/port_list.h"
#include "shell/context.h"

namespace bq {
namespace {

bool SameName(const std::string& a, const std::string& b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    return std::tolower(static_cast<unsigned char>(x)) ==
           std::tolower(static_cast<unsigned char>(y));
  });
}

int IndexOf(const PortListControl& list, const std::string& name) {
  for (int i = 0; i < list.Count(); ++i) {
    if (SameName(list.Item(i), name)) return i;
  }
  return -1;
}

bool IsCharacterDevice(const std::string& path) {
  struct stat info {};
  return stat(path.c_str(), &info) == 0 && S_ISCHR(info.st_mode);
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

void cbPortaSerialDropDown(Context& ctx) {
  std::string selected = ctx.portList->SelectedText();
  RefreshPortList(*ctx.portLister, *ctx.portList);
  if (!SameName(ctx.portList->SelectedText(), selected)) KeepTypedPort(*ctx.portList, selected);
}

void cbPortaSerialChange(Context& ctx) {
  ctx.settings.portName = ctx.portList->SelectedText();
  OpenBootPort(ctx, ctx.settings.baudRate, ctx.settings.portName);
}

void SelectFoundPort(Context& ctx, const std::string& foundName) {
  PortListControl& list = *ctx.portList;
  RefreshPortList(*ctx.portLister, list);
  if (list.Count() == 0) {
    list.Select(-1);
    return;
  }
  int index = list.Count() == 1 ? 0 : IndexOf(list, foundName);
  list.Select(index < 0 ? 0 : index);
}

void btnDescobrirPortaSerialClick(Context& ctx, const CableFinderRunner& runFinder) {
  std::optional<std::string> found = runFinder();
  if (found) SelectFoundPort(ctx, *found);
}

}  // namespace bq
