#pragma once
// Operator-interface commands shared by every front end.

#include "app/context.h"

namespace bq {

// Enables the six device command buttons when unlocked, then lets pending input run.
inline void LockDeviceCommands(Context& ctx, bool locked) {
  ctx.ui.SetDeviceCommandsEnabled(!locked);
  ctx.ui.ProcessMessages();
}

// "Cancel [ESC]": unlock the device commands and ask the running engine to stop.
inline void botCancelaClick(Context& ctx) {
  LockDeviceCommands(ctx, false);
  ctx.cancelFlag = true;
}

// The cancel command pressed from inside the pending-messages step itself (a
// console's Ctrl+C): the same effect, without handing input another turn.
inline void PressCancelFromMessageStep(Context& ctx) {
  ctx.ui.SetDeviceCommandsEnabled(true);
  ctx.cancelFlag = true;
}

// A console's Ctrl+C: the cancel command, and an end to the whole command that
// no later stage of the flow clears.
inline void RequestStop(Context& ctx) {
  PressCancelFromMessageStep(ctx);
  ctx.stopRequested = true;
}

// The elapsed timer, once a second.
inline void CronometroTimer(Context& ctx) {
  ctx.elapsedCounter += 100;
}

}  // namespace bq
