#include "app/handlers/window_controls.h"

#include "boot/boot_commands.h"
#include "image/catalogue.h"
#include "image/firmware_loader.h"
#include "shell/utilities.h"

namespace bq {
namespace {

// The product lists show every code up to the last entry; any greater code
// reads "Indefinido" on the device's side, nothing on the file's.
constexpr int kLastProductEntry = kProductCount - 1;

std::string Hex(uint32_t address) {
  return "0x" + HexAddress24(address);
}

}  // namespace

const char* FieldName(Field f) {
  switch (f) {
    case Field::edNomeArquivoKFX:
      return "edNomeArquivoKFX";
    case Field::edNsKfxLido:
      return "edNsKfxLido";
    case Field::edVerKfxLido:
      return "edVerKfxLido";
    case Field::edRevKfxLido:
      return "edRevKfxLido";
    case Field::edTamMemoKfxLido:
      return "edTamMemoKfxLido";
    case Field::edNSLido:
      return "edNSLido";
    case Field::edTpProduto:
      return "edTpProduto";
    case Field::edVerLido:
      return "edVerLido";
    case Field::edRevLido:
      return "edRevLido";
    case Field::edVersaoBootR2:
      return "edVersaoBootR2";
    case Field::edVerHard:
      return "edVerHard";
    case Field::edBaudRateAchado:
      return "edBaudRateAchado";
    case Field::edEndereco:
      return "edEndereco";
    case Field::edVersaoBoot:
      return "edVersaoBoot";
    case Field::edCrono:
      return "edCrono";
    case Field::lbAviso:
      return "lbAviso";
    case Field::edBaudRate:
      return "edBaudRate";
    case Field::edNsWrIni:
      return "edNsWrIni";
    case Field::edNsWrFim:
      return "edNsWrFim";
    case Field::edContadorUpgrade:
      return "edContadorUpgrade";
    case Field::edNomeGravando:
      return "edNomeGravando";
    case Field::edStartAdress:
      return "edStartAdress";
    case Field::edFimReal:
      return "edFimReal";
    case Field::edEndE2Prom:
      return "edEndE2Prom";
    case Field::edEnd:
      return "edEnd";
    case Field::endComp128:
      return "endComp128";
    case Field::edNomeArquivoHex2Kfx:
      return "edNomeArquivoHex2Kfx";
    case Field::edNsHex2Kfx:
      return "edNsHex2Kfx";
    case Field::edVerHex2Kfx:
      return "edVerHex2Kfx";
    case Field::edRevHex2Kfx:
      return "edRevHex2Kfx";
    case Field::edTamMemoHex2Kfx:
      return "edTamMemoHex2Kfx";
    case Field::edTipoProdutoEEPROM:
      return "edTipoProdutoEEPROM";
    case Field::edPasta:
      return "edPasta";
    case Field::edPastaCompleta:
      return "edPastaCompleta";
    case Field::edNSInicial:
      return "edNSInicial";
    case Field::edNSFinal:
      return "edNSFinal";
    case Field::edNomeGerando:
      return "edNomeGerando";
    case Field::edCntLoop:
      return "edCntLoop";
    case Field::linkStatus:
      return "linkStatus";
    case Field::statusBarFile:
      return "statusBarFile";
    case Field::statusBarPort:
      return "statusBarPort";
  }
  return "";
}

const char* ComboName(Combo c) {
  switch (c) {
    case Combo::cbCodigoProdutoKfxLido:
      return "cbCodigoProdutoKfxLido";
    case Combo::cbCodigoProdutoLido:
      return "cbCodigoProdutoLido";
    case Combo::cbCodigoProdutoHex2Kfx:
      return "cbCodigoProdutoHex2Kfx";
    case Combo::cbTipoProdutoProducao:
      return "cbTipoProdutoProducao";
  }
  return "";
}

const char* CheckName(Check c) {
  switch (c) {
    case Check::chkHiAdress:
      return "chkHiAdress";
    case Check::chkGravarSensorZirconAuto:
      return "chkGravarSensorZirconAuto";
  }
  return "";
}

const char* MemoName(Memo m) {
  switch (m) {
    case Memo::MemoUpgradeResumo:
      return "MemoUpgradeResumo";
    case Memo::memoUpgradeAuto:
      return "memoUpgradeAuto";
    case Memo::memoLoop:
      return "memoLoop";
    case Memo::MemoTestePack:
      return "MemoTestePack";
    case Memo::MemoRxDado:
      return "MemoRxDado";
    case Memo::listGeracaoVariosKFX:
      return "listGeracaoVariosKFX";
    case Memo::ListBox_Flash:
      return "ListBox_Flash";
    case Memo::ListBox_E2Prom:
      return "ListBox_E2Prom";
    case Memo::ListBox_Cripto:
      return "ListBox_Cripto";
  }
  return "";
}

Memo MemoOf(OperatorList list) {
  switch (list) {
    case OperatorList::UpgradeSummary:
      return Memo::MemoUpgradeResumo;
    case OperatorList::UpgradeSteps:
      return Memo::memoUpgradeAuto;
    case OperatorList::LoopSteps:
      return Memo::memoLoop;
    case OperatorList::LinkData:
      return Memo::MemoRxDado;
    case OperatorList::PacketTimes:
      return Memo::MemoTestePack;
    case OperatorList::BatchFolders:
      return Memo::listGeracaoVariosKFX;
    case OperatorList::FlashDump:
      return Memo::ListBox_Flash;
    case OperatorList::EepromDump:
      return Memo::ListBox_E2Prom;
    case OperatorList::CriptoDump:
      break;
  }
  return Memo::ListBox_Cripto;
}

namespace {

// Each event lands in the controls that show it, with the texts the window
// has always shown there.
struct ControlsView {
  WindowControls& c;

