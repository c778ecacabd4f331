#pragma once
// The boot loader's command interpreter: one request payload in, at most one
// reply payload out. No I/O here; the device loop moves the bytes.

#include <cstdint>
#include <optional>
#include <vector>

#include "device_memory.h"
#include "sim_options.h"

namespace bq::sim {

// How an injected write fault bends the next write.
enum class WriteFault { kNone, kFail, kCorrupt };

struct CommandResult {
  std::optional<std::vector<uint8_t>> reply;  // nullopt: the loader stays silent
  bool leaveBootMode = false;
};

// Reply to a request the loader understands but refuses (bad address, wrong
// length, wrong access code): a single byte that no command expects.
inline constexpr uint8_t kRefused = 0x00;

class BootLoader {
 public:
  BootLoader(const SimOptions& options, DeviceMemory& memory);

  CommandResult Execute(const std::vector<uint8_t>& payload, WriteFault fault);

  // The start address of a flash write this loader would carry out, if the
  // payload is one (used to aim address faults).
  std::optional<uint32_t> FlashWriteAddress(const std::vector<uint8_t>& payload) const;

  bool KnowsCommand(uint8_t command) const;

 private:
  using Reply = std::vector<uint8_t>;
  Reply ReadVersion(const std::vector<uint8_t>& p) const;
  Reply ReadIdentity(const std::vector<uint8_t>& p) const;
  Reply EraseAll(const std::vector<uint8_t>& p);
  Reply EraseBlocks(const std::vector<uint8_t>& p);
  Reply WriteProductType(const std::vector<uint8_t>& p);
  Reply WriteFlash(const std::vector<uint8_t>& p, WriteFault fault);
  Reply CompareFlash(const std::vector<uint8_t>& p) const;
  Reply WriteEeprom(const std::vector<uint8_t>& p, WriteFault fault);
  Reply ReadEeprom(const std::vector<uint8_t>& p) const;

  const SimOptions& options_;
  DeviceMemory& memory_;
};

}  // namespace bq::sim
