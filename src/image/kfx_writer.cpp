#include "image/kfx_writer.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <span>

#include "image/firmware_loader.h"
#include "image/hex_record.h"

namespace bq {

namespace {

// The byte layout the loader's DecodeHeaderRecord reads.
std::string HeaderRecord(const FirmwareHeader& header) {
  std::array<uint8_t, kHeaderRecordSize> bytes{};
  bytes[0] = header.productCode;
  bytes[1] = static_cast<uint8_t>(header.serialNumber);
  bytes[2] = header.version;
  bytes[8] = header.revision;
  bytes[13] = static_cast<uint8_t>(header.serialNumber >> 8);
  return IntelHexRecord(kHexProductHeader, 0, bytes);
}

// Non-blank records of one area that starts at address (upper word, offset) 0
// of upperBase, each 64K of it after its own extended linear address record.
void AddArea(std::vector<std::string>& lines, std::span<const uint8_t> area, uint32_t upperBase) {
  std::optional<uint32_t> upperWritten;
  for (size_t at = 0; at < area.size(); at += kKfxBytesPerRecord) {
    auto chunk = area.subspan(at, std::min(kKfxBytesPerRecord, area.size() - at));
    if (std::all_of(chunk.begin(), chunk.end(), [](uint8_t b) { return b == 0xFF; })) continue;
    const uint32_t upper = upperBase + static_cast<uint32_t>(at >> 16);
    if (upperWritten != upper) lines.push_back(IntelHexLinearAddress(upper));
    upperWritten = upper;
    lines.push_back(IntelHexRecord(kHexData, static_cast<uint16_t>(at), chunk));
  }
}

// Writes all of text to fd; the system's error, or 0.
int WriteAll(int fd, const std::string& text) {
  size_t done = 0;
  while (done < text.size()) {
    ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return errno;
    done += static_cast<size_t>(n);
  }
  return 0;
}

// Gives the complete temporary file its final name, unless that name is taken.
int PublishWithoutReplacing(const std::string& temp, const std::string& path) {
  if (::renameat2(AT_FDCWD, temp.c_str(), AT_FDCWD, path.c_str(), RENAME_NOREPLACE) == 0) return 0;
  if (errno != EINVAL && errno != ENOSYS) return errno;
  // A file system without that rename: a hard link fails just as well on a taken name.
  if (::link(temp.c_str(), path.c_str()) != 0) return errno;
  ::unlink(temp.c_str());
  return 0;
}

}  // namespace

std::vector<std::string> KfxRecords(const FirmwareImage& image, const FirmwareHeader& header) {
  std::vector<std::string> lines{HeaderRecord(header)};
  AddArea(lines, image.flash, 0);
  AddArea(lines, image.config, kConfigUpperWord);
  AddArea(lines, image.eeprom, kEepromUpperWord);
  lines.push_back(IntelHexRecord(kHexEnd, 0, {}));
  return lines;
}

std::optional<KfxWriteError> WriteKfxFile(const std::string& path, const FirmwareImage& image,
                                          const FirmwareHeader& header) {
  if (::access(path.c_str(), F_OK) == 0) return KfxWriteError{KfxWriteError::Kind::Exists, EEXIST};
  const size_t slash = path.rfind('/');
  const size_t nameAt = slash == std::string::npos ? 0 : slash + 1;
  const std::string temp = path.substr(0, nameAt) + "." + path.substr(nameAt) + "." +
                           std::to_string(::getpid()) + ".tmp";
  const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd < 0) return KfxWriteError{KfxWriteError::Kind::Create, errno};

  std::string text;
  for (const auto& line : KfxRecords(image, header)) text += line + "\r\n";
  int err = WriteAll(fd, text);
  if (err == 0 && ::fsync(fd) != 0) err = errno;
  if (::close(fd) != 0 && err == 0) err = errno;
  if (err == 0) err = PublishWithoutReplacing(temp, path);
  if (err == 0) return std::nullopt;
  ::unlink(temp.c_str());
  return KfxWriteError{err == EEXIST ? KfxWriteError::Kind::Exists : KfxWriteError::Kind::Write,
                       err};
}

}  // namespace bq
