#pragma once
// Reads Intel HEX and KFX firmware files into the memory image, and the
// operator commands that open a file and show what it holds.

#include <array>
#include <cstdint>
#include <string>

#include "image/firmware_image.h"

namespace bq {

class OperatorInterface;
struct Context;

// Upper address words that route data records to the configuration and EEPROM buffers.
inline constexpr uint32_t kConfigUpperWord = 0x30;
inline constexpr uint32_t kEepromUpperWord = 0xF0;
// Data bytes of the product header record (type 6).
inline constexpr size_t kHeaderRecordSize = 16;

// Decodes a product header record; only address field 0 is understood, any
// other leaves the header as it was.
void DecodeHeaderRecord(uint16_t addressField, const std::array<uint8_t, kHeaderRecordSize>& bytes,
                        FirmwareHeader& header);

// Refills the image from the file and fills header from its product header
// record (or, without one, from the identity bytes at 0x0804..0x0806).
// Malformed lines and records outside the image are reported in a plain box
// naming the line, and fail the load. A file that cannot be read is reported
// in an error box with the system's reason; when it cannot be opened, the
// image and header are left untouched.
bool LoadFirmwareFile(OperatorInterface& ui, FirmwareImage& image, const std::string& fileName,
                      FirmwareHeader& header);
bool LoadFirmwareFile(Context& ctx, const std::string& fileName, FirmwareHeader& header);

// Loads the file and shows its header in the " Arquivo Carregado " group.
// Returns the load's result; the window's commands go on either way.
bool LoadAndShowFirmware(Context& ctx, const std::string& fileName, FirmwareHeader& header);

// Loads the file into the KFX-generation view's header, shows it on the
// internal-use page and refreshes the flash and EEPROM dumps.
bool LoadForKfxGeneration(Context& ctx, const std::string& fileName);

// "&Procurar" after the file dialog's choice: remembers the file (absolute)
// and its folder in the settings, shows the name and loads the file.
bool ChooseFirmwareFile(Context& ctx, const std::string& path, FirmwareHeader& header);
// "Procurar" of the KFX-generation page after the file dialog's choice.
bool ChooseKfxSourceFile(Context& ctx, const std::string& path);

// The text of the memory-size flag: "128K" or "64K".
const char* MemorySizeText(bool memory128K);

}  // namespace bq
