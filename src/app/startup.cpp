#include "app/startup.h"

#include <chrono>
#include <clocale>
#include <optional>
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
  ctx.ui.Show(shown::SettingsLoaded{settings.baudRate, settings.firmwareFile, settings.serialFirst,
                                    settings.serialLast});
}

void AtualizaStatusBar(Context& ctx) {
  const TPar& settings = ctx.settings;
  ctx.ui.Show(
      shown::SettingsNamed{settings.firmwareFile, settings.kfxSourceFile, settings.portName});
}

void FormActivate(Context& ctx) {
  LoadSettingsIntoWindow(ctx);
  AtualizaStatusBar(ctx);
  ctx.ui.Show(shown::LastSerialGenerated{ctx.settings.lastSerialGenerated});
}

bool SaveSettingsFromWindow(Context& ctx) {
  TPar& settings = ctx.settings;
  settings.portName = ctx.portList->SelectedText();
  // Without values shown, the settings are saved as the commands left them.
  if (const std::optional<ShownSettings> shown = ctx.ui.SettingsAsShown()) {
    // A hidden field the activation never filled keeps the settings' value, so
    // a window closed before it was first shown cannot store a baud rate of 0.
    if (std::string baud = shown->baudRate; !TrimBlanks(baud).empty()) {
      settings.baudRate = static_cast<uint16_t>(ParseIntOrZero(baud));
    }
    if (std::string ns = shown->lastSerialGenerated; !TrimBlanks(ns).empty()) {
      settings.lastSerialGenerated = static_cast<uint16_t>(ParseIntOrZero(ns));
    }
    settings.firmwareFile = shown->firmwareFile;
  }
  return WriteSettings(settings, ctx.paths.settingsFile, ctx.ui);
}

bool FormClose(Context& ctx, Station& station) {
  if (station.ComPortQuarn.IsOpen()) CloseBootPort(station.ComPortQuarn);
  return SaveSettingsFromWindow(ctx);
}

}  // namespace bq
