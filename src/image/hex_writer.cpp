#include "image/hex_writer.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "image/firmware_loader.h"
#include "image/hex_record.h"

namespace bq {
namespace {

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
        out += IntelHexLinearAddress(*page) + "\r\n";
      }
      // A record never crosses into the next page.
      const size_t pageLeft = 0x10000 - (address & 0xFFFF);
      const size_t count = std::min({kHexRecordBytes, segment.data.size() - done, pageLeft});
      out += IntelHexRecord(kHexData, static_cast<uint16_t>(address),
                            segment.data.subspan(done, count)) +
             "\r\n";
      done += count;
    }
  }
  out += IntelHexRecord(kHexEnd, 0, {}) + "\r\n";
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
