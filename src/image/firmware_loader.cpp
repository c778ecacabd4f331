#include "image/firmware_loader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <optional>
#include <system_error>
#include <vector>

#include "image/catalogue.h"
#include "image/dump_view.h"
#include "shell/context.h"
#include "shell/utilities.h"

namespace bq {

namespace {

enum RecordType : uint8_t {
  kData = 0,
  kEndOfFile = 1,
  kExtendedLinearAddress = 4,
  kProductHeader = 6,
};

std::string ErrnoText(int err) {
  return std::system_category().message(err);
}

std::string LinePrefix(int lineNumber) {
  return "Linha " + std::to_string(lineNumber) + ": ";
}

// Reads a file line by line through one open descriptor; a line ends at LF.
class LineReader {
 public:
  explicit LineReader(int fd) : fd_(fd) {}
  ~LineReader() { ::close(fd_); }
  LineReader(const LineReader&) = delete;
  LineReader& operator=(const LineReader&) = delete;

  enum class Result { Line, End, Error };

  Result Next(std::string& line) {
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
      ssize_t n = ::read(fd_, chunk, sizeof chunk);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) {
        error_ = errno;
        return Result::Error;
      }
      if (n == 0) {
        if (buffer_.empty()) return Result::End;
        line.swap(buffer_);  // a last line without its LF
        buffer_.clear();
        return Result::Line;
      }
      buffer_.append(chunk, static_cast<size_t>(n));
    }
  }
  int error() const { return error_; }