  void operator()(const shown::DeviceIdentity& e) {
    c.SetField(Field::edNSLido, std::to_string(e.serialNumber));
    c.SetField(Field::edTpProduto, std::to_string(e.productCode));
    c.SetField(Field::edVerLido, std::to_string(e.firmwareVersion));
    c.SetField(Field::edRevLido, std::to_string(e.firmwareRevision));
    const int code = e.productCode;
    c.SelectCombo(Combo::cbCodigoProdutoLido, code <= kLastProductEntry ? code : kProductUndefined);
  }
  void operator()(const shown::DeviceIdentityCleared&) {
    for (Field f : {Field::edNSLido, Field::edTpProduto, Field::edVerLido, Field::edRevLido}) {
      c.SetField(f, "x");
    }
    c.SelectCombo(Combo::cbCodigoProdutoLido, kProductUndefined);
  }
  void operator()(const shown::BootVersion& e) {
    const std::string text = FormatBootVersion(e.bootLoaderVersion);
    c.SetField(Field::edVersaoBoot, text);
    c.SetField(Field::edVersaoBootR2, text);
    c.SetField(Field::edVerHard, std::to_string(e.hardwareVersion));
  }
  void operator()(const shown::BootVersionCleared& e) {
    for (Field f : {Field::edVersaoBoot, Field::edVersaoBootR2, Field::edVerHard}) {
      c.SetField(f, "x");
    }
    if (e.rateToo) c.SetField(Field::edBaudRateAchado, "x");
  }
  void operator()(const shown::FoundRate& e) {
    c.SetField(Field::edBaudRateAchado, std::to_string(e.baudRate));
  }
  void operator()(const shown::HighAddresses& e) { c.SetCheck(Check::chkHiAdress, e.on); }
  void operator()(const shown::EngineStarted& e) {
    c.SetField(Field::edCrono, "--:--:--");
    c.SetField(Field::edStartAdress, HexAddress24(e.applicationStart));
  }
  void operator()(const shown::PlanEnds& e) {
    c.SetField(Field::edFimReal, Hex(e.flashEnd));
    c.SetField(Field::edEndE2Prom, Hex(e.eepromEnd));
    c.SetField(Field::edEnd, "E=0x" + HexAddress24(e.eraseEnd));
  }
  void operator()(const shown::PhaseEnd& e) {
    c.SetField(Field::edEnd,
               (e.phase == WorkPhase::WriteFlash ? "W=0x" : "C16=0x") + HexAddress24(e.end));
  }
  void operator()(const shown::VerifyBlocksEnd& e) {
    c.SetField(Field::endComp128, "C128=0x" + HexAddress24(e.end));
  }
  void operator()(const shown::Address& e) { c.SetField(Field::edEndereco, Hex(e.address)); }
  void operator()(const shown::EraseAll&) { c.SetField(Field::edEndereco, "0x0000"); }
  void operator()(const shown::Elapsed& e) {
    c.SetField(Field::edCrono, FormatElapsed(e.hundredths));
  }
  void operator()(const shown::UpgradeCount& e) {
    c.SetField(Field::edContadorUpgrade, std::to_string(e.count));
  }
  void operator()(const shown::FileHeader& e) {
    c.SetField(Field::edNsKfxLido, std::to_string(e.serialNumber));
    c.SetField(Field::edVerKfxLido, std::to_string(e.version));
    c.SetField(Field::edRevKfxLido, std::to_string(e.revision));
    c.SelectCombo(Combo::cbCodigoProdutoKfxLido,
                  e.productCode < kProductCount ? e.productCode : -1);
    c.SetField(Field::edTamMemoKfxLido, MemorySizeText(e.memory128K));
  }
  void operator()(const shown::KfxSourceHeader& e) {
    c.SetField(Field::edVerHex2Kfx, std::to_string(e.version));
    c.SetField(Field::edRevHex2Kfx, std::to_string(e.revision));
    c.SelectCombo(Combo::cbCodigoProdutoHex2Kfx,
                  e.productCode < kProductCount ? e.productCode : -1);
    c.SetField(Field::edTamMemoHex2Kfx, MemorySizeText(e.memory128K));
  }
  void operator()(const shown::FirmwareFile& e) { c.SetField(Field::edNomeArquivoKFX, e.path); }
  void operator()(const shown::KfxSourceFile& e) {
    c.SetField(Field::edNomeArquivoHex2Kfx, e.path);
  }
  void operator()(const shown::SerialFile& e) { c.SetField(Field::edNomeGravando, e.path); }
  void operator()(const shown::SettingsLoaded& e) {
    c.SetField(Field::edBaudRate, std::to_string(e.baudRate));
    c.SetField(Field::edNomeArquivoKFX, e.firmwareFile);
    c.SetField(Field::edNsWrIni, std::to_string(e.serialFirst));
    c.SetField(Field::edNsWrFim, std::to_string(e.serialLast));
  }
  void operator()(const shown::SettingsNamed& e) {
    c.SetField(Field::statusBarFile, e.firmwareFile);
    c.SetField(Field::edNomeArquivoKFX, e.firmwareFile);
    c.SetField(Field::edNomeArquivoHex2Kfx, e.kfxSourceFile);
    c.SetField(Field::statusBarPort, e.portName);
  }
  void operator()(const shown::ScanProgress& e) { c.SetField(Field::lbAviso, e.text); }
  void operator()(const shown::LinkStatus& e) { c.SetField(Field::linkStatus, e.text); }
  void operator()(const shown::LoopTurn& e) {
    c.SetField(Field::edCntLoop, "Cnt=" + std::to_string(e.turn));
  }
  void operator()(const shown::ZirconAutoWrite& e) {
    c.SetCheck(Check::chkGravarSensorZirconAuto, e.on);
  }
  void operator()(const shown::BatchRunning& e) {
    c.SetButtonEnabled(Button::botGeraVariosKFX, !e.running);
  }
  void operator()(const shown::BatchFolderName& e) { c.SetField(Field::edPasta, e.name); }
  void operator()(const shown::BatchFolder& e) { c.SetField(Field::edPastaCompleta, e.path); }
  void operator()(const shown::LastSerialGenerated& e) {
    c.SetField(Field::edNsHex2Kfx, std::to_string(e.serial));
  }
  void operator()(const shown::BatchSerialWritten& e) {
    c.SetField(Field::edNomeGerando, "Gerando " + std::to_string(e.serial));
  }
  void operator()(const shown::BatchRange& e) {
    c.SetField(Field::edNSInicial, std::to_string(e.first));
    c.SetField(Field::edNSFinal, std::to_string(e.end));
  }
  void operator()(const shown::ListLine& e) { c.AddMemoLine(MemoOf(e.list), e.line); }
  void operator()(const shown::ListCleared& e) { c.ClearMemo(MemoOf(e.list)); }
};

}  // namespace

void ShowInControls(WindowControls& controls, const Shown& event) {
  std::visit(ControlsView{controls}, event);
}

void WindowOperatorBase::Show(const Shown& event) {
  ShowInControls(*this, event);
}

std::optional<ShownSettings> WindowOperatorBase::SettingsAsShown() const {
  return ShownSettings{FieldText(Field::edBaudRate), FieldText(Field::edNsHex2Kfx),
                       FieldText(Field::edNomeArquivoKFX)};
}

}  // namespace bq
