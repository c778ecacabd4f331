#include "app/kfx_generation.h"

#include <array>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>

#include "app/context.h"
#include "app/firmware_commands.h"
#include "app/startup.h"
#include "image/dump_view.h"
#include "image/kfx_naming.h"
#include "shell/file_system.h"
#include "shell/utilities.h"

namespace bq {

namespace {

// The field's text as a 32-bit decimal integer (leading blanks allowed), or
// the conversion error.
int64_t FieldInteger(const OperatorInterface& ui, Field field) {
  const std::string text = ui.FieldText(field);
  size_t start = text.find_first_not_of(" \t");
  if (start == std::string::npos) start = text.size();
  if (start < text.size() && text[start] == '+') ++start;
  int32_t value = 0;
  const char* end = text.data() + text.size();
  auto [ptr, ec] = std::from_chars(text.data() + start, end, value);
  if (ec != std::errc() || ptr != end) {
    throw std::runtime_error("'" + text + "' não é um valor inteiro válido");
  }
  return value;
}

// Gives the batch button back however the batch ends.
class ButtonDisabled {
 public:
  ButtonDisabled(OperatorInterface& ui, Button button) : ui_(ui), button_(button) {
    ui_.SetButtonEnabled(button_, false);
  }
  ~ButtonDisabled() { ui_.SetButtonEnabled(button_, true); }
  ButtonDisabled(const ButtonDisabled&) = delete;
  ButtonDisabled& operator=(const ButtonDisabled&) = delete;

