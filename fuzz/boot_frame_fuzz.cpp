// Feeds the boot-frame receiver bytes as the port would hand them over.
#include <cstddef>
#include <cstdint>
#include <memory>

#include "memory_backend.h"
#include "serial/boot_frame.h"

namespace {

struct OpenPort {
  OpenPort() {
    auto owned = std::make_unique<bq::fuzz::MemoryBackend>();
    backend = owned.get();
    port = std::make_unique<bq::TComPortGPS>(std::move(owned));
    port->SetDeviceName("memory");
    port->Open();
  }
  bq::fuzz::MemoryBackend* backend = nullptr;
  std::unique_ptr<bq::TComPortGPS> port;
};

}  // namespace

// The input is a stream of frames; each one read is checked against its checksum.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static OpenPort open;
  open.backend->Feed(data, size);
  bq::PayloadBuffer buffer;
  uint8_t length = 0;
  while (open.backend->Left() > 0) {
    if (!bq::ReceiveBootFrame(*open.port, buffer, length)) continue;
    if (bq::BootChecksum(length, buffer.data()) != buffer[length]) __builtin_trap();
  }
  return 0;
}
