#include "image/firmware_loader.h"

#include <cerrno>
#include <filesystem>
#include <memory>
#include <optional>
#include <string_view>
#include <system_error>
#include <vector>

#include "image/catalogue.h"
#include "shell/file_system.h"

namespace bq {

namespace {

enum RecordType : uint8_t {
  kData = 0,
  kEndOfFile = 1,
  kExtendedLinearAddress = 4,
  kProductHeader = 6,
};

// Where the record lines come from; a line ends at LF.
class LineSource {
 public:
  virtual ~LineSource() = default;
  enum class Result { Line, End, Error };
  virtual Result Next(std::string& line) = 0;
  virtual int error() const { return 0; }
};

// The lines of a text already in memory.
class TextLines : public LineSource {
 public:
  explicit TextLines(std::string_view text) : text_(text) {}

  Result Next(std::string& line) override {
    if (pos_ >= text_.size()) return Result::End;
    size_t nl = text_.find('\n', pos_);
    if (nl == std::string_view::npos) nl = text_.size();  // a last line without its LF
    line.assign(text_.substr(pos_, nl - pos_));
    pos_ = nl + 1;
    return Result::Line;
  }

 private:
  std::string_view text_;
  size_t pos_ = 0;
};

// Reads an open file line by line.
class LineReader : public LineSource {
 public:
  explicit LineReader(std::unique_ptr<FileReader> file) : file_(std::move(file)) {}

  Result Next(std::string& line) override {
    line.clear();
    for (;;) {
      size_t nl = buffer_.find('\n', pos_);
      if (nl != std::string::npos) {
        line.assign(buffer_, pos_, nl - pos_);
        pos_ = nl + 1;
        return Result::Line;
      }
      buffer_.erase(0, pos_);
      pos_ = 0;
      char chunk[65536];
      const std::ptrdiff_t n = file_->Read(chunk, sizeof chunk, &error_);
      if (n < 0) return Result::Error;
      if (n == 0) {
        if (buffer_.empty()) return Result::End;
        line.swap(buffer_);  // a last line without its LF
        buffer_.clear();
        return Result::Line;
      }
      buffer_.append(chunk, static_cast<size_t>(n));
    }
  }
  int error() const override { return error_; }

 private:
  std::unique_ptr<FileReader> file_;
  std::string buffer_;
  size_t pos_ = 0;
  int error_ = 0;
};

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// The bytes of one record line (after its ':'), or the reason it is malformed.
struct DecodedLine {
  std::vector<uint8_t> bytes;
  std::string problem;  // "" when the record is well formed
};

DecodedLine DecodeRecordBytes(const std::string& line) {
  DecodedLine out;
  // Trailing blanks (and a CR of a CR LF file) are not part of the record.
  size_t end = line.size();
  while (end > 1 && (line[end - 1] == ' ' || line[end - 1] == '\t' || line[end - 1] == '\r')) {
    --end;
  }
  for (size_t i = 1; i < end; ++i) {
    if (HexValue(line[i]) < 0) {
      out.problem = "caractere inválido no registro.";
      return out;
    }
  }
  const size_t digits = end - 1;
  if (digits % 2 != 0) {
    out.problem = "tamanho do registro errado.";
    return out;
  }
  for (size_t i = 1; i < end; i += 2) {
    out.bytes.push_back(static_cast<uint8_t>(HexValue(line[i]) * 16 + HexValue(line[i + 1])));
  }
  // count, two address bytes, type, the data and the checksum
  if (out.bytes.size() < 5 || out.bytes.size() != size_t{out.bytes[0]} + 5) {
    out.problem = "tamanho do registro errado.";
  }
  return out;
}

// Where the data of one record goes; nullopt when it falls outside the image.
std::optional<uint8_t*> DataTarget(FirmwareImage& image, uint32_t upperWord, uint16_t offset,
                                   size_t count) {
  auto fits = [&](uint64_t start, size_t size) { return start + count <= size; };
  if (upperWord < kConfigUpperWord) {
    uint64_t address = uint64_t{upperWord} * 0x10000 + offset;
    if (!fits(address, image.flash.size())) return std::nullopt;
    return image.flash.data() + address;
  }
  if (upperWord < kEepromUpperWord) {
    if (!fits(offset, image.config.size())) return std::nullopt;
    return image.config.data() + offset;
  }
  if (!fits(offset, image.eeprom.size())) return std::nullopt;
  return image.eeprom.data() + offset;
}

}  // namespace

const char* MemorySizeText(bool memory128K) {
  return memory128K ? "128K" : "64K";
}

void DecodeHeaderRecord(uint16_t addressField, const std::array<uint8_t, kHeaderRecordSize>& bytes,
                        FirmwareHeader& header) {
  if (addressField != 0) return;
  header.productCode = bytes[0];
  header.serialNumber = static_cast<uint16_t>(bytes[13] * 256 + bytes[1]);
  header.version = bytes[2];
  header.revision = bytes[8];
}

namespace {

// Applies one decoded record; the problem when it cannot be applied.
struct RecordParser {
  FirmwareImage& image;
  FirmwareHeader& header;
  LoadResult& result;
  uint32_t upperWord = 0;
  bool endRecord = false;
  bool hasHeader = false;

