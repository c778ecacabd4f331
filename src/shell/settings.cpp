#include "shell/settings.h"

#include "shell/ini_file.h"
#include "shell/operator_interface.h"
#include "shell/utilities.h"

namespace bq {

namespace {

constexpr const char* kFiles = "Arquivos";
constexpr const char* kCommon = "Comum";

constexpr const char* kDataFolderKey = "Diretorio Dados_____";
constexpr const char* kFirmwareFileKey = "Arquivo hexa________";
constexpr const char* kKfxSourceKey = "Arquivo hexa 2 Kfx__";
constexpr const char* kPortKey = "Porta Serial_________";
constexpr const char* kTestMessagesKey = "Tem mensagens Teste__";
constexpr const char* kBaudRateKey = "BaudRate_____________";
constexpr const char* kLastSerialKey = "Ultimo NS gerado_____";
constexpr const char* kSerialFirstKey = "NS Inicial___________";
constexpr const char* kSerialLastKey = "NS Fim_______________";

constexpr const char* kDefaultFile = "arqTeste";

// A 16-bit setting keeps the low 16 bits of the integer stored.
uint16_t Low16(int32_t value) {
  return static_cast<uint16_t>(value);
}

}  // namespace

void ReadSettings(TPar& settings, const std::string& path, const std::string& programFolder,
                  const std::string& defaultPortName, OperatorInterface* ui) {
  TIniFileQuarn ini(path);
  std::string error;
  // An unreadable file gives the defaults, like a missing one. One that is no
  // settings file at all (a FIFO, a device, something huge) is also announced;
  // the save at the end leaves it as it is.
  if (ini.Load(&error) == TIniFileQuarn::LoadResult::Damaged && ui != nullptr) {
    ui->ShowWarning("Erro lendo configuração [" + path + "] =" + error);
  }

  settings.dataFolder = WithTrailingSlash(ini.ReadString(kFiles, kDataFolderKey, programFolder));
  settings.firmwareFile = ini.ReadString(kFiles, kFirmwareFileKey, kDefaultFile);
  settings.kfxSourceFile = ini.ReadString(kFiles, kKfxSourceKey, kDefaultFile);
  settings.portName = ini.ReadString(kCommon, kPortKey, defaultPortName);
  ini.ReadBool(kCommon, kTestMessagesKey, false);
  settings.testMessages = false;  // test messages are never on in a running program
  settings.baudRate = Low16(ini.ReadInteger(kCommon, kBaudRateKey, 9600));
  settings.lastSerialGenerated = Low16(ini.ReadInteger(kCommon, kLastSerialKey, 1));
  settings.serialFirst = Low16(ini.ReadInteger(kCommon, kSerialFirstKey, 1));
  settings.serialLast = Low16(ini.ReadInteger(kCommon, kSerialLastKey, 1));
}

bool WriteSettings(const TPar& settings, const std::string& path, OperatorInterface& ui) {
  TIniFileQuarn ini(path);
  std::string error;
  // An existing file that cannot be read is not replaced: its other keys would be lost.
  if (ini.Load(&error) != TIniFileQuarn::LoadResult::Ok) {
    ui.ShowWarning("Erro lendo configuração [" + path + "] =" + error);
    return false;
  }
  // This order gives a new file its layout.
  ini.WriteString(kFiles, kDataFolderKey, settings.dataFolder);
  ini.WriteString(kCommon, kPortKey, settings.portName);
  ini.WriteString(kFiles, kFirmwareFileKey, settings.firmwareFile);
  ini.WriteString(kFiles, kKfxSourceKey, settings.kfxSourceFile);
  ini.WriteBool(kCommon, kTestMessagesKey, settings.testMessages);
  ini.WriteInteger(kCommon, kBaudRateKey, settings.baudRate);
  ini.WriteInteger(kCommon, kLastSerialKey, settings.lastSerialGenerated);
  ini.WriteInteger(kCommon, kSerialFirstKey, settings.serialFirst);
  ini.WriteInteger(kCommon, kSerialLastKey, settings.serialLast);
  if (!ini.UpdateFile(&error)) {
    ui.ShowWarning("Erro gravando configuração [" + path + "] =" + error);
    return false;
  }
  return true;
}

}  // namespace bq
