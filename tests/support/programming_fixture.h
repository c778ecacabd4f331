#pragma once
// A virtual boot loader on a pseudo-terminal, a context pointing at it, an image
// to write and helpers to read back what the device received.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "app/context.h"
#include "boot/boot_protocol.h"
#include "hex_record.h"
#include "recording_operator.h"
#include "serial/boot_port.h"
#include "sim_device_fixture.h"
#include "virtual_device.h"

namespace bq::test {

inline constexpr uint16_t kOlderLoader = 0x0105;
inline constexpr uint16_t kNewerLoader = 0x0202;

// Fills [first, last] of the image's flash with a pattern that never holds 0xFF.
inline void FillFlash(FirmwareImage& image, uint32_t first, uint32_t last) {
  for (uint32_t a = first; a <= last; ++a) image.flash[a] = static_cast<uint8_t>((a * 7 + 3) % 251);
}

struct KfxHeader {
  uint8_t productCode = 5;
  uint16_t serialNumber = 1234;
  uint8_t version = 3;
  uint8_t revision = 7;
};

// A KFX file: the product header, then the image's flash from 0x800 to last in
// 16-byte records. badLine > 0 spoils the checksum of that line (counted from 1).
inline void WriteKfxFile(const std::string& path, const FirmwareImage& image, uint32_t last,
                         const KfxHeader& h, int badLine = 0) {
  std::vector<std::string> lines;
  std::vector<uint8_t> header(16, 0);
  header[0] = h.productCode;
  header[1] = static_cast<uint8_t>(h.serialNumber);
  header[2] = h.version;
  header[8] = h.revision;
  header[13] = static_cast<uint8_t>(h.serialNumber >> 8);
  lines.push_back(HexRecord(6, 0, header));
  for (uint32_t a = ApplicationStart; a <= last; a += 16) {
    lines.push_back(
        HexRecord(0, static_cast<uint16_t>(a),
                  std::vector<uint8_t>(image.flash.begin() + a, image.flash.begin() + a + 16)));
  }
  lines.push_back(HexRecord(1, 0, {}));
  if (badLine > 0) {
    std::string& line = lines.at(static_cast<size_t>(badLine - 1));
    line.back() = line.back() == '0' ? '1' : '0';
  }
  std::ofstream out(path, std::ios::binary);
  for (const auto& l : lines) out << l << "\r\n";
}

// The address a flash write, erase or compare request names.
inline uint32_t RequestAddress(const sim::Request& r) {
  if (r.command == boot::kWriteVerifyFlashLong) {
    return (uint32_t{r.payload[1]} << 16) | (uint32_t{r.payload[2]} << 8) | r.payload[3];
  }
  return (uint32_t{r.payload[1]} << 8) | r.payload[2];
}

class ProgrammingFixture : public SimDeviceFixture {
 protected:
  // The state ProgramDevice expects: the port open at the loader's rate and the
  // loader's version known. Missing replies cost the open's 1.1 s per byte.
  void Connect() {
    ASSERT_TRUE(OpenBootPort(station.ComPortQuarn, ctx.ui,
                             static_cast<uint16_t>(device->BaudRate()), ctx.settings.portName));
    station.identity.bootLoaderVersion = device->BootLoaderVersion();
  }

  std::vector<sim::Request> RequestsWith(uint8_t command) const {
    std::vector<sim::Request> out;
    for (const auto& r : device->Requests()) {
      if (r.command == command) out.push_back(r);
    }
    return out;
  }

  std::vector<uint32_t> AddressesOf(uint8_t command) const {
    std::vector<uint32_t> out;
    for (const auto& r : RequestsWith(command)) out.push_back(RequestAddress(r));
    return out;
  }

  // Whether the device's flash holds the image from ApplicationStart to last.
  bool FlashMatches(uint32_t last) const {
    auto flash = device->Flash();
    return std::equal(station.image->flash.begin() + ApplicationStart,
                      station.image->flash.begin() + last + 1, flash.begin() + ApplicationStart);
  }

  bool HasMessageStartingWith(const std::string& prefix) const {
    for (const auto& m : ui.Messages()) {
      if (m.rfind(prefix, 0) == 0) return true;
    }
    return false;
  }
};

}  // namespace bq::test
