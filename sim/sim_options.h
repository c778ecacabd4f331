#pragma once
// How a virtual device is set up: its identity, its memories at power-up, its
// line rate and timing, and the faults it injects.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace bq::sim {

enum class FaultKind {
  kDropReply,     // the request is carried out, its reply never leaves
  kCorruptReply,  // the reply goes out with a wrong checksum
  kWrongCode,     // the reply keeps its length but carries a wrong reply code
  kUnplug,        // the cable is pulled when the request arrives (no reply)
  kFailWrite,     // a flash or EEPROM write is not carried out and answers 0xA0
  kCorruptWrite,  // a flash write stores one flipped bit but answers as if it were fine
};

// One injected fault. Either `request` (the 0-based index of the valid request
// frame, counted since Start) or `address` (flash writes that begin at that
// address, for their first `times` attempts) selects where it strikes.
struct Fault {
  FaultKind kind = FaultKind::kDropReply;
  std::optional<uint64_t> request;
  std::optional<uint32_t> address;
  unsigned times = 1;
  // kUnplug only: plug the device back in after this many milliseconds
  // (a new pseudo-terminal, in boot mode); negative: stay unplugged.
  int replugAfterMs = -1;
};

// What the memories hold at power-up.
enum class MemoryContent {
  kProgrammed,  // a few KB of older firmware; version, revision, product at 0x0804..0x0806
  kBlank,       // everything above the boot loader erased; product 255
};

// Who the device is while its application runs. Every personality carries the
// same boot loader; the accessories reach it through their own protocol.
enum class Personality {
  kBoot,          // a Quarn device: only the boot loader listens
  kZirconBox,     // ZirconBox Amarelo: link frames "KE" at 9600 baud
  kSensorZircon,  // Sensor Zircon: link frames "NK" at 4545 baud, replies "KE"
  kDelmo,         // QX frames at 9600 baud
  kArvex,         // the serial bridge: runs of one letter at 4545 baud
};

// The line rate an accessory's application listens at (0 for kBoot).
uint32_t AccessoryLineRate(Personality personality);

struct SimOptions {
  Personality personality = Personality::kBoot;
  uint32_t baudRate = 38400;            // the boot loader's own rate: 19200 or 38400
  uint16_t bootLoaderVersion = 0x0202;  // major * 256 + minor
  bool longVersionReply = true;         // the 6-byte version reply carrying the hardware number
  uint8_t hardwareVersion = 1;
  uint16_t serialNumber = 1000;
  uint8_t firmwareVersion = 3;   // written into flash at 0x0804 (kProgrammed only)
  uint8_t firmwareRevision = 1;  // written into flash at 0x0805 (kProgrammed only)
  uint8_t productCode = 5;
  MemoryContent memory = MemoryContent::kProgrammed;
  bool pacing = false;   // deliver requests and replies at the line's real speed
  int replyDelayMs = 0;  // extra think time before every reply
  int writeDelayMs = 0;  // extra think time before the reply to each flash write only
  std::vector<Fault> faults;
  std::string linkPath;  // a symlink kept pointing at the current slave; empty: none
};

// Reads one fault from its command-line form:
//   drop@K  corrupt@K  wrongcode@K  failwrite@K  corruptwrite@K  unplug@K  unplug@K+MS
//   failwrite:ADDR*N  corruptwrite:ADDR*N   (ADDR in decimal or 0x hex; *N optional, 1)
// Throws std::invalid_argument with the offending text on a malformed fault.
Fault ParseFault(const std::string& text);

// A fault for a program that runs several devices: "I:FAULT" strikes device I
// only (I in decimal, counted from 0), a bare FAULT strikes every device.
struct DeviceFault {
  std::optional<unsigned> device;  // empty: every device
  Fault fault;
};
// Throws std::invalid_argument with the whole offending text.
DeviceFault ParseDeviceFault(const std::string& text);

}  // namespace bq::sim
