#include "app/firmware_commands.h"

#include <cerrno>
#include <filesystem>
#include <system_error>
#include <vector>

#include "app/context.h"
#include "app/storable_name.h"
#include "image/catalogue.h"
#include "image/dump_view.h"
#include "image/firmware_loader.h"
#include "shell/utilities.h"

namespace bq {
namespace {

constexpr const char* kNotRegularFileText = "não é um arquivo comum";

std::string OpenFailureReason(int osError) {
  return osError == 0 ? kNotRegularFileText : ErrnoText(osError);
}

void ReportLoadError(OperatorInterface& ui, const std::string& fileName, const LoadError& error) {
  switch (error.kind) {
    case LoadError::Kind::Open:
      ui.ShowErrorBox("Erro abrindo arquivo [" + fileName +
                      "] =" + OpenFailureReason(error.osError));
      break;
    case LoadError::Kind::Read:
      ui.ShowErrorBox("Erro lendo arquivo [" + fileName + "] =" + ErrnoText(error.osError));
      break;
    case LoadError::Kind::BadLine:
      ui.ShowMessage("Linha " + std::to_string(error.lineNumber) + ": " + error.problem);
      break;
  }
}

void ShowHeader(OperatorInterface& ui, const FirmwareHeader& header) {
  ui.Show(shown::FileHeader{header.serialNumber, header.version, header.revision,
                            header.productCode, header.memory128K});
}

std::string AbsolutePath(const std::string& path) {
  std::error_code ec;
  auto abs = std::filesystem::absolute(path, ec);
  return ec ? path : abs.lexically_normal().string();
}

// The file dialog accepts only a file that exists; a path given otherwise is
// held to the same rule before it reaches the settings.
bool ExistingFile(OperatorInterface& ui, const std::string& file) {
  std::error_code ec;
  if (std::filesystem::exists(file, ec)) return true;
  ui.ShowErrorBox("Erro abrindo arquivo [" + file + "] =" + ErrnoText(ec ? ec.value() : ENOENT));
  return false;
}

void FillList(OperatorInterface& ui, OperatorList list, const std::vector<std::string>& lines) {
  ui.Show(shown::ListCleared{list});
  for (const auto& line : lines) ui.Show(shown::ListLine{list, line});
}

}  // namespace

bool LoadFirmwareFile(OperatorInterface& ui, FirmwareImage& image, const std::string& fileName,
                      FirmwareHeader& header) {
  const LoadResult result = LoadFirmwareFile(fileName, image, header);
  if (result.error && result.error->kind == LoadError::Kind::Open) {
    ReportLoadError(ui, fileName, *result.error);
    return false;
  }
  ui.ShowStatus(" Carregando hex.", false);
  for (int i = 0; i < result.wrongSizeHeaders; ++i) {
    ui.ShowMessage("Dados padrão Quarn tamanho errado");
  }
  if (result.error) {
    ReportLoadError(ui, fileName, *result.error);
    return false;
  }
  ui.ShowStatus(" Arquivo carregado Ok.", false);
  return true;
}

bool LoadFirmwareFile(Context& ctx, const std::string& fileName, FirmwareHeader& header) {
  return LoadFirmwareFile(ctx.ui, *ctx.image, fileName, header);
}

bool LoadAndShowFirmware(OperatorInterface& ui, FirmwareImage& image, const std::string& fileName,
                         FirmwareHeader& header) {
  bool loaded = LoadFirmwareFile(ui, image, fileName, header);
  ShowHeader(ui, header);
  return loaded;
}

bool LoadAndShowFirmware(Context& ctx, const std::string& fileName, FirmwareHeader& header) {
  return LoadAndShowFirmware(ctx.ui, *ctx.image, fileName, header);
}

bool LoadForKfxGeneration(Context& ctx, const std::string& fileName) {
  bool loaded = LoadFirmwareFile(ctx, fileName, ctx.kfxHeader);
  const FirmwareHeader& h = ctx.kfxHeader;
  ctx.ui.Show(shown::KfxSourceHeader{h.version, h.revision, h.productCode, h.memory128K});
  ShowFlashDump(ctx);
  ShowEepromDump(ctx);
  return loaded;
}

bool ChooseFirmwareFile(Context& ctx, const std::string& path, FirmwareHeader& header) {
  const std::string file = AbsolutePath(path);
  if (!StorableName(ctx.ui, "file", file) || !ExistingFile(ctx.ui, file)) return false;
  ctx.settings.firmwareFile = file;
  ctx.settings.dataFolder = FolderOf(file);
  ctx.ui.Show(shown::FirmwareFile{file});
  return LoadAndShowFirmware(ctx, file, header);
}

bool ChooseKfxSourceFile(Context& ctx, const std::string& path) {
  const std::string file = AbsolutePath(path);
  if (!StorableName(ctx.ui, "file", file) || !ExistingFile(ctx.ui, file)) return false;
  ctx.settings.kfxSourceFile = file;
  ctx.settings.dataFolder = FolderOf(file);
  ctx.ui.Show(shown::KfxSourceFile{file});
  return LoadForKfxGeneration(ctx, file);
}

void ShowFlashDump(Context& ctx) {
  FillList(ctx.ui, OperatorList::FlashDump, FlashDumpLines(*ctx.image));
}

void ShowEepromDump(Context& ctx) {
  FillList(ctx.ui, OperatorList::EepromDump, EepromDumpLines(*ctx.image));
}

}  // namespace bq
