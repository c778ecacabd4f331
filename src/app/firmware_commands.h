#pragma once
// The operator commands that open a firmware file and show what it holds.

#include <string>

#include "image/firmware_image.h"
#include "shell/operator_interface.h"

namespace bq {

struct Context;

// Loads the file into the context's image and reports a failure as the
// operator sees it: " Carregando hex.", a box for each header record of the
// wrong size, then the box naming the line (or the file's system error) or
// " Arquivo carregado Ok.".
bool LoadFirmwareFile(Context& ctx, const std::string& fileName, FirmwareHeader& header);
// The same into a station's own image, reporting to its operator.
bool LoadFirmwareFile(OperatorInterface& ui, FirmwareImage& image, const std::string& fileName,
                      FirmwareHeader& header);

// Loads the file and shows its header in the " Arquivo Carregado " group.
// Returns the load's result; the window's commands go on either way.
bool LoadAndShowFirmware(Context& ctx, const std::string& fileName, FirmwareHeader& header);
bool LoadAndShowFirmware(OperatorInterface& ui, FirmwareImage& image, const std::string& fileName,
                         FirmwareHeader& header);

// Loads the file into the KFX-generation view's header, shows it on the
// internal-use page and refreshes the flash and EEPROM dumps.
bool LoadForKfxGeneration(Context& ctx, const std::string& fileName);

// "&Procurar" after the file dialog's choice: remembers the file (absolute)
// and its folder in the settings, shows the name and loads the file.
bool ChooseFirmwareFile(Context& ctx, const std::string& path, FirmwareHeader& header);
// "Procurar" of the KFX-generation page after the file dialog's choice.
bool ChooseKfxSourceFile(Context& ctx, const std::string& path);

// Refill the lists ListBox_Flash and ListBox_E2Prom from the context's image.
void ShowFlashDump(Context& ctx);
void ShowEepromDump(Context& ctx);

}  // namespace bq
