#include "accessory.h"

#include <algorithm>
#include <string>

namespace bq::sim {
namespace {

using Bytes = std::vector<uint8_t>;

constexpr uint32_t kZirconBoxRate = 9600;
constexpr uint32_t kSensorZirconRate = 4545;
constexpr uint32_t kDelmoRate = 9600;
constexpr uint32_t kArvexRate = 4545;

// Bytes around the bridge's name, as a real bridge sends them: noise before
// (a NUL among it, which a tool must not take for the end of the text) and a
// line end after.
constexpr uint8_t kBridgeNoise[] = {0x00, 0xFF};
constexpr char kBridgeName[] = "ponte_1\r\n";

Bytes Text(const std::string& text) {
  return Bytes(text.begin(), text.end());
}

// The application's identity: the serial number the boot loader keeps and
// what the firmware in flash says of itself, so a new firmware shows.
struct Identity {
  uint16_t serialNumber;
  uint8_t productCode;
  uint8_t version;
  uint8_t revision;
};

Identity IdentityOf(const SimOptions& options, const DeviceMemory& memory) {
  return {options.serialNumber, memory.productCode, memory.flash[kFirmwareVersionAddress],
          memory.flash[kFirmwareRevisionAddress]};
}

// Requests in link frames with one prefix; `kind` tells link from QX frames.
class FramedAccessory : public Accessory {
 public:
  FramedAccessory(uint32_t rate, std::string_view prefix, RequestKind kind)
      : rate_(rate), hunter_(prefix) {
    request_.kind = kind;
  }
  uint32_t LineRate() const override { return rate_; }
  Event Feed(uint8_t byte) override {
    switch (hunter_.Feed(byte)) {
      case LinkFrameHunter::Event::kFrame:
        request_.payload = hunter_.Payload();
        return Event::kRequest;
      case LinkFrameHunter::Event::kBadChecksum:
        return Event::kBadCheck;
      case LinkFrameHunter::Event::kNone:
        break;
    }
    return Event::kNone;
  }
  const AccessoryRequest& Request() const override { return request_; }
  void ResetReceiver() override { hunter_.Reset(); }
  bool ReceiverIdle() const override { return hunter_.Idle(); }

 private:
  uint32_t rate_;
  LinkFrameHunter hunter_;
  AccessoryRequest request_;
};

// ZirconBox Amarelo and Sensor Zircon: the accessory link. Requests carry the
// device's own prefix; every reply carries "KE".
class Zircon : public FramedAccessory {
 public:
  Zircon(uint32_t rate, std::string_view prefix, const SimOptions& options,
         const DeviceMemory& memory)
      : FramedAccessory(rate, prefix, RequestKind::kLinkFrame),
        options_(options),
        memory_(memory) {}

  AccessoryAnswer Answer(const AccessoryRequest& request) override {
    const Bytes& p = request.payload;
    if (p.size() == 4 && p[0] == kLinkReadIdentity) return {IdentityReply()};
    const bool bootCode =
        p.size() == 5 && std::equal(p.begin() + 1, p.end(), std::begin(kLinkBootAccessCode));
    if (p[0] == kLinkEnterBoot && bootCode) {
      return {Bytes{kLinkReplyEnterBoot}, ReplyForm::kLinkFrame, true};
    }
    return {};  // unknown command or wrong access code: no reply
  }

 private:
  // Code, serial number low byte first, four unused bytes, product, version,
  // revision, five unused bytes.
  Bytes IdentityReply() const {
    const Identity id = IdentityOf(options_, memory_);
    Bytes reply(kLinkIdentityReplySize, 0x00);
    reply[0] = kLinkReplyIdentity;
    reply[1] = static_cast<uint8_t>(id.serialNumber);
    reply[2] = static_cast<uint8_t>(id.serialNumber >> 8);
    reply[7] = id.productCode;
    reply[8] = id.version;
    reply[9] = id.revision;
    return reply;
  }

  const SimOptions& options_;
  const DeviceMemory& memory_;
};

// The Delmo: QX frames. The version query gets a line of text; the boot entry
// gets no answer.
class Delmo : public FramedAccessory {
 public:
  Delmo(const SimOptions& options, const DeviceMemory& memory)
      : FramedAccessory(kDelmoRate, "QX", RequestKind::kQxFrame),
        options_(options),
        memory_(memory) {}

