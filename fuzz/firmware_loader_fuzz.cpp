// Feeds arbitrary text to the HEX/KFX loader.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

#include "image/firmware_loader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static auto image = std::make_unique<bq::FirmwareImage>();
  bq::FirmwareHeader header;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  bq::LoadResult result = bq::LoadFirmwareText(text, *image, header);
  // Only a line can be at fault in memory, and it is one of the text's lines.
  if (!result.ok()) {
    if (result.error->kind != bq::LoadError::Kind::BadLine) __builtin_trap();
    if (result.error->lineNumber < 1 || static_cast<size_t>(result.error->lineNumber) > size)
      __builtin_trap();
    if (result.error->problem.empty()) __builtin_trap();
  }
  return 0;
}
