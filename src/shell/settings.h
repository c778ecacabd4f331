#pragma once
// The settings object and its INI file, BootQuarn.Ini.

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace bq {

class OperatorInterface;

struct TPar {
  std::string dataFolder;            // "Arquivos" / "Diretorio Dados_____"
  std::string firmwareFile;          // "Arquivos" / "Arquivo hexa________"
  std::string kfxSourceFile;         // "Arquivos" / "Arquivo hexa 2 Kfx__"
  std::string portName;              // "Comum" / "Porta Serial_________"
  bool testMessages = false;         // "Comum" / "Tem mensagens Teste__"
  uint16_t baudRate = 9600;          // "Comum" / "BaudRate_____________"
  uint16_t lastSerialGenerated = 1;  // "Comum" / "Ultimo NS gerado_____"
  uint16_t serialFirst = 1;          // "Comum" / "NS Inicial___________"
  uint16_t serialLast = 1;           // "Comum" / "NS Fim_______________"
};

// Fills every field from the file; missing keys and bad values take defaults.
// programFolder is the default data folder. A file that is not a regular file
// or is far too large for settings is not read: ui, when given, is warned.
void ReadSettings(TPar& settings, const std::string& path, const std::string& programFolder,
                  const std::string& defaultPortName, OperatorInterface* ui = nullptr);

// Writes every field into the file, updating an existing file in place.
// Returns false (after telling the operator through ui) when the file could not be written.
bool WriteSettings(const TPar& settings, const std::string& path, OperatorInterface& ui);

}  // namespace bq
