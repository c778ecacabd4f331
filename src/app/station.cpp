#include "app/station.h"

#include "app/context.h"
#include "app/startup.h"

namespace bq {

Station::Station(Context& ctx, OperatorInterface& ui, std::unique_ptr<SerialBackend> backend)
    : ctx(ctx),
      tap_(ui),
      ui(tap_),
      portName(ctx.settings.portName),
      baudRate(ctx.settings.baudRate),
      ComPortQuarn(std::move(backend)),
      options(ctx.options) {}

Station::Station(Context& ctx, OperatorInterface& ui, std::string port, uint16_t rate,
                 std::unique_ptr<SerialBackend> backend)
    : ctx(ctx),
      tap_(ui),
      ui(tap_),
      ownPortName_(std::move(port)),
      ownBaudRate_(rate),
      portName(ownPortName_),
      baudRate(ownBaudRate_),
      ComPortQuarn(std::move(backend)),
      options(ctx.options) {}

const std::string& Station::FirmwareFile() const {
  return ownFirmwareFile.empty() ? ctx.settings.firmwareFile : ownFirmwareFile;
}

void Station::UseFirmwareFile(const std::string& file) {
  if (OnItsOwnPort()) {
    ownFirmwareFile = file;
    return;
  }
  ctx.settings.firmwareFile = file;
  AtualizaStatusBar(ctx);
}

std::string Station::ChosenPort() const {
  return OnItsOwnPort() ? portName : ctx.portList->SelectedText();
}

}  // namespace bq
