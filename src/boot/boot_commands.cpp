#include "boot/boot_commands.h"

#include <algorithm>
#include <cstdio>
#include <stdexcept>
#include <string>

#include "boot/boot_exchange.h"
#include "boot/boot_protocol.h"
#include "serial/boot_port.h"

namespace bq {

namespace {

using namespace boot;

constexpr uint8_t kUnused = 0xFF;

uint8_t High(uint32_t address) {
  return static_cast<uint8_t>(address >> 8);
}
uint8_t Low(uint32_t address) {
  return static_cast<uint8_t>(address);
}
uint8_t Upper(uint32_t address) {
  return static_cast<uint8_t>(address >> 16);
}

// The count byte of a flash command, in 8-byte units; a size no frame can carry
// is refused before anything goes on the wire.
uint8_t FlashUnits(std::span<const uint8_t> data) {
  if (data.empty() || data.size() % kFlashUnit != 0 || data.size() / kFlashUnit > kMaxFlashUnits) {
    throw std::invalid_argument("flash block of " + std::to_string(data.size()) +
                                " bytes is not 1 to 31 units of 8 bytes");
  }
  return static_cast<uint8_t>(data.size() / kFlashUnit);
}

// Fails with `message` shown when the reply is complete but not the expected one.
bool Expect(BootLink link, const BootReply& reply, uint8_t length, uint8_t code,
            const char* message) {
  if (reply.Is(length, code)) return true;
  link.ui.ShowMessage(message);
  return false;
}

// The three flash writes share one shape: head, data, a one-byte reply.
struct FlashWrite {
  uint8_t replyCode;
  bool verifies;  // the loader reads back what it wrote and answers 0xA0 on a difference
};

bool SendFlashBlock(BootLink link, BootRequest request, std::span<const uint8_t> data,
                    const FlashWrite& kind) {
  request.Append(data.data(), data.size());
  BootReply reply;
  if (!ExchangeBootFrame(link.port, request, reply)) return false;
  if (reply.Is(1, kind.replyCode)) return true;
  if (!kind.verifies) {
    link.ui.ShowMessage(" Erro retorno WR flash");
  } else if (reply.Is(1, kReplyVerifyMismatch)) {
    link.ui.ShowMessage(" Erro na comparação do WR flash e verifica");
  } else {
    link.ui.ShowMessage(" Erro retorno WR flash e verifica");
  }
  return false;
}

}  // namespace

bool EraseAll(BootLink link) {
  // The one-step erase takes seconds; these waits stay until the port is opened again.
  ApplyReadTimeouts(link.port, kLongEraseTimeouts);
  BootReply reply;
  if (!ExchangeBootFrame(link.port, {kEraseAll, 0x00, 0x00, 0x00, 0x00}, reply)) return false;
  return reply.length == 2 && reply.payload[0] == kReplyEraseAll &&
         reply.payload[1] == kReplyEraseAll;
}

bool EraseBlocks(BootLink link, uint16_t address, uint8_t count) {
  BootReply reply;
  if (!ExchangeBootFrame(link.port, {kEraseBlocks, High(address), Low(address), count, 0x00},
                         reply)) {
    return false;
  }
  return reply.length == 2 && reply.payload[0] == kReplyEraseBlocks &&
         reply.payload[1] == kReplyEraseBlocks;
}

bool WriteProductType(BootLink link, uint8_t productCode) {
  const uint8_t* code = kProductTypeAccessCode;
  BootRequest request{kWriteProductType, kUnused, kUnused, productCode, kUnused,
                      code[0],           code[1], code[2], code[3],     kUnused};
  BootReply reply;
  if (!ExchangeBootFrame(link.port, request, reply)) return false;
  return Expect(link, reply, 1, kReplyProductType, " Erro no comando GRAVA TipoProduto");
}

std::optional<BootVersionInfo> ReadBootVersion(BootLink link) {
  BootReply reply;
  if (!ExchangeBootFrame(link.port, {kReadBootVersion, kUnused, kUnused, kUnused}, reply)) {
    return std::nullopt;
  }
  const bool shortReply = reply.Is(3, kReplyVersion);
  const bool longReply = reply.Is(6, kReplyVersion);
  if (!shortReply && !longReply) {
    link.ui.ShowMessage(" Erro le versao boot");
    return std::nullopt;
  }
  BootVersionInfo info;
  info.bootLoaderVersion = reply.payload[1] * 256u + reply.payload[2];
  if (longReply) info.hardwareVersion = reply.payload[3];
  return info;
}

std::optional<DeviceIdentity> ReadDeviceIdentity(BootLink link) {
  BootReply reply;
  if (!ExchangeBootFrame(link.port, {kReadIdentity, kUnused, kUnused, kUnused}, reply)) {
    return std::nullopt;
  }
  if (!Expect(link, reply, 7, kReplyIdentity, " Erro no comando LE NS")) return std::nullopt;
  const auto& p = reply.payload;
  DeviceIdentity identity;
  identity.serialNumber = static_cast<uint16_t>(p[1] << 8 | p[2]);
  identity.firmwareVersion = p[3];
  identity.firmwareRevision = p[4];
  identity.productCode = p[5];
  return identity;
}

bool WriteEepromBlock(BootLink link, uint16_t address, EepromBlock data) {
  BootRequest request{kWriteEeprom, High(address), Low(address),
                      static_cast<uint8_t>(kEepromBlockSize)};
  request.Append(data.data(), data.size());
  BootReply reply;
  if (!ExchangeBootFrame(link.port, request, reply)) return false;
  return Expect(link, reply, 1, kReplyWriteEeprom, " Erro retorno WR eeprom");
}

bool WriteVerifyFlashLong(BootLink link, uint32_t address, std::span<const uint8_t> data) {
  const uint8_t units = FlashUnits(data);
  return SendFlashBlock(link,
                        {kWriteVerifyFlashLong, Upper(address), High(address), Low(address), units},
                        data, {kReplyWriteVerifyLong, true});
}

bool WriteVerifyFlash(BootLink link, uint16_t address, std::span<const uint8_t> data) {
  const uint8_t units = FlashUnits(data);
  return SendFlashBlock(link, {kWriteVerifyFlash, High(address), Low(address), units}, data,
                        {kReplyWriteVerify, true});
}

bool WriteFlash(BootLink link, uint16_t address, std::span<const uint8_t> data) {
  const uint8_t units = FlashUnits(data);
  return SendFlashBlock(link, {kWriteFlash, High(address), Low(address), units}, data,
                        {kReplyWriteFlash, false});
}

std::optional<std::array<uint8_t, kEepromBlockSize>> ReadEepromBlock(BootLink link,
                                                                     uint16_t address) {
  BootReply reply;
  if (!ExchangeBootFrame(
          link.port,
          {kReadEeprom, High(address), Low(address), static_cast<uint8_t>(kEepromBlockSize)},
          reply)) {
    return std::nullopt;
  }
  if (!Expect(link, reply, 1 + kEepromBlockSize, kReplyReadEeprom, " Erro Leitura EEProm")) {
    return std::nullopt;
  }
  std::array<uint8_t, kEepromBlockSize> data{};
  std::copy_n(reply.payload.begin() + 1, kEepromBlockSize, data.begin());
  return data;
}

bool CompareEepromBlock(BootLink link, uint16_t address, EepromBlock expected) {
  auto read = ReadEepromBlock(link, address);
  if (!read) return false;
  if (!std::equal(read->begin(), read->end(), expected.begin())) {
    link.ui.ShowMessage("Erro comparacao e2prom");
    return false;
  }
  return true;
}

std::optional<std::vector<uint8_t>> ReadFlash(BootLink link, uint16_t address, uint8_t units) {
  if (units == 0 || units > kMaxFlashUnits) {
    throw std::invalid_argument("flash read of " + std::to_string(units) + " units");
  }
  const size_t size = units * kFlashUnit;
  BootReply reply;
  if (!ExchangeBootFrame(link.port, {kCompareFlash, High(address), Low(address), units}, reply)) {
    return std::nullopt;
  }
  if (!Expect(link, reply, static_cast<uint8_t>(size + 1), kReplyCompareFlash,
              " Erro Leitura flash")) {
    return std::nullopt;
  }
  return std::vector<uint8_t>(reply.payload.begin() + 1, reply.payload.begin() + 1 + size);
}

bool CompareFlash(BootLink link, uint16_t address, std::span<const uint8_t> expected) {
  const uint8_t units = FlashUnits(expected);
  const size_t size = expected.size();
  BootReply reply;
  if (!ExchangeBootFrame(link.port, {kCompareFlash, High(address), Low(address), units}, reply)) {
    return false;
  }
  if (!Expect(link, reply, static_cast<uint8_t>(size + 1), kReplyCompareFlash,
              " Erro Leitura flash")) {
    return false;
  }
  if (!std::equal(reply.payload.begin() + 1, reply.payload.begin() + 1 + size, expected.begin())) {
    link.ui.ShowMessage("Erro comparacao flash");
    return false;
  }
  return true;
}

void ResetRun(BootLink link) {
  // The loader leaves boot mode at once and never answers.
  BootRequest request{kResetRun, kUnused, kUnused, kUnused};
  SendBootFrame(link.port, request.Length(), request.Payload());
}

std::string FormatBootVersion(uint32_t version) {
  char text[16];
  std::snprintf(text, sizeof text, "%u.%02u", static_cast<unsigned>(version / 256),
                static_cast<unsigned>(version % 256));
  return text;
}

}  // namespace bq