 private:
  int fd_;
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

void ShowHeaderFields(OperatorInterface& ui, const FirmwareHeader& header) {
  ui.SetField(Field::edNsKfxLido, std::to_string(header.serialNumber));
  ui.SetField(Field::edVerKfxLido, std::to_string(header.version));
  ui.SetField(Field::edRevKfxLido, std::to_string(header.revision));
  ui.SelectCombo(Combo::cbCodigoProdutoKfxLido,
                 header.productCode < kProductCount ? header.productCode : -1);
  ui.SetField(Field::edTamMemoKfxLido, MemorySizeText(header.memory128K));
}

std::string AbsolutePath(const std::string& path) {
  std::error_code ec;
  auto abs = std::filesystem::absolute(path, ec);
  return ec ? path : abs.lexically_normal().string();
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

bool LoadFirmwareFile(OperatorInterface& ui, FirmwareImage& image, const std::string& fileName,
                      FirmwareHeader& header) {
  int fd = ::open(fileName.c_str(), O_RDONLY | O_CLOEXEC);
  struct stat st {};
  if (fd >= 0 && ::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
    ::close(fd);
    fd = -1;
    errno = EISDIR;
  }
  if (fd < 0) {
    ui.ShowErrorBox("Erro abrindo arquivo [" + fileName + "] =" + ErrnoText(errno));
    return false;
  }
  LineReader reader(fd);

  int lineNumber = 0;
  ui.ShowStatus(" Carregando hex.", false);
  image.FillBlank();
  uint32_t upperWord = 0;
  bool endRecord = false;
  bool hasHeader = false;

  auto fail = [&](const std::string& problem) {
    ui.ShowMessage(LinePrefix(lineNumber) + problem);
    return false;
  };

  std::string line;
  while (!endRecord) {
    auto result = reader.Next(line);
    if (result == LineReader::Result::End) break;
    if (result == LineReader::Result::Error) {
      ui.ShowErrorBox("Erro lendo arquivo [" + fileName + "] =" + ErrnoText(reader.error()));
      return false;
    }
    ++lineNumber;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty()) continue;
    if (line[0] != ':') return fail("não começa com [:]");

    DecodedLine record = DecodeRecordBytes(line);
    if (!record.problem.empty()) return fail(record.problem);
    uint8_t sum = 0;
    for (uint8_t b : record.bytes) sum = static_cast<uint8_t>(sum + b);
    if (sum != 0) return fail("check sum error.");

    const auto& b = record.bytes;
    const size_t count = b[0];
    const uint16_t offset = static_cast<uint16_t>(b[1] * 256 + b[2]);
    const uint8_t* data = b.data() + 4;
    switch (b[3]) {
      case kData: {
        if (count == 0) break;
        auto target = DataTarget(image, upperWord, offset, count);
        if (!target) return fail("endereço fora da memória.");
        std::copy(data, data + count, *target);
        break;
      }
      case kEndOfFile:
        endRecord = true;
        break;
      case kExtendedLinearAddress:
        if (count != 2) return fail("tamanho do registro errado.");
        upperWord = data[0] * 256u + data[1];
        break;
      case kProductHeader:
        if (count == 0) break;
        hasHeader = true;
        if (count == kHeaderRecordSize) {
          std::array<uint8_t, kHeaderRecordSize> bytes{};
          std::copy(data, data + kHeaderRecordSize, bytes.begin());
          DecodeHeaderRecord(offset, bytes, header);
        } else {
          ui.ShowMessage("Dados padrão Quarn tamanho errado");
        }
        break;
      default:  // segment addresses and the rest are not applied
        break;
    }
  }

  if (!hasHeader) {
    header.version = image.flash[kFirmwareVersionAddress];
    header.revision = image.flash[kFirmwareRevisionAddress];
    header.productCode = image.flash[kFirmwareProductAddress];
    header.serialNumber = 0;
  }
  header.memory128K = ProductMemory128K(header.productCode);
  ui.ShowStatus(" Arquivo carregado Ok.", false);
  return true;
}

bool LoadFirmwareFile(Context& ctx, const std::string& fileName, FirmwareHeader& header) {
  return LoadFirmwareFile(ctx.ui, *ctx.image, fileName, header);
}

bool LoadAndShowFirmware(Context& ctx, const std::string& fileName, FirmwareHeader& header) {
  bool loaded = LoadFirmwareFile(ctx, fileName, header);
  ShowHeaderFields(ctx.ui, header);
  return loaded;
}

bool LoadForKfxGeneration(Context& ctx, const std::string& fileName) {
  bool loaded = LoadFirmwareFile(ctx, fileName, ctx.kfxHeader);
  const FirmwareHeader& h = ctx.kfxHeader;
  ctx.ui.SetField(Field::edVerHex2Kfx, std::to_string(h.version));
  ctx.ui.SetField(Field::edRevHex2Kfx, std::to_string(h.revision));
  ctx.ui.SelectCombo(Combo::cbCodigoProdutoHex2Kfx,
                     h.productCode < kProductCount ? h.productCode : -1);
  ctx.ui.SetField(Field::edTamMemoHex2Kfx, MemorySizeText(h.memory128K));
  ShowFlashDump(ctx);
  ShowEepromDump(ctx);
  return loaded;
}

// The file dialog accepts only a file that exists; a path given otherwise is
// held to the same rule before it reaches the settings.
static bool ExistingFile(OperatorInterface& ui, const std::string& file) {
  std::error_code ec;
  if (std::filesystem::exists(file, ec)) return true;
  ui.ShowErrorBox("Erro abrindo arquivo [" + file + "] =" + ErrnoText(ec ? ec.value() : ENOENT));
  return false;
}

bool ChooseFirmwareFile(Context& ctx, const std::string& path, FirmwareHeader& header) {
  const std::string file = AbsolutePath(path);
  if (!ExistingFile(ctx.ui, file)) return false;
  ctx.settings.firmwareFile = file;
  ctx.settings.dataFolder = FolderOf(file);
  ctx.ui.SetField(Field::edNomeArquivoKFX, file);
  return LoadAndShowFirmware(ctx, file, header);
}

bool ChooseKfxSourceFile(Context& ctx, const std::string& path) {
  const std::string file = AbsolutePath(path);
  if (!ExistingFile(ctx.ui, file)) return false;
  ctx.settings.kfxSourceFile = file;
  ctx.settings.dataFolder = FolderOf(file);
  ctx.ui.SetField(Field::edNomeArquivoHex2Kfx, file);
  return LoadForKfxGeneration(ctx, file);
}

}  // namespace bq
