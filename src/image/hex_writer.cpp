#include "image/hex_writer.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "image/firmware_loader.h"

namespace bq {
namespace {

constexpr uint8_t kDataRecord = 0;
constexpr uint8_t kEndRecord = 1;
constexpr uint8_t kLinearAddressRecord = 4;

void AppendRecord(std::string& out, uint8_t type, uint16_t offset, std::span<const uint8_t> data) {
  std::vector<uint8_t> bytes = {static_cast<uint8_t>(data.size()),
                                static_cast<uint8_t>(offset >> 8), static_cast<uint8_t>(offset),
                                type};
  bytes.insert(bytes.end(), data.begin(), data.end());
  uint8_t sum = 0;
  for (uint8_t b : bytes) sum = static_cast<uint8_t>(sum + b);
  bytes.push_back(static_cast<uint8_t>(-sum));
  out += ':';
  char hex[3];
  for (uint8_t b : bytes) {
    std::snprintf(hex, sizeof hex, "%02X", b);
    out += hex;
  }
  out += "\r\n";
}

bool WriteAll(int fd, const std::string& text) {
  size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

}  // namespace

HexSegment FlashSegment(const FirmwareImage& image, uint32_t first, uint32_t last) {
  return {first, std::span<const uint8_t>(image.flash).subspan(first, last - first + 1)};
}

HexSegment EepromSegment(const FirmwareImage& image, uint32_t first, uint32_t last) {
  return {kEepromUpperWord << 16 | first,
          std::span<const uint8_t>(image.eeprom).subspan(first, last - first + 1)};
}

std::string IntelHexText(std::span<const HexSegment> segments) {
  std::string out;
  std::optional<uint32_t> page;  // the upper word in force
  for (const HexSegment& segment : segments) {
    size_t done = 0;
    while (done < segment.data.size()) {
      const uint32_t address = segment.address + static_cast<uint32_t>(done);
      if (page != address >> 16) {
        page = address >> 16;
        const uint8_t word[2] = {static_cast<uint8_t>(*page >> 8), static_cast<uint8_t>(*page)};
        AppendRecord(out, kLinearAddressRecord, 0, word);
      }
      // A record never crosses into the next page.
      const size_t pageLeft = 0x10000 - (address & 0xFFFF);
      const size_t count = std::min({kHexRecordBytes, segment.data.size() - done, pageLeft});
      AppendRecord(out, kDataRecord, static_cast<uint16_t>(address),
                   segment.data.subspan(done, count));
      done += count;
    }
  }
  AppendRecord(out, kEndRecord, 0, {});
  return out;
}

std::optional<HexWriteError> WriteIntelHex(const std::string& path,
                                           std::span<const HexSegment> segments) {
  const std::string text = IntelHexText(segments);
  const std::string temporary = path + ".part";
  const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) return HexWriteError{HexWriteError::Kind::Open, errno};
  bool written = WriteAll(fd, text) && ::fsync(fd) == 0;
  int error = written ? 0 : errno;
  if (::close(fd) != 0 && written) {
    written = false;
    error = errno;
  }
  if (!written) {
    ::unlink(temporary.c_str());
    return HexWriteError{HexWriteError::Kind::Write, error};
  }
  if (std::rename(temporary.c_str(), path.c_str()) != 0) {
    error = errno;
    ::unlink(temporary.c_str());
    return HexWriteError{HexWriteError::Kind::Place, error};
  }
  return std::nullopt;
}

std::string HexWriteErrorText(const HexWriteError& error) {
  return std::strerror(error.osError);
}

}  // namespace bq
