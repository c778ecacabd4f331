#pragma once
// The programming engine: erase, write and verify the loaded image on the device.

namespace bq {

struct Context;

// Needs the port open at the boot loader's rate, ctx.identity.bootLoaderVersion
// read, and the image and ctx.flowHeader loaded.
bool ProgramDevice(Context& ctx);

}  // namespace bq
