#pragma once
// Programming the loaded image into the device, shown on the main page.

#include "programming/programming_engine.h"

namespace bq {

class Station;

// Needs the port open at the boot loader's rate, st.identity.bootLoaderVersion
// read, and the image and st.flowHeader loaded. A failure or a cancel is
// shown in a plain box with the engine's text. A port error during the plan
// (the device gone) is a failure too: its text, then the phase and address
// where the device stopped answering.
ProgrammingResult ProgramDevice(Station& st);

}  // namespace bq
