// The firmware loader: record routing, header decoding, and every way a file
// is refused.
#include "image/firmware_loader.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <optional>

#include "app/context.h"
#include "app/firmware_commands.h"
#include "hex_record.h"
#include "image/catalogue.h"
#include "recording_operator.h"

namespace bq {
namespace {

namespace fs = std::filesystem;

// One record line with its checksum, in upper-case hex.
std::string Rec(uint8_t type, uint16_t address, const std::vector<uint8_t>& data) {
  return test::HexRecord(type, address, data);
}

std::string Upper(uint16_t word) {
  return Rec(4, 0, {static_cast<uint8_t>(word >> 8), static_cast<uint8_t>(word)});
}
const std::string kEnd = Rec(1, 0, {});

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

std::vector<uint8_t> Ramp(size_t n, uint8_t first) {
  std::vector<uint8_t> v(n);
  for (size_t i = 0; i < n; ++i) v[i] = static_cast<uint8_t>(first + i);
  return v;
}

// The product header of the example in the documentation: product 22, NS 36, v1 r7.
const std::vector<uint8_t> kHeader = {0x16, 0x24, 0x01, 0, 0, 0, 0, 0, 0x07, 0, 0, 0, 0, 0, 0, 0};
// Identity bytes at 0x0804..0x0806: version 5, revision 2, product 22.
const std::string kIdentity = Rec(0, 0x0804, {0x05, 0x02, 0x16});

enum class Buf { Flash, Config, Eeprom };
struct Probe {
  Buf buf;
  uint32_t address;
  std::vector<uint8_t> bytes;
};
struct Hdr {
  uint16_t serial;
  uint8_t version, revision, product;
  bool memory128K;
};

struct LoadCase {
  const char* name;
  std::vector<std::string> lines;
  bool ok;
  std::string message;  // the plain box shown, "" for none
  std::optional<Hdr> header;
  std::vector<Probe> probes;
};

const std::vector<LoadCase>& Cases() {
  static const std::vector<LoadCase> cases = {
      {"PlainHexTakesIdentityFromFlash", {kIdentity, kEnd}, true, "", Hdr{0, 5, 2, 22, false}, {}},
      {"HeaderRecordWinsOverFlashIdentity",
       {Rec(6, 0, kHeader), kIdentity, kEnd},
       true,
       "",
       Hdr{36, 1, 7, 22, false},
       {}},
      {"HeaderSerialHighByte",
       {Rec(6, 0, {10, 0xD2, 3, 0, 0, 0, 0, 0, 9, 0, 0, 0, 0, 0x04, 0, 0}), kEnd},
       true,
       "",
       Hdr{1234, 3, 9, 10, true},
       {}},
      {"HeaderWithOtherAddressIsIgnoredButCounts",
       {Rec(6, 1, kHeader), kIdentity, kEnd},
       true,
       "",
       Hdr{0, 0, 0, 0, false},
       {}},
      {"HeaderOfWrongSizeIsReportedAndLoadGoesOn",
       {Rec(6, 0, {1, 2, 3}), kIdentity, kEnd},
       true,
       "Dados padrão Quarn tamanho errado",
       Hdr{0, 0, 0, 0, false},
       {{Buf::Flash, 0x0804, {5, 2, 0x16}}}},
      {"EmptyHeaderRecordIsIgnored",
       {Rec(6, 0, {}), kIdentity, kEnd},
       true,
       "",
       Hdr{0, 5, 2, 22, false},
       {}},
      {"ExtendedLinearAddress",
       {Upper(1), Rec(0, 0x1000, {0xAA, 0xBB}), kEnd},
       true,
       "",
       std::nullopt,
       {{Buf::Flash, 0x11000, {0xAA, 0xBB}}, {Buf::Flash, 0x1000, {0xFF}}}},
      {"ConfigurationAndEepromRouting",
       {Upper(0x30), Rec(0, 0x0004, {1, 2}), Upper(0xEF), Rec(0, 0x001E, {3, 4}), Upper(0xF0),
        Rec(0, 0x0123, {5, 6}), Upper(0xFFFF), Rec(0, 0x0FFE, {7, 8}), kEnd},
       true,
       "",
       std::nullopt,
       {{Buf::Config, 4, {1, 2}},
        {Buf::Config, 30, {3, 4}},
        {Buf::Eeprom, 0x123, {5, 6}},
        {Buf::Eeprom, 0xFFE, {7, 8}},
        {Buf::Flash, 0x0004, {0xFF, 0xFF}}}},
      {"SegmentAddressIsNotApplied",
       {Upper(1), Rec(2, 0, {0x10, 0x00}), Rec(0, 0x0100, {0x42}), kEnd},
       true,
       "",
       std::nullopt,
       {{Buf::Flash, 0x10100, {0x42}}}},
      {"EndRecordStopsReading",
       {Rec(0, 0x0800, {1}), kEnd, "not a record", Rec(0, 0x0801, {2})},
       true,
       "",
       std::nullopt,
       {{Buf::Flash, 0x0800, {1, 0xFF}}}},
      {"MissingEndRecordIsFine",
       {Rec(0, 0x0800, {1, 2})},
       true,
       "",
       std::nullopt,
       {{Buf::Flash, 0x0800, {1, 2}}}},
      {"TrailingBlanksAndEmptyLinesAreIgnored",
       {"", Rec(0, 0x0800, {9}) + "   \t", "", kEnd},
       true,
       "",
       std::nullopt,
       {{Buf::Flash, 0x0800, {9}}}},
      {"LowerCase255ByteRecordsAsToolsWriteThem",
       {Lower(Upper(0)), Lower(Rec(0, 0x0800, Ramp(255, 0))), Lower(Rec(0, 0x08FF, Ramp(255, 7))),
        Lower(kEnd)},
       true,
       "",
       std::nullopt,
       {{Buf::Flash, 0x0800, Ramp(255, 0)}, {Buf::Flash, 0x08FF, Ramp(255, 7)}}},
      {"LastBytesOfEachBuffer",
       {Upper(1), Rec(0, 0xFFFE, {1, 2}), Upper(0x30), Rec(0, 31, {3}), kEnd},
       true,
       "",
       std::nullopt,
       {{Buf::Flash, 0x1FFFE, {1, 2}}, {Buf::Config, 31, {3}}}},
      // Refused files: the message names the line, counted from 1 with empty lines.
      {"NoColon",
       {Rec(0, 0x0800, {1}), "", "0100000000FF"},
       false,
       "Linha 3: não começa com [:]",
       std::nullopt,
       {{Buf::Flash, 0x0800, {1}}}},
      {"BadChecksumKeepsEarlierLines",
       {Rec(0, 0x0800, {1}), ":010801000200"},
       false,
       "Linha 2: check sum error.",
       std::nullopt,
       {{Buf::Flash, 0x0800, {1, 0xFF}}}},
      {"CountLargerThanLine",
       {":10080000AABB8B"},
       false,
       "Linha 1: tamanho do registro errado.",
       std::nullopt,
       {{Buf::Flash, 0x0800, {0xFF}}}},
      {"CountSmallerThanLine",
       {":010800000102F4"},
       false,
       "Linha 1: tamanho do registro errado.",
       std::nullopt,
       {}},
      {"TooShort", {":0000"}, false, "Linha 1: tamanho do registro errado.", std::nullopt, {}},
      {"OddDigitCount",
       {":0108000001F"},
       false,
       "Linha 1: tamanho do registro errado.",
       std::nullopt,
       {}},
      {"NonHexCharacter",
       {":01080000G1F6"},
       false,
       "Linha 1: caractere inválido no registro.",
       std::nullopt,
       {}},
      {"BlankInsideRecord",
       {":01 080000 01F6"},
       false,
       "Linha 1: caractere inválido no registro.",
       std::nullopt,
       {}},
      {"LinearAddressOfWrongSize",
       {Rec(4, 0, {1})},
       false,
       "Linha 1: tamanho do registro errado.",
       std::nullopt,
       {}},
      {"FlashPastTheEnd",
       {kIdentity, Upper(1), Rec(0, 0xFFF0, Ramp(32, 0))},
       false,
       "Linha 3: endereço fora da memória.",
       std::nullopt,
       {{Buf::Flash, 0x1FFF0, {0xFF}}}},
      {"FlashAbove128K",
       {Upper(2), Rec(0, 0, {1})},
       false,
       "Linha 2: endereço fora da memória.",
       std::nullopt,
       {}},
      {"ConfigurationPastTheEnd",
       {Upper(0x30), Rec(0, 31, {1, 2})},
       false,
       "Linha 2: endereço fora da memória.",
       std::nullopt,
       {{Buf::Config, 31, {0xFF}}}},
      {"EepromPastTheEnd",
       {Upper(0xF0), Rec(0, 0x0FFF, {1, 2})},
       false,
       "Linha 2: endereço fora da memória.",
       std::nullopt,
       {{Buf::Eeprom, 0xFFF, {0xFF}}}},
  };
  return cases;
}

class TempDir {
 public:
  TempDir() {
    char tmpl[] = "/tmp/bq_loader_XXXXXX";
    path_ = ::mkdtemp(tmpl);
  }
  ~TempDir() { fs::remove_all(path_); }
  std::string Write(const std::string& name, const std::string& text) const {
    std::string p = path_ + "/" + name;
    std::ofstream(p, std::ios::binary) << text;
    return p;
  }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

std::string Join(const std::vector<std::string>& lines, const char* eol) {
  std::string s;
  for (const auto& l : lines) s += l + eol;
  return s;
}

const uint8_t* BufferAt(const FirmwareImage& img, Buf b) {
  switch (b) {
    case Buf::Flash:
      return img.flash.data();
    case Buf::Config:
      return img.config.data();
    case Buf::Eeprom:
      return img.eeprom.data();
  }
  return nullptr;
}

// Loads the file as the program does, with the operator's boxes and status.
bool LoadShown(test::RecordingOperator& ui, std::unique_ptr<FirmwareImage>& image,
               const std::string& path, FirmwareHeader& header) {
  Context ctx{ui, AppPaths{}};
  ctx.image.swap(image);
  const bool ok = LoadFirmwareFile(ctx, path, header);
  ctx.image.swap(image);
  return ok;
}

class LoaderCase : public ::testing::TestWithParam<LoadCase> {};

TEST_P(LoaderCase, LoadsOrRefusesWithItsMessage) {
  const LoadCase& c = GetParam();
  TempDir dir;
  for (const char* eol : {"\n", "\r\n"}) {
    SCOPED_TRACE(eol[0] == '\r' ? "CR LF" : "LF");
    test::RecordingOperator ui;
    auto image = std::make_unique<FirmwareImage>();
    FirmwareHeader header;
    bool ok = LoadShown(ui, image, dir.Write("f.hex", Join(c.lines, eol)), header);

    EXPECT_EQ(ok, c.ok);
    std::vector<std::string> expected;
    if (!c.message.empty()) expected.push_back(c.message);
    EXPECT_EQ(ui.Messages(), expected);
    EXPECT_TRUE(ui.Errors().empty());
    EXPECT_EQ(ui.Statuses().front(), " Carregando hex.");
    EXPECT_EQ(ui.LastStatus(), c.ok ? " Arquivo carregado Ok." : " Carregando hex.");
    if (c.header) {
      EXPECT_EQ(header.serialNumber, c.header->serial);
      EXPECT_EQ(header.version, c.header->version);
      EXPECT_EQ(header.revision, c.header->revision);
      EXPECT_EQ(header.productCode, c.header->product);
      EXPECT_EQ(header.memory128K, c.header->memory128K);
    }
    for (const Probe& p : c.probes) {
      const uint8_t* buf = BufferAt(*image, p.buf);
      std::vector<uint8_t> got(buf + p.address, buf + p.address + p.bytes.size());
      EXPECT_EQ(got, p.bytes) << "at " << p.address;
    }
  }
}

// The file and the in-memory entry points share one parser: same verdict, same image.
TEST_P(LoaderCase, TextInMemoryLoadsAsTheFileDoes) {
  const LoadCase& c = GetParam();
  TempDir dir;
  const std::string text = Join(c.lines, "\r\n");
  auto fromFile = std::make_unique<FirmwareImage>();
  auto fromText = std::make_unique<FirmwareImage>();
  FirmwareHeader fileHeader, textHeader;
  LoadResult a = LoadFirmwareFile(dir.Write("f.hex", text), *fromFile, fileHeader);
  LoadResult b = LoadFirmwareText(text, *fromText, textHeader);
  ASSERT_EQ(a.ok(), b.ok());
  if (!a.ok()) {
    EXPECT_EQ(a.error->lineNumber, b.error->lineNumber);
    EXPECT_EQ(a.error->problem, b.error->problem);
  }
  EXPECT_EQ(a.wrongSizeHeaders, b.wrongSizeHeaders);
  EXPECT_EQ(fromFile->flash, fromText->flash);
  EXPECT_EQ(fromFile->config, fromText->config);
  EXPECT_EQ(fromFile->eeprom, fromText->eeprom);
  EXPECT_EQ(fileHeader.productCode, textHeader.productCode);
  EXPECT_EQ(fileHeader.serialNumber, textHeader.serialNumber);
}

INSTANTIATE_TEST_SUITE_P(Files, LoaderCase, ::testing::ValuesIn(Cases()),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Loader, EveryLoadRefillsTheWholeImage) {
  TempDir dir;
  test::RecordingOperator ui;
  auto image = std::make_unique<FirmwareImage>();
  image->flash.fill(0x11);
  image->eeprom.fill(0x22);
  image->config.fill(0x33);
  FirmwareHeader header;
  ASSERT_TRUE(LoadShown(ui, image, dir.Write("a.hex", kEnd), header));
  for (uint8_t b : image->flash) ASSERT_EQ(b, 0xFF);
  for (uint8_t b : image->eeprom) ASSERT_EQ(b, 0xFF);
  for (uint8_t b : image->config) ASSERT_EQ(b, 0xFF);
}

TEST(Loader, UnopenableFileIsReportedAndChangesNothing) {
  TempDir dir;
  const std::string fifo = dir.path() + "/pipe.kfx";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  // A folder, a device and a FIFO without a writer are refused before any read,
  // so none of them can hang the load or grow it without bound.
  for (const std::string& path :
       {dir.path() + "/missing.kfx", dir.path(), std::string("/dev/zero"), fifo}) {
    test::RecordingOperator ui;
    auto image = std::make_unique<FirmwareImage>();
    image->flash.fill(0x11);
    FirmwareHeader header;
    header.version = 9;
    EXPECT_FALSE(LoadShown(ui, image, path, header));
    ASSERT_EQ(ui.Errors().size(), 1u);
    EXPECT_EQ(ui.Errors()[0].rfind("Erro abrindo arquivo [" + path + "] =", 0), 0u);
    EXPECT_TRUE(ui.Statuses().empty());
    EXPECT_EQ(image->flash[0x0800], 0x11);
    EXPECT_EQ(header.version, 9);
  }
}

TEST(Loader, DecodeHeaderRecordOnlyUnderstandsAddressZero) {
  std::array<uint8_t, kHeaderRecordSize> bytes{};
  std::copy(kHeader.begin(), kHeader.end(), bytes.begin());
  bytes[13] = 0x01;
  FirmwareHeader h;
  DecodeHeaderRecord(0x0010, bytes, h);
  EXPECT_EQ(h.productCode, 0);
  DecodeHeaderRecord(0, bytes, h);
  EXPECT_EQ(h.productCode, 22);
  EXPECT_EQ(h.serialNumber, 0x0124);
  EXPECT_EQ(h.version, 1);
  EXPECT_EQ(h.revision, 7);
}

class LoaderViews : public ::testing::Test {
 protected:
  test::RecordingOperator ui;
  Context ctx{ui, AppPaths{}};
  TempDir dir;
};

TEST_F(LoaderViews, ChooseFirmwareFileRemembersAndShowsTheFile) {
  std::string file = dir.Write("fw.kfx", Rec(6, 0, kHeader) + "\n" + kEnd + "\n");
  FirmwareHeader header;
  EXPECT_TRUE(ChooseFirmwareFile(ctx, file, header));
  EXPECT_EQ(ctx.settings.firmwareFile, file);
  EXPECT_EQ(ctx.settings.dataFolder, dir.path() + "/");
  EXPECT_EQ(ui.FieldText(Field::edNomeArquivoKFX), file);
  EXPECT_EQ(ui.FieldText(Field::edNsKfxLido), "36");
  EXPECT_EQ(ui.FieldText(Field::edVerKfxLido), "1");
  EXPECT_EQ(ui.FieldText(Field::edRevKfxLido), "7");
  EXPECT_EQ(ui.ComboIndex(Combo::cbCodigoProdutoKfxLido), 22);
  EXPECT_EQ(ui.FieldText(Field::edTamMemoKfxLido), "64K");
}

TEST_F(LoaderViews, ChoosingAMissingFileKeepsTheSettings) {
  ctx.settings.firmwareFile = "kept";
  FirmwareHeader header;
  EXPECT_FALSE(ChooseFirmwareFile(ctx, dir.path() + "/none.kfx", header));
  EXPECT_EQ(ctx.settings.firmwareFile, "kept");
  EXPECT_EQ(ui.Errors().size(), 1u);
}

TEST_F(LoaderViews, UnknownProductSelectsNothing) {
  // Without a header and without code at 0x0806 the product byte is 0xFF.
  FirmwareHeader header;
  LoadAndShowFirmware(ctx, dir.Write("blank.hex", kEnd), header);
  EXPECT_EQ(header.productCode, 0xFF);
  EXPECT_EQ(ui.ComboIndex(Combo::cbCodigoProdutoKfxLido), -1);
  EXPECT_EQ(ui.FieldText(Field::edTamMemoKfxLido), "64K");
}

TEST_F(LoaderViews, KfxGenerationViewFillsFieldsAndDumps) {
  ui.SetField(Field::edNsHex2Kfx, "77");
  std::string file = dir.Write("src.hex", Rec(0, 0x0804, {3, 4, 10}) + "\n" + Upper(0xF0) + "\n" +
                                              Rec(0, 0x0FF0, {0x41}) + "\n");
  EXPECT_TRUE(LoadForKfxGeneration(ctx, file));
  EXPECT_EQ(ctx.kfxHeader.productCode, 10);
  EXPECT_EQ(ui.FieldText(Field::edVerHex2Kfx), "3");
  EXPECT_EQ(ui.FieldText(Field::edRevHex2Kfx), "4");
  EXPECT_EQ(ui.FieldText(Field::edTamMemoHex2Kfx), "128K");
  EXPECT_EQ(ui.FieldText(Field::edNsHex2Kfx), "77");
  EXPECT_EQ(ui.ComboIndex(Combo::cbCodigoProdutoHex2Kfx), 10);
  auto flash = ui.MemoLines(Memo::ListBox_Flash);
  auto eeprom = ui.MemoLines(Memo::ListBox_E2Prom);
  ASSERT_EQ(flash.size(), 8064u);
  ASSERT_EQ(eeprom.size(), 256u);
  EXPECT_EQ(flash.front().substr(0, 26), "000800: FF FF FF FF 03 04 ");
  EXPECT_EQ(eeprom.back().substr(0, 12), "0FF0: 41 FF ");
}

}  // namespace
}  // namespace bq