  std::string Apply(const std::vector<uint8_t>& b) {
    const size_t count = b[0];
    const uint16_t offset = static_cast<uint16_t>(b[1] * 256 + b[2]);
    const uint8_t* data = b.data() + 4;
    switch (b[3]) {
      case kData: {
        if (count == 0) break;
        auto target = DataTarget(image, upperWord, offset, count);
        if (!target) return "endereço fora da memória.";
        std::copy(data, data + count, *target);
        break;
      }
      case kEndOfFile:
        endRecord = true;
        break;
      case kExtendedLinearAddress:
        if (count != 2) return "tamanho do registro errado.";
        upperWord = data[0] * 256u + data[1];
        break;
      case kProductHeader:
        ApplyHeader(count, offset, data);
        break;
      default:  // segment addresses and the rest are not applied
        break;
    }
    return {};
  }

  void ApplyHeader(size_t count, uint16_t offset, const uint8_t* data) {
    if (count == 0) return;
    hasHeader = true;
    if (count != kHeaderRecordSize) {
      ++result.wrongSizeHeaders;
      return;
    }
    std::array<uint8_t, kHeaderRecordSize> bytes{};
    std::copy(data, data + kHeaderRecordSize, bytes.begin());
    DecodeHeaderRecord(offset, bytes, header);
  }

  // The problem with one line, or "" when it was applied.
  std::string ParseLine(const std::string& line) {
    if (line[0] != ':') return "não começa com [:]";
    DecodedLine record = DecodeRecordBytes(line);
    if (!record.problem.empty()) return record.problem;
    uint8_t sum = 0;
    for (uint8_t b : record.bytes) sum = static_cast<uint8_t>(sum + b);
    if (sum != 0) return "check sum error.";
    return Apply(record.bytes);
  }

  void FinishHeader() {
    if (!hasHeader) {
      header.version = image.flash[kFirmwareVersionAddress];
      header.revision = image.flash[kFirmwareRevisionAddress];
      header.productCode = image.flash[kFirmwareProductAddress];
      header.serialNumber = 0;
    }
    header.memory128K = ProductMemory128K(header.productCode);
  }
};

}  // namespace

namespace {

// Refills the image from the lines and fills header, as LoadFirmwareFile says.
LoadResult LoadFromLines(LineSource& lines, FirmwareImage& image, FirmwareHeader& header) {
  LoadResult result;
  image.FillBlank();
  RecordParser parser{image, header, result};
  std::string line;
  int lineNumber = 0;
  while (!parser.endRecord) {
    auto next = lines.Next(line);
    if (next == LineSource::Result::End) break;
    if (next == LineSource::Result::Error) {
      result.error = LoadError{LoadError::Kind::Read, lines.error(), lineNumber, {}};
      return result;
    }
    ++lineNumber;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty()) continue;
    if (std::string problem = parser.ParseLine(line); !problem.empty()) {
      result.error = LoadError{LoadError::Kind::BadLine, 0, lineNumber, problem};
      return result;
    }
  }
  parser.FinishHeader();
  return result;
}

}  // namespace

LoadResult LoadFirmwareFile(const std::string& fileName, FirmwareImage& image,
                            FirmwareHeader& header) {
  int error = 0;
  std::unique_ptr<FileReader> file = OpenRegularFileForReading(fileName, &error);
  if (!file) {
    LoadResult result;
    result.error = LoadError{LoadError::Kind::Open, error, 0, {}};
    return result;
  }
  LineReader reader(std::move(file));
  return LoadFromLines(reader, image, header);
}

LoadResult LoadFirmwareText(std::string_view text, FirmwareImage& image, FirmwareHeader& header) {
  TextLines lines(text);
  return LoadFromLines(lines, image, header);
}

}  // namespace bq