  AccessoryAnswer Answer(const AccessoryRequest& request) override {
    const Bytes& p = request.payload;
    if (p == Bytes{kQxVersionQuery}) return {Text(VersionLine()), ReplyForm::kText};
    if (p == Bytes{kQxEnterBoot, kQxBootAccessCode[0], kQxBootAccessCode[1]}) {
      return {std::nullopt, ReplyForm::kText, true};
    }
    return {};
  }

 private:
  std::string VersionLine() const {
    const Identity id = IdentityOf(options_, memory_);
    return "Delmo ver " + std::to_string(id.version) + "." + std::to_string(id.revision) + " ns " +
           std::to_string(id.serialNumber) + " prod " + std::to_string(id.productCode) + "\r\n";
  }

  const SimOptions& options_;
  const DeviceMemory& memory_;
};

// The Arvex bridge: a 'N' run wakes it, a 'P' run after that gets its name,
// and an 'O' run straight after the 'P' run restarts it into boot mode.
class Arvex : public Accessory {
 public:
  uint32_t LineRate() const override { return kArvexRate; }
  Event Feed(uint8_t byte) override {
    if (byte != letter_) {
      letter_ = byte;
      count_ = 0;
    }
    ++count_;
    if (count_ != RunLength(letter_)) return Event::kNone;  // later letters extend the run
    request_.payload.assign(count_, letter_);
    return Event::kRequest;
  }
  const AccessoryRequest& Request() const override { return request_; }
  void ResetReceiver() override {
    letter_ = 0;
    count_ = 0;
  }
  bool ReceiverIdle() const override { return count_ == 0; }

  AccessoryAnswer Answer(const AccessoryRequest& request) override {
    switch (request.payload.at(0)) {
      case kRunWake:
        stage_ = Stage::kAwake;
        return {};
      case kRunProbe:
        if (stage_ == Stage::kAsleep) return {};
        stage_ = Stage::kNamed;
        return {NameReply(), ReplyForm::kText};
      default:  // the boot run
        if (stage_ != Stage::kNamed) return {};
        stage_ = Stage::kAsleep;
        return {std::nullopt, ReplyForm::kText, true};
    }
  }

 private:
  enum class Stage { kAsleep, kAwake, kNamed };

  static size_t RunLength(uint8_t letter) {
    switch (letter) {
      case kRunWake:
        return kWakeRunLength;
      case kRunProbe:
        return kProbeRunLength;
      case kRunBoot:
        return kBootRunLength;
      default:
        return 0;  // not a control letter: never a run
    }
  }
  static Bytes NameReply() {
    Bytes reply(std::begin(kBridgeNoise), std::end(kBridgeNoise));
    reply.insert(reply.end(), std::begin(kBridgeName), std::end(kBridgeName) - 1);
    return reply;
  }

  uint8_t letter_ = 0;
  size_t count_ = 0;
  Stage stage_ = Stage::kAsleep;
  AccessoryRequest request_{RequestKind::kLetterRun, {}};
};

}  // namespace

uint32_t AccessoryLineRate(Personality personality) {
  switch (personality) {
    case Personality::kZirconBox:
      return kZirconBoxRate;
    case Personality::kSensorZircon:
      return kSensorZirconRate;
    case Personality::kDelmo:
      return kDelmoRate;
    case Personality::kArvex:
      return kArvexRate;
    case Personality::kBoot:
      break;
  }
  return 0;
}

std::unique_ptr<Accessory> MakeAccessory(const SimOptions& options, const DeviceMemory& memory) {
  switch (options.personality) {
    case Personality::kZirconBox:
      return std::make_unique<Zircon>(kZirconBoxRate, "KE", options, memory);
    case Personality::kSensorZircon:
      return std::make_unique<Zircon>(kSensorZirconRate, "NK", options, memory);
    case Personality::kDelmo:
      return std::make_unique<Delmo>(options, memory);
    case Personality::kArvex:
      return std::make_unique<Arvex>();
    case Personality::kBoot:
      break;
  }
  return nullptr;
}

}  // namespace bq::sim
