#include "boot/boot_commands.h"

#include <algorithm>
#include <stdexcept>
#include <string>

#include "boot/boot_exchange.h"
#include "boot/boot_protocol.h"
#include "serial/boot_port.h"
#include "shell/context.h"

namespace bq {
namespace {

using namespace boot;

constexpr uint8_t kUnused = 0xFF;
constexpr uint8_t kEepromBlockSize = 16;
// Flash counts are in 8-byte units; 31 units is the most one frame can carry.
constexpr uint8_t kFlashUnit = 8;
constexpr uint8_t kMaxFlashCount = 31;

uint8_t High(uint32_t address) {
  return static_cast<uint8_t>(address >> 8);
}
uint8_t Low(uint32_t address) {
  return static_cast<uint8_t>(address);
}
uint8_t Upper(uint32_t address) {
  return static_cast<uint8_t>(address >> 16);
}

// The image bytes a command moves; a range outside the image would read or compare
// memory that is not there, so it is refused before anything goes on the wire.
const uint8_t* FlashSpan(Context& ctx, uint32_t address, uint8_t count) {
  if (count > kMaxFlashCount) {
    throw std::invalid_argument("flash count " + std::to_string(count) +
                                " exceeds one frame (at most 31)");
  }
  if (address + kFlashUnit * count > kFlashSize) {
    throw std::out_of_range("flash block at " + std::to_string(address) +
                            " runs past the end of the image");
  }
  return ctx.image->flash.data() + address;
}

const uint8_t* EepromSpan(Context& ctx, uint32_t address) {
  if (address + kEepromBlockSize > kEepromSize) {
    throw std::out_of_range("EEPROM block at " + std::to_string(address) +
                            " runs past the end of the image");
  }
  return ctx.image->eeprom.data() + address;
}

bool IsBlank(const uint8_t* data, size_t size) {
  return std::all_of(data, data + size, [](uint8_t b) { return b == 0xFF; });
}

// Fails with `message` shown when the reply is complete but not the expected one.
bool Expect(Context& ctx, const BootReply& reply, uint8_t length, uint8_t code,
            const char* message) {
  if (reply.Is(length, code)) return true;
  ctx.ui.ShowMessage(message);
  return false;
}

// The three flash writes share one shape: head, data, a one-byte reply.
struct FlashWrite {
  uint8_t replyCode;
  bool verifies;  // the loader reads back what it wrote and answers 0xA0 on a difference
};

bool SendFlashBlock(Context& ctx, BootRequest request, const uint8_t* data, uint8_t count,
                    const FlashWrite& kind) {
  const size_t size = size_t{kFlashUnit} * count;
  if (ctx.options.smartWrite && IsBlank(data, size)) return true;
  request.Append(data, size);
  BootReply reply;
  if (!ExchangeBootFrame(ctx, request, reply)) return false;
  if (reply.Is(1, kind.replyCode)) return true;
  if (!kind.verifies) {
    ctx.ui.ShowMessage(" Erro retorno WR flash");
  } else if (reply.Is(1, kReplyVerifyMismatch)) {
    ctx.ui.ShowMessage(" Erro na comparação do WR flash e verifica");
  } else {
    ctx.ui.ShowMessage(" Erro retorno WR flash e verifica");
  }
  return false;
}

}  // namespace

bool EraseAll(Context& ctx) {
  // The one-step erase takes seconds; these waits stay until the port is opened again.
  ApplyReadTimeouts(ctx, kLongEraseTimeouts);
  BootReply reply;
  if (!ExchangeBootFrame(ctx, {kEraseAll, 0x00, 0x00, 0x00, 0x00}, reply)) return false;
  return reply.length == 2 && reply.payload[0] == kReplyEraseAll &&
         reply.payload[1] == kReplyEraseAll;
}

bool EraseBlocks(Context& ctx, uint16_t address, uint8_t count) {
  BootReply reply;
  if (!ExchangeBootFrame(ctx, {kEraseBlocks, High(address), Low(address), count, 0x00}, reply)) {
    return false;
  }
  return reply.length == 2 && reply.payload[0] == kReplyEraseBlocks &&
         reply.payload[1] == kReplyEraseBlocks;
}

bool WriteProductType(Context& ctx, uint8_t productCode) {
  const uint8_t* code = kProductTypeAccessCode;
  BootRequest request{kWriteProductType, kUnused, kUnused, productCode, kUnused,
                      code[0],           code[1], code[2], code[3],     kUnused};
  BootReply reply;
  if (!ExchangeBootFrame(ctx, request, reply)) return false;
  return Expect(ctx, reply, 1, kReplyProductType, " Erro no comando GRAVA TipoProduto");
}

bool ReadBootVersion(Context& ctx) {
  ctx.identity.bootLoaderVersion = 0;
  ctx.identity.hardwareVersion = 0;
  BootReply reply;
  if (!ExchangeBootFrame(ctx, {kReadBootVersion, kUnused, kUnused, kUnused}, reply)) {
    return false;
  }
  const bool shortReply = reply.Is(3, kReplyVersion);
  const bool longReply = reply.Is(6, kReplyVersion);
  if (!shortReply && !longReply) {
    ctx.ui.ShowMessage(" Erro le versao boot");
    return false;
  }
  ctx.identity.bootLoaderVersion = reply.payload[1] * 256u + reply.payload[2];
  if (longReply) ctx.identity.hardwareVersion = reply.payload[3];

  const std::string text = FormatBootVersion(ctx.identity.bootLoaderVersion);
  ctx.ui.SetField(Field::edVersaoBoot, text);
  ctx.ui.SetField(Field::edVersaoBootR2, text);
  ctx.ui.SetField(Field::edVerHard, std::to_string(ctx.identity.hardwareVersion));
  return true;
}

bool ReadDeviceIdentity(Context& ctx, DeviceIdentity& identity) {
  BootReply reply;
  if (!ExchangeBootFrame(ctx, {kReadIdentity, kUnused, kUnused, kUnused}, reply)) return false;
  if (!Expect(ctx, reply, 7, kReplyIdentity, " Erro no comando LE NS")) return false;
  const auto& p = reply.payload;
  identity.serialNumber = static_cast<uint16_t>(p[1] << 8 | p[2]);
  identity.firmwareVersion = p[3];
  identity.firmwareRevision = p[4];
  identity.productCode = p[5];
  return true;
}

bool WriteEepromBlock(Context& ctx, uint16_t address) {
  const uint8_t* data = EepromSpan(ctx, address);
  BootRequest request{kWriteEeprom, High(address), Low(address), kEepromBlockSize};
  request.Append(data, kEepromBlockSize);
  BootReply reply;
  if (!ExchangeBootFrame(ctx, request, reply)) return false;
  return Expect(ctx, reply, 1, kReplyWriteEeprom, " Erro retorno WR eeprom");
}

bool WriteVerifyFlashLong(Context& ctx, uint32_t address, uint8_t count) {
  const uint8_t* data = FlashSpan(ctx, address, count);
  return SendFlashBlock(ctx,
                        {kWriteVerifyFlashLong, Upper(address), High(address), Low(address), count},
                        data, count, {kReplyWriteVerifyLong, true});
}

bool WriteVerifyFlash(Context& ctx, uint16_t address, uint8_t count) {
  const uint8_t* data = FlashSpan(ctx, address, count);
  return SendFlashBlock(ctx, {kWriteVerifyFlash, High(address), Low(address), count}, data, count,
                        {kReplyWriteVerify, true});
}

bool WriteFlash(Context& ctx, uint16_t address, uint8_t count) {
  const uint8_t* data = FlashSpan(ctx, address, count);
  return SendFlashBlock(ctx, {kWriteFlash, High(address), Low(address), count}, data, count,
                        {kReplyWriteFlash, false});
}

bool ReadEepromBlock(Context& ctx, uint16_t address, std::array<uint8_t, 16>& data) {
  BootReply reply;
  if (!ExchangeBootFrame(ctx, {kReadEeprom, High(address), Low(address), kEepromBlockSize},
                         reply)) {
    return false;
  }
  if (!Expect(ctx, reply, 1 + kEepromBlockSize, kReplyReadEeprom, " Erro Leitura EEProm")) {
    return false;
  }
  std::copy_n(reply.payload.begin() + 1, kEepromBlockSize, data.begin());
  return true;
}

bool CompareEepromBlock(Context& ctx, uint16_t address) {
  const uint8_t* expected = EepromSpan(ctx, address);
  std::array<uint8_t, 16> read{};
  if (!ReadEepromBlock(ctx, address, read)) return false;
  if (!std::equal(read.begin(), read.end(), expected)) {
    ctx.ui.ShowMessage("Erro comparacao e2prom");
    return false;
  }
  return true;
}

bool CompareFlash(Context& ctx, uint16_t address, uint8_t count) {
  const uint8_t* expected = FlashSpan(ctx, address, count);
  const size_t size = size_t{kFlashUnit} * count;
  BootReply reply;
  if (!ExchangeBootFrame(ctx, {kCompareFlash, High(address), Low(address), count}, reply)) {
    return false;
  }
  if (!Expect(ctx, reply, static_cast<uint8_t>(size + 1), kReplyCompareFlash,
              " Erro Leitura flash")) {
    return false;
  }
  if (!std::equal(reply.payload.begin() + 1, reply.payload.begin() + 1 + size, expected)) {
    ctx.ui.ShowMessage("Erro comparacao flash");
    return false;
  }
  return true;
}

void ResetRun(Context& ctx) {
  // The loader leaves boot mode at once and never answers.
  BootRequest request{kResetRun, kUnused, kUnused, kUnused};
  SendBootFrame(ctx, request.Length(), request.Payload());
}

}  // namespace bq
