#pragma once
// The main page " Sistema de Troca de Programa Quarn ": its widgets, each named
// as its control so tests and accessibility tools find it.

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <map>
#include <string>
#include <vector>

#include "app/handlers/window_controls.h"
#include "gui/port_combo.h"
#include "gui/status_line.h"
#include "gui/zircon_upgrade_panel.h"

namespace bq::gui {

struct MainPage {
  QWidget* page = nullptr;  // pagUsuario
  std::map<Field, QLineEdit*> edits;
  std::map<Combo, QComboBox*> combos;
  std::map<Check, QCheckBox*> checks;

  StatusLineEdit* edAvisoGravacao = nullptr;  // the status line
  QProgressBar* ProgressBarGrava = nullptr;
  PortComboBox* cbPortaSerial = nullptr;

  QPushButton* botProcurar = nullptr;
  QPushButton* botConectarEGravar = nullptr;
  QPushButton* botLeNS = nullptr;
  QPushButton* botHelp = nullptr;
  QPushButton* btnVersoes = nullptr;
  QPushButton* btnDescobrirPortaSerial = nullptr;
  QPushButton* botProcuraPorta = nullptr;
  QLabel* lbAviso = nullptr;  // a port scan's progress, shown only while it runs

  // The accessory boot panel
  QPushButton* btnSensorZirconEntraEmBoot = nullptr;
  QPushButton* btnProcuraPortaSensorZircon = nullptr;
  QPushButton* botArvexBoot = nullptr;
  QPushButton* botCancela = nullptr;

  // The buttons of the device command lock.
  std::vector<QPushButton*> DeviceCommandButtons() const;
  ZirconUpgradePanel zirconUpgrade;
};

MainPage BuildMainPage(QWidget* parent);
// The product names become the items of the product combo boxes; index = product code.
void FillProductCombos(MainPage& page, const std::vector<std::string>& names);

}  // namespace bq::gui
