#include "app/port_list_commands.h"

#include "app/context.h"
#include "app/station.h"
#include "app/storable_name.h"
#include "serial/boot_port.h"
#include "serial/port_list_commands.h"

namespace bq {

void cbPortaSerialDropDown(Context& ctx) {
  RefreshKeepingSelection(*ctx.portLister, *ctx.portList);
}

void cbPortaSerialChange(Station& st) {
  Context& ctx = st.ctx;
  if (!StorableName(st.ui, "port", ctx.portList->SelectedText())) return;
  st.portName = ctx.portList->SelectedText();
  OpenBootPort(st.ComPortQuarn, st.ui, st.baudRate, st.portName);
}

void SelectFoundPort(Context& ctx, const std::string& foundName) {
  SelectFoundPort(*ctx.portLister, *ctx.portList, foundName);
}

void btnDescobrirPortaSerialClick(Context& ctx, const CableFinderRunner& runFinder) {
  std::optional<std::string> found = runFinder();
  if (found) SelectFoundPort(ctx, *found);
}

}  // namespace bq