 private:
  OperatorInterface& ui_;
  Button button_;
};

// Every serial number of the blocks first, first + 100, ... below end fits a header.
bool RangeFitsHeader(int64_t first, int64_t end) {
  if (first >= end) return true;
  const int64_t lastBlock = first + (end - first - 1) / kSerialsPerBlock * kSerialsPerBlock;
  return first >= 0 && lastBlock + kSerialsPerBlock - 1 <= kMaxHeaderSerial;
}

// A block is built in a hidden folder beside its own, ".NAME.partial-XXXXXX",
// and takes its name only when whole. One left by a batch that was stopped is
// removed once it is older than this (a younger one may be another run's).
constexpr std::chrono::minutes kLeftoverAge{1};

std::string PartialPrefix(const std::string& blockName) {
  return "." + blockName + ".partial-";
}

void RemoveOldLeftovers(const std::filesystem::path& parent, const std::string& blockName) {
  namespace fs = std::filesystem;
  const std::string prefix = PartialPrefix(blockName);
  std::error_code ec;
  const auto now = fs::file_time_type::clock::now();
  for (fs::directory_iterator it(parent, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string name = it->path().filename().string();
    if (name.rfind(prefix, 0) != 0) continue;
    std::error_code timeError;
    const auto modified = fs::last_write_time(it->path(), timeError);
    if (!timeError && now - modified > kLeftoverAge) fs::remove_all(it->path(), timeError);
  }
}

// The block's hidden folder (with a trailing slash), or empty, said why not,
// when the block exists already or cannot be made.
std::string CreatePartialFolder(Context& ctx, const std::string& folder, KfxBatchOutcome& outcome) {
  namespace fs = std::filesystem;
  const fs::path block = fs::path(folder).parent_path();
  RemoveOldLeftovers(block.parent_path(), block.filename().string());
  std::error_code ec;
  std::string partial =
      (block.parent_path() / (PartialPrefix(block.filename().string()) + "XXXXXX")).string();
  if (fs::exists(fs::symlink_status(block, ec)) || !MakeUniqueFolder(partial)) {
    ctx.ui.ShowErrorBox("Pasta não pode ser criada!");
    outcome.failed.push_back(folder);
    return {};
  }
  return partial + "/";
}

// Gives the whole block its name; never over a folder that appeared meanwhile.
bool PublishBlock(Context& ctx, const std::string& partial, const std::string& folder,
                  KfxBatchOutcome& outcome) {
  const std::string from = std::filesystem::path(partial).parent_path().string();
  const std::string to = std::filesystem::path(folder).parent_path().string();
  if (!RenameFolderNoReplace(from, to)) {
    std::error_code ec;
    std::filesystem::remove_all(from, ec);
    ctx.ui.ShowErrorBox("Pasta não pode ser criada!");
    outcome.failed.push_back(folder);
    return false;
  }
  outcome.folders.push_back(folder);
  return true;
}

// Writes serial's file into `into`; an error names the file under the
// block's own folder, where the operator will look for it.
std::optional<KfxWriteError> WriteKfxInto(Context& ctx, const std::string& into,
                                          const std::string& folder, int64_t serial) {
  FirmwareHeader header = ctx.kfxHeader;
  header.serialNumber = static_cast<uint16_t>(serial);
  const std::string name = SerialKfxFileName(header);
  std::optional<KfxWriteError> error = WriteKfxFile(into + name, *ctx.image, header);
  if (error)
    ctx.ui.ShowErrorBox("Erro gravando arquivo [" + folder + name +
                        "] =" + ErrnoText(error->osError));
  return error;
}

}  // namespace

std::string atuNomePasta(Context& ctx, int64_t first, int64_t last) {
  std::string name =
      BlockFolderName(ctx.kfxHeader.productCode, first, last, ctx.ui.FieldText(Field::edVerHex2Kfx),
                      ctx.ui.FieldText(Field::edRevHex2Kfx));
  ctx.ui.SetField(Field::edPasta, name);
  return name;
}

std::optional<std::string> KfxFileForSerial(Context& ctx, int32_t serial) {
  std::optional<std::string> name = FileForSerial(ctx.settings.firmwareFile, serial);
  if (!name) {
    ctx.ui.ShowErrorBox("Arquivo sem \"NS\" no nome [" + ctx.settings.firmwareFile + "]");
    return std::nullopt;
  }
  ctx.settings.firmwareFile = *name;
  ctx.ui.SetField(Field::edNomeGravando, *name);
  ctx.ui.ProcessMessages();
  AtualizaStatusBar(ctx);
  return name;
}

std::optional<KfxWriteError> WriteKfxForSerial(Context& ctx, const std::string& folder,
                                               int64_t serial) {
  return WriteKfxInto(ctx, folder, folder, serial);
}

bool GenerateKfxBlock(Context& ctx, int64_t first, KfxBatchOutcome& outcome) {
  OperatorInterface& ui = ctx.ui;
  atuNomePasta(ctx, first, first + kSerialsPerBlock - 1);
  const std::string folder = FolderOf(ui.FieldText(Field::edNomeArquivoHex2Kfx)) +
                             WithTrailingSlash(ui.FieldText(Field::edPasta));
  ui.SetField(Field::edPastaCompleta, folder);
  ui.AddMemoLine(Memo::listGeracaoVariosKFX, folder);
  ui.ProcessMessages();
  const std::string partial = CreatePartialFolder(ctx, folder, outcome);
  if (partial.empty()) return false;

  const int files = outcome.files;
  for (int64_t serial = first; serial < first + kSerialsPerBlock; ++serial) {
    ui.SetField(Field::edNsHex2Kfx, std::to_string(serial));
    ui.ProcessMessages();
    if (ctx.batchStop) {
      std::error_code ec;
      std::filesystem::remove_all(partial, ec);
      outcome.files = files;
      outcome.stopped = true;
      return false;
    }
    if (WriteKfxInto(ctx, partial, folder, serial)) {
      // No half block is left: a later run can still make it whole.
      std::error_code ec;
      std::filesystem::remove_all(partial, ec);
      outcome.files = files;
      outcome.failed.push_back(folder);
      return false;
    }
    ++outcome.files;
    ui.SetField(Field::edNomeGerando, "Gerando " + std::to_string(serial));
    ui.ProcessMessages();
  }
  if (!PublishBlock(ctx, partial, folder, outcome)) {
    outcome.files = files;
    return false;
  }
  return true;
}

KfxBatchOutcome botGeraVariosKFXClick(Context& ctx) {
  OperatorInterface& ui = ctx.ui;
  const int64_t first = FieldInteger(ui, Field::edNSInicial);
  const int64_t end = FieldInteger(ui, Field::edNSFinal);
  KfxBatchOutcome outcome;
  if (!RangeFitsHeader(first, end)) {
    ui.ShowErrorBox("Números de série fora da faixa de 0 a " + std::to_string(kMaxHeaderSerial));
    return outcome;
  }
  ui.ClearMemo(Memo::listGeracaoVariosKFX);
  {
    ButtonDisabled busy(ui, Button::botGeraVariosKFX);
    // Files written from a partly read image would be wrong in every device.
    if (!LoadForKfxGeneration(ctx, ui.FieldText(Field::edNomeArquivoHex2Kfx))) return outcome;
    outcome.started = true;
    for (int64_t n = first; n < end && !outcome.stopped; n += kSerialsPerBlock) {
      GenerateKfxBlock(ctx, n, outcome);
    }
  }
  ui.ShowMessage("Arquivos gerados");
  return outcome;
}

void botProx100Click(Context& ctx) {
  const int64_t first = FieldInteger(ctx.ui, Field::edNSInicial);
  ctx.ui.SetField(Field::edNSInicial, std::to_string(first + 100));
  ctx.ui.SetField(Field::edNSFinal, std::to_string(first + 199));
}

void ShowCriptoDump(Context& ctx) {
  static const std::array<uint8_t, kFlashSize> kCriptoBuffer{};
  ctx.ui.ClearMemo(Memo::ListBox_Cripto);
  for (const auto& line : FlashSizedDumpLines(kCriptoBuffer)) {
    ctx.ui.AddMemoLine(Memo::ListBox_Cripto, line);
  }
}

}  // namespace bq
