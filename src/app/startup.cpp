#include "app/startup.h"

#include <chrono>
#include <clocale>
#include <string>

#include "app/context.h"
#include "app/station.h"
#include "image/catalogue.h"
#include "serial/boot_port.h"
#include "serial/port_list.h"
#include "serial/port_list_commands.h"
#include "shell/ini_file.h"
#include "shell/settings.h"
#include "shell/utilities.h"

namespace bq {

std::string MainWindowCaption() {
  return std::string(kProgramName) + " " + std::to_string(kProgramYear) + " v" +
         VersionText(kProgramVersion);
}

std::string AboutVersionLine() {
  return "Versão " + VersionText(kProgramVersion) + "   de   " + kReleaseDate;
}

void SetNumberAndDateFormats() {
  std::setlocale(LC_ALL, "C");
}

void FormCreate(Context& ctx) {
  EnsureFolder(ctx.ui, ctx.paths.productionLogDir, false);
  SetNumberAndDateFormats();
  RemoveStaleTemporaryFiles(ctx.paths.settingsFile, std::chrono::minutes(1));
  ReadSettings(ctx.settings, ctx.paths.settingsFile, ctx.paths.programFolder, kDefaultPortName,
               &ctx.ui);
  ctx.productNameList = ProductNameList();
  ResetUsageLog(ctx.paths.usageLog);
}

void LoadSettingsIntoWindow(Context& ctx) {
  TPar& settings = ctx.settings;
  FillPortList(*ctx.portLister, *ctx.portList, settings.portName);
  if (ctx.portList->SelectedText() != settings.portName) {
    KeepTypedPort(*ctx.portList, settings.portName);
  }
  settings.portName = ctx.portList->SelectedText();
  ctx.ui.SetField(Field::edBaudRate, std::to_string(settings.baudRate));
  ctx.ui.SetField(Field::edNomeArquivoKFX, settings.firmwareFile);
  ctx.ui.SetField(Field::edNsWrIni, std::to_string(settings.serialFirst));
  ctx.ui.SetField(Field::edNsWrFim, std::to_string(settings.serialLast));
}

void AtualizaStatusBar(Context& ctx) {
  const TPar& settings = ctx.settings;
  ctx.ui.SetField(Field::statusBarFile, settings.firmwareFile);
  ctx.ui.SetField(Field::edNomeArquivoKFX, settings.firmwareFile);
  ctx.ui.SetField(Field::edNomeArquivoHex2Kfx, settings.kfxSourceFile);
  ctx.ui.SetField(Field::statusBarPort, settings.portName);
}

void FormActivate(Context& ctx) {
  LoadSettingsIntoWindow(ctx);
  AtualizaStatusBar(ctx);
  ctx.ui.SetField(Field::edNsHex2Kfx, std::to_string(ctx.settings.lastSerialGenerated));
}

bool SaveSettingsFromWindow(Context& ctx) {
  TPar& settings = ctx.settings;
  settings.portName = ctx.portList->SelectedText();
  // A hidden field the activation never filled keeps the settings' value, so a
  // window closed before it was first shown cannot store a baud rate of 0.
  if (std::string baud = ctx.ui.FieldText(Field::edBaudRate); !TrimBlanks(baud).empty()) {
    settings.baudRate = static_cast<uint16_t>(ParseIntOrZero(baud));
  }
  if (std::string ns = ctx.ui.FieldText(Field::edNsHex2Kfx); !TrimBlanks(ns).empty()) {
    settings.lastSerialGenerated = static_cast<uint16_t>(ParseIntOrZero(ns));
  }
  settings.firmwareFile = ctx.ui.FieldText(Field::edNomeArquivoKFX);
  return WriteSettings(settings, ctx.paths.settingsFile, ctx.ui);
}

bool FormClose(Context& ctx, Station& station) {
  if (station.ComPortQuarn.IsOpen()) CloseBootPort(station.ComPortQuarn);
  return SaveSettingsFromWindow(ctx);
}

}  // namespace bq
