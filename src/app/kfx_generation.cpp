#include "app/kfx_generation.h"

#include <array>
#include <chrono>
#include <filesystem>
#include <fstream>
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

// Gives the batch button back however the batch ends.
class BatchRunningScope {
 public:
  explicit BatchRunningScope(OperatorInterface& ui) : ui_(ui) {
    ui_.Show(shown::BatchRunning{true});
  }
  ~BatchRunningScope() { ui_.Show(shown::BatchRunning{false}); }
  BatchRunningScope(const BatchRunningScope&) = delete;
  BatchRunningScope& operator=(const BatchRunningScope&) = delete;

 private:
  OperatorInterface& ui_;
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
  const FirmwareHeader& source = ctx.kfxHeader;
  std::string name =
      BlockFolderName(source.productCode, first, last, std::to_string(source.version),
                      std::to_string(source.revision));
  ctx.ui.Show(shown::BatchFolderName{name});
  return name;
}

std::optional<std::string> KfxFileForSerial(Context& ctx, int32_t serial) {
  std::optional<std::string> name = FileForSerial(ctx.settings.firmwareFile, serial);
  if (!name) {
    ctx.ui.ShowErrorBox("Arquivo sem \"NS\" no nome [" + ctx.settings.firmwareFile + "]");
    return std::nullopt;
  }
  ctx.settings.firmwareFile = *name;
  ctx.ui.Show(shown::SerialFile{*name});
  ctx.ui.ProcessMessages();
  AtualizaStatusBar(ctx);
  return name;
}

std::optional<KfxWriteError> WriteKfxForSerial(Context& ctx, const std::string& folder,
                                               int64_t serial) {
  return WriteKfxInto(ctx, folder, folder, serial);
}

bool GenerateKfxBlock(Context& ctx, const std::string& sourceFile, int64_t first,
                      KfxBatchOutcome& outcome) {
  OperatorInterface& ui = ctx.ui;
  const std::string name = atuNomePasta(ctx, first, first + kSerialsPerBlock - 1);
  const std::string folder = FolderOf(sourceFile) + WithTrailingSlash(name);
  ui.Show(shown::BatchFolder{folder});
  ui.Show(shown::ListLine{OperatorList::BatchFolders, folder});
  ui.ProcessMessages();
  const std::string partial = CreatePartialFolder(ctx, folder, outcome);
  if (partial.empty()) return false;

  const int files = outcome.files;
  for (int64_t serial = first; serial < first + kSerialsPerBlock; ++serial) {
    ctx.settings.lastSerialGenerated = static_cast<uint16_t>(serial);
    ui.Show(shown::LastSerialGenerated{serial});
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
    ui.Show(shown::BatchSerialWritten{serial});
    ui.ProcessMessages();
  }
  if (!PublishBlock(ctx, partial, folder, outcome)) {
    outcome.files = files;
    return false;
  }
  return true;
}

KfxBatchOutcome GenerateKfxBatch(Context& ctx, const KfxBatchRequest& request) {
  OperatorInterface& ui = ctx.ui;
  KfxBatchOutcome outcome;
  if (!RangeFitsHeader(request.first, request.end)) {
    ui.ShowErrorBox("Números de série fora da faixa de 0 a " + std::to_string(kMaxHeaderSerial));
    return outcome;
  }
  ui.Show(shown::ListCleared{OperatorList::BatchFolders});
  {
    BatchRunningScope busy(ui);
    // Files written from a partly read image would be wrong in every device.
    if (!LoadForKfxGeneration(ctx, request.sourceFile)) return outcome;
    outcome.started = true;
    for (int64_t n = request.first; n < request.end && !outcome.stopped; n += kSerialsPerBlock) {
      GenerateKfxBlock(ctx, request.sourceFile, n, outcome);
    }
  }
  ui.ShowMessage("Arquivos gerados");
  return outcome;
}

void ShowCriptoDump(Context& ctx) {
  static const std::array<uint8_t, kFlashSize> kCriptoBuffer{};
  ctx.ui.Show(shown::ListCleared{OperatorList::CriptoDump});
  for (const auto& line : FlashSizedDumpLines(kCriptoBuffer)) {
    ctx.ui.Show(shown::ListLine{OperatorList::CriptoDump, line});
  }
}

}  // namespace bq
