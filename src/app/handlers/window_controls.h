#pragma once
// The window's controls, named as the window names them, and the one place
// where the core's typed events become what those controls show. Only the
// window and the command handlers know a control; the core reports events.

#include <cstdint>
#include <optional>
#include <string>

#include "shell/operator_interface.h"

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

const char* FieldName(Field f);
const char* ComboName(Combo c);
const char* CheckName(Check c);
const char* MemoName(Memo m);

// The list control each of the operator's lists is shown in.
Memo MemoOf(OperatorList list);

// What a window (or a test standing in for one) offers the handlers.
class WindowControls {
 public:
  virtual ~WindowControls() = default;
  virtual void SetField(Field field, const std::string& text) = 0;
  // The text a field shows now, as the operator may have edited it.
  virtual std::string FieldText(Field field) const = 0;
  // index < 0 selects nothing.
  virtual void SelectCombo(Combo combo, int index) = 0;
  virtual void SetCheck(Check check, bool checked) = 0;
  virtual void AddMemoLine(Memo memo, const std::string& line) = 0;
  virtual void ClearMemo(Memo memo) = 0;
  // Enables or disables one button; a window without that button ignores it.
  virtual void SetButtonEnabled(Button /*button*/, bool /*enabled*/) {}
};

// An operator interface shown in a window: every typed event lands in the
// controls that show it, with the texts the window has always shown.
class WindowOperatorBase : public OperatorInterface, public WindowControls {
 public:
  void Show(const Shown& event) override;
  std::optional<ShownSettings> SettingsAsShown() const override;
};

// Shows one event in the controls that show it.
void ShowInControls(WindowControls& controls, const Shown& event);

}  // namespace bq
