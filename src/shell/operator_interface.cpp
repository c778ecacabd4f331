#include "shell/operator_interface.h"

namespace bq {

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

const char* WorkPhaseName(WorkPhase phase) {
  switch (phase) {
    case WorkPhase::Erase:
      return "erase";
    case WorkPhase::WriteFlash:
      return "writeFlash";
    case WorkPhase::VerifyFlash:
      return "verifyFlash";
    case WorkPhase::WriteEeprom:
      return "writeEeprom";
    case WorkPhase::VerifyEeprom:
      return "verifyEeprom";
    case WorkPhase::ReadFlash:
      return "readFlash";
    case WorkPhase::ReadEeprom:
      return "readEeprom";
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

}  // namespace bq
