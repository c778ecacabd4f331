#include "app/port_list_commands.h"

#include "app/context.h"
#include "app/storable_name.h"
#include "serial/boot_port.h"
#include "serial/port_list_commands.h"

namespace bq {

void cbPortaSerialDropDown(Context& ctx) {
  RefreshKeepingSelection(*ctx.portLister, *ctx.portList);
}

void cbPortaSerialChange(Context& ctx) {
  if (!StorableName(ctx.ui, "port", ctx.portList->SelectedText())) return;
  ctx.settings.portName = ctx.portList->SelectedText();
  OpenBootPort(ctx.ComPortQuarn, ctx.ui, ctx.settings.baudRate, ctx.settings.portName);
}

void SelectFoundPort(Context& ctx, const std::string& foundName) {
  SelectFoundPort(*ctx.portLister, *ctx.portList, foundName);
}

void btnDescobrirPortaSerialClick(Context& ctx, const CableFinderRunner& runFinder) {
  std::optional<std::string> found = runFinder();
  if (found) SelectFoundPort(ctx, *found);
}

}  // namespace bq
