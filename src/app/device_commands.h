#pragma once
// The operator commands that talk to the boot loader without programming:
// finding its baud rate, reading the device's identity, restart and erase.

#include "boot/device_identity.h"

namespace bq {

class Station;

// On success the port is open at the rate found (stored in the settings), with the
// open's own time-outs. Shows no message of its own.
bool DetectBootBaudRate(Station& st);
// One boot-version request: shown and remembered on success, forgotten otherwise.
bool ReadAndShowBootVersion(Station& st);
// Leaves the port open in every case; the caller closes it.
bool IdentifyDevice(Station& st, bool detectBaud, bool quiet);
// The same, also handing back what was read: the four identity fields and, on
// success, the boot-loader and hardware versions.
bool IdentifyDevice(Station& st, bool detectBaud, bool quiet, DeviceIdentity& read);

// The whole of "Le &Número de Série" with its result: lock, clear, identify, close,
// unlock. The port is closed and the lock released even when a port error escapes.
bool ReadAttachedDevice(Station& st, DeviceIdentity& read);
// "Reseta" with its outcome: true when a loader answered and the restart was sent.
bool RestartAttachedDevice(Station& st);
// "Erase" with its outcome: false when the port would not open or the erase failed.
bool EraseAttachedDevice(Station& st);

void botLeNSClick(Station& st);        // "Le &Número de Série"
void botResetClick(Station& st);       // "Reseta"
void botEraseClick(Station& st);       // "Erase"
void botGravaDebugClick(Station& st);  // "botGrava"
void botResetPicClick(Station& st);    // "botResetPic"
void botAbre38400Click(Station& st);   // "botAbre38400"
// Buttons kept in the window that do nothing.
void botGravaNsClick(Station& st);
void botGravaNSProducaoClick(Station& st);
void botGravaSomenteTipoProdutoClick(Station& st);

}  // namespace bq
