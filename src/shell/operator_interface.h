#pragma once
// The one channel through which every device and file operation reports to the
// operator and learns of the operator's wishes. The window, the command line and
// the tests each implement it; the core never talks to a window directly.

#include <cstdint>
#include <string>

namespace bq {

// Text fields of the window, named as the controls that show them.
enum class Field {
  // " Arquivo Carregado "
  edNomeArquivoKFX,
  edNsKfxLido,
  edVerKfxLido,
  edRevKfxLido,
  edTamMemoKfxLido,
  // " Dados do Equipamento Conectado "
  edNSLido,
  edTpProduto,
  edVerLido,
  edRevLido,
  edVersaoBootR2,
  edVerHard,
  edBaudRateAchado,
  // groupGravando
  edEndereco,
  edVersaoBoot,
  edCrono,
  // port panel and production panel
  lbAviso,
  edBaudRate,
  edNsWrIni,
  edNsWrFim,
  edContadorUpgrade,
  edNomeGravando,
  // engineering page
  edStartAdress,
  edFimReal,
  edEndE2Prom,
  edEnd,
  endComp128,
  // internal-use page
  edNomeArquivoHex2Kfx,
  edNsHex2Kfx,
  edVerHex2Kfx,
  edRevHex2Kfx,
  edTamMemoHex2Kfx,
  edTipoProdutoEEPROM,
  edPasta,
  edPastaCompleta,
  // batch panel of the internal-use page
  edNSInicial,
  edNSFinal,
  edNomeGerando,
  // hidden production loop and link page
  edCntLoop,
  linkStatus,
  // MainStatusBar: panel 0 the settings' firmware file, panel 1 the settings' port
  statusBarFile,
  statusBarPort,
};

// Product combo boxes; the item index is the product code.
enum class Combo {
  cbCodigoProdutoKfxLido,
  cbCodigoProdutoLido,
  cbCodigoProdutoHex2Kfx,
  cbTipoProdutoProducao,
};

// Check boxes whose state the core shows (the values themselves live with the commands).
enum class Check {
  chkHiAdress,
  chkGravarSensorZirconAuto,
};

// Multi-line lists of the window.
enum class Memo {
  MemoUpgradeResumo,
  memoUpgradeAuto,
  memoLoop,
  MemoTestePack,
  MemoRxDado,
  listGeracaoVariosKFX,
  // engineering page: the memory image in hexadecimal
  ListBox_Flash,
  ListBox_E2Prom,
  ListBox_Cripto,
};

// Command buttons that a command enables and disables by itself.
enum class Button {
  botGeraVariosKFX,
};

// The phases of a device command, as typed progress events name them.
enum class WorkPhase {
  Erase,
  WriteFlash,
  VerifyFlash,
  WriteEeprom,
  VerifyEeprom,
  ReadFlash,
  ReadEeprom
};

// "erase", "writeFlash", ...: the name a report gives the phase.
const char* WorkPhaseName(WorkPhase phase);

// The answer to a Yes/No question. A box closed without an answer is Closed,
// which every caller treats as "not No".
enum class Answer { Yes, No, Closed };

const char* FieldName(Field f);
const char* ComboName(Combo c);
const char* CheckName(Check c);
const char* MemoName(Memo m);

class OperatorInterface {
 public:
  virtual ~OperatorInterface() = default;

  // Status line edAvisoGravacao (and its twin); success paints it lime green.
  virtual void ShowStatus(const std::string& text, bool success) = 0;
  // Modal information box: text and OK. Returns when confirmed.
  virtual void ShowMessage(const std::string& text) = 0;
  // Modal error box: error icon, text and OK.
  virtual void ShowErrorBox(const std::string& text) = 0;
  // A record that could not be kept (the settings, a log line): shown as an
  // error box, but it does not change the outcome of the command.
  virtual void ShowWarning(const std::string& text) { ShowErrorBox(text); }
  // Modal Yes/No question.
  virtual Answer Confirm(const std::string& text) = 0;
  // Gives the operator's pending input a chance to run (cancel, timer ticks).
  virtual void ProcessMessages() = 0;

  // ProgressBarGrava; minimum, maximum and position are addresses.
  virtual void SetProgressMin(uint32_t value) = 0;
  virtual void SetProgressMax(uint32_t value) = 0;
  virtual void SetProgressPosition(uint32_t value) = 0;

  // Typed progress beside the bar: a phase starts walking first..last (its
  // positions follow through SetProgressPosition), and ends; `done` when it
  // covered its whole range, false when a cancel or a failure stopped it.
  virtual void PhaseStarted(WorkPhase /*phase*/, uint32_t /*first*/, uint32_t /*last*/) {}
  virtual void PhaseEnded(WorkPhase /*phase*/, bool /*done*/) {}

  virtual void SetField(Field field, const std::string& text) = 0;
  // The text a field shows now, as the operator may have edited it.
  virtual std::string FieldText(Field field) const = 0;
  // index < 0 selects nothing.
  virtual void SelectCombo(Combo combo, int index) = 0;
  virtual void SetCheck(Check check, bool checked) = 0;
  virtual void AddMemoLine(Memo memo, const std::string& line) = 0;
  virtual void ClearMemo(Memo memo) = 0;

  // Enables or disables the six device command buttons.
  virtual void SetDeviceCommandsEnabled(bool enabled) = 0;
  // Enables or disables one button; a front end without that button ignores it.
  virtual void SetButtonEnabled(Button /*button*/, bool /*enabled*/) {}
  // While a port scan runs: its progress line lbAviso shown, botProcuraPorta
  // hidden. Front ends without those controls have nothing to change.
  virtual void SetScanRunning(bool /*running*/) {}
};

}  // namespace bq
