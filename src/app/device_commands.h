#pragma once
// The operator commands that talk to the boot loader without programming:
// finding its baud rate, reading the device's identity, restart and erase.

#include "boot/device_identity.h"

namespace bq {

struct Context;

// On success the port is open at the rate found (stored in the settings), with the
// open's own time-outs. Shows no message of its own.
bool DetectBootBaudRate(Context& ctx);
// One boot-version request: shown and remembered on success, forgotten otherwise.
bool ReadAndShowBootVersion(Context& ctx);
// Leaves the port open in every case; the caller closes it.
bool IdentifyDevice(Context& ctx, bool detectBaud, bool quiet);
// The same, also handing back what was read: the four identity fields and, on
// success, the boot-loader and hardware versions.
bool IdentifyDevice(Context& ctx, bool detectBaud, bool quiet, DeviceIdentity& read);

// The whole of "Le &Número de Série" with its result: lock, clear, identify, close,
// unlock. The port is closed and the lock released even when a port error escapes.
bool ReadAttachedDevice(Context& ctx, DeviceIdentity& read);
// "Reseta" with its outcome: true when a loader answered and the restart was sent.
bool RestartAttachedDevice(Context& ctx);
// "Erase" with its outcome: false when the port would not open or the erase failed.
bool EraseAttachedDevice(Context& ctx);

void botLeNSClick(Context& ctx);        // "Le &Número de Série"
void botResetClick(Context& ctx);       // "Reseta"
void botEraseClick(Context& ctx);       // "Erase"
void botGravaDebugClick(Context& ctx);  // "botGrava"
void botResetPicClick(Context& ctx);    // "botResetPic"
void botAbre38400Click(Context& ctx);   // "botAbre38400"
// Buttons kept in the window that do nothing.
void botGravaNsClick(Context& ctx);
void botGravaNSProducaoClick(Context& ctx);
void botGravaSomenteTipoProdutoClick(Context& ctx);

}  // namespace bq
