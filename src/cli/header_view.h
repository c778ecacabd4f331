#pragma once
// The header of a firmware file as the command line prints it.

#include <ostream>
#include <string>

#include "image/catalogue.h"
#include "image/firmware_image.h"
#include "image/firmware_loader.h"

namespace bq::cli {

inline void PrintHeader(std::ostream& out, const std::string& file, const FirmwareHeader& h) {
  out << "Arquivo:         " << file << '\n'
      << "Número de série: " << h.serialNumber << '\n'
      << "Versão:          " << unsigned{h.version} << '\n'
      << "Revisão:         " << unsigned{h.revision} << '\n'
      << "Produto:         " << unsigned{h.productCode} << " " << ProductDisplayName(h.productCode)
      << '\n'
      << "Memória:         " << MemorySizeText(h.memory128K) << '\n'
      << std::flush;
}

}  // namespace bq::cli
