#pragma once
// Operator-interface commands shared by every front end.

#include "app/station.h"

namespace bq {

// Enables the six device command buttons when unlocked, then lets pending input run.
inline void LockDeviceCommands(Station& st, bool locked) {
  st.ui.SetDeviceCommandsEnabled(!locked);
  st.ui.ProcessMessages();
}

// "Cancel [ESC]": unlock the device commands and ask the running engine to stop.
inline void botCancelaClick(Station& st) {
  LockDeviceCommands(st, false);
  st.cancelFlag = true;
}

// The cancel command pressed from inside the pending-messages step itself (a
// console's Ctrl+C): the same effect, without handing input another turn.
inline void PressCancelFromMessageStep(Station& st) {
  st.ui.SetDeviceCommandsEnabled(true);
  st.cancelFlag = true;
}

// A console's Ctrl+C: the cancel command, and an end to the whole command that
// no later stage of the flow clears.
inline void RequestStop(Station& st) {
  PressCancelFromMessageStep(st);
  st.stopRequested = true;
}

// The station's elapsed timer, once a second.
inline void CronometroTimer(Station& st) {
  st.elapsedCounter += 100;
}

}  // namespace bq
