#pragma once
// The application firmware of the accessories, as far as a tool sees it: the
// requests each one recognises at its own line rate and what it answers. Like
// the boot loader, no I/O here; the device loop moves the bytes.

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "device_memory.h"
#include "frame_codec.h"
#include "sim_options.h"

namespace bq::sim {

enum class RequestKind {
  kBootFrame,  // a boot-loader request
  kLinkFrame,  // an accessory link request ("KE" or "NK")
  kQxFrame,    // a QX frame
  kLetterRun,  // a bridge control run: one letter repeated
};

struct AccessoryRequest {
  RequestKind kind = RequestKind::kLinkFrame;
  std::vector<uint8_t> payload;  // the frame's payload, or the run's letters
};

struct AccessoryAnswer {
  std::optional<std::vector<uint8_t>> reply;  // payload or text; nullopt: silent
  ReplyForm form = ReplyForm::kLinkFrame;
  bool entersBoot = false;  // the application restarts into the boot loader
};

class Accessory {
 public:
  enum class Event { kNone, kRequest, kBadCheck };

  virtual ~Accessory() = default;
  virtual uint32_t LineRate() const = 0;
  // One byte received at LineRate(). kRequest: Request() holds a whole one.
  virtual Event Feed(uint8_t byte) = 0;
  virtual const AccessoryRequest& Request() const = 0;
  // Forgets a partial request (a pause, or noise at another rate).
  virtual void ResetReceiver() = 0;
  virtual bool ReceiverIdle() const = 0;
  virtual AccessoryAnswer Answer(const AccessoryRequest& request) = 0;
};

// nullptr for Personality::kBoot. Answers read the identity from `options`
// and `memory`, which must outlive the accessory; the caller holds whatever
// lock guards the memory while it calls Answer.
std::unique_ptr<Accessory> MakeAccessory(const SimOptions& options, const DeviceMemory& memory);

// Link commands and codes of the Zircon accessories.
inline constexpr uint8_t kLinkReadIdentity = 0x20;
inline constexpr uint8_t kLinkEnterBoot = 0x24;
inline constexpr uint8_t kLinkReplyIdentity = 0xC1;
inline constexpr uint8_t kLinkReplyEnterBoot = 0xC4;
inline constexpr uint8_t kLinkBootAccessCode[4] = {0x3A, 0xC5, 0x0E, 0x97};
inline constexpr size_t kLinkIdentityReplySize = 15;

// QX frames of the Delmo.
inline constexpr uint8_t kQxVersionQuery = 0xE7;
inline constexpr uint8_t kQxEnterBoot = 0xE5;
inline constexpr uint8_t kQxBootAccessCode[2] = {0xC7, 0xA5};

// The bridge's control runs and their lengths.
inline constexpr uint8_t kRunWake = 'N';
inline constexpr uint8_t kRunProbe = 'P';
inline constexpr uint8_t kRunBoot = 'O';
inline constexpr size_t kWakeRunLength = 24;
inline constexpr size_t kProbeRunLength = 25;
inline constexpr size_t kBootRunLength = 25;

}  // namespace bq::sim
