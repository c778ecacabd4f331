#include "gui/main_page.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QVBoxLayout>

#include "gui/logo.h"

namespace bq::gui {
namespace {

QLineEdit* AddEdit(MainPage& page, Field field, QWidget* parent, bool readOnly = true) {
  auto* edit = new QLineEdit(parent);
  edit->setObjectName(FieldName(field));
  edit->setReadOnly(readOnly);
  page.edits[field] = edit;
  return edit;
}

// A product combo box that only shows: the core selects, the operator cannot.
QComboBox* AddProductCombo(MainPage& page, Combo combo, QWidget* parent) {
  auto* box = new QComboBox(parent);
  box->setObjectName(ComboName(combo));
  box->setFocusPolicy(Qt::NoFocus);
  box->setAttribute(Qt::WA_TransparentForMouseEvents);
  box->setMinimumContentsLength(24);
  page.combos[combo] = box;
  return box;
}

QPushButton* AddButton(const char* name, const char* caption, QWidget* parent) {
  auto* button = new QPushButton(QString::fromUtf8(caption), parent);
  button->setObjectName(name);
  return button;
}

// A caption above its field, as the operator reads the groups.
void AddLabelled(QGridLayout* grid, int row, int column, const char* caption, QWidget* field) {
  auto* label = new QLabel(QString::fromUtf8(caption));
  label->setBuddy(field);
  field->setAccessibleName(label->text());
  grid->addWidget(label, row, column);
  grid->addWidget(field, row + 1, column);
}

QGroupBox* BuildFileGroup(MainPage& page) {
  auto* group = new QGroupBox;
  group->setObjectName("groupArquivo");
  auto* row = new QHBoxLayout(group);
  QLineEdit* file = AddEdit(page, Field::edNomeArquivoKFX, group, false);
  file->setAccessibleName(QString::fromUtf8("Arquivo de programa"));
  page.botProcurar = AddButton("botProcurar", "&Procurar", group);
  row->addWidget(file, 1);
  row->addWidget(page.botProcurar);
  return group;
}

QGroupBox* BuildLoadedFileGroup(MainPage& page) {
  auto* group = new QGroupBox(QString::fromUtf8(" Arquivo Carregado "));
  group->setObjectName("groupArquivoCarregado");
  auto* grid = new QGridLayout(group);
  AddLabelled(grid, 0, 0, "Número De Serie", AddEdit(page, Field::edNsKfxLido, group));
  AddLabelled(grid, 0, 1, "Ver", AddEdit(page, Field::edVerKfxLido, group));
  AddLabelled(grid, 0, 2, "Rev", AddEdit(page, Field::edRevKfxLido, group));
  AddLabelled(grid, 0, 3, "Nome Produto",
              AddProductCombo(page, Combo::cbCodigoProdutoKfxLido, group));
  grid->setColumnStretch(3, 1);
  return group;
}

QGroupBox* BuildDeviceGroup(MainPage& page) {
  auto* group = new QGroupBox(QString::fromUtf8(" Dados do Equipamento Conectado "));
  group->setObjectName("groupEqto");
  auto* grid = new QGridLayout(group);
  AddLabelled(grid, 0, 0, "Número De Serie", AddEdit(page, Field::edNSLido, group));
  AddLabelled(grid, 0, 1, "Ver", AddEdit(page, Field::edVerLido, group));
  AddLabelled(grid, 0, 2, "Rev", AddEdit(page, Field::edRevLido, group));
  AddLabelled(grid, 0, 3, "Nome Produto", AddProductCombo(page, Combo::cbCodigoProdutoLido, group));
  AddLabelled(grid, 2, 0, "Versao Boot", AddEdit(page, Field::edVersaoBootR2, group));
  AddLabelled(grid, 2, 1, "Ver Hard", AddEdit(page, Field::edVerHard, group));
  AddLabelled(grid, 2, 2, "Tipo Produto", AddEdit(page, Field::edTpProduto, group));
  AddLabelled(grid, 2, 3, "Baud Rate", AddEdit(page, Field::edBaudRateAchado, group));
  auto* hi = new QCheckBox("Hi", group);
  hi->setObjectName("chkHiAdress");
  hi->setChecked(true);
  hi->setEnabled(false);
  page.checks[Check::chkHiAdress] = hi;
  grid->addWidget(hi, 3, 4);
  grid->setColumnStretch(3, 1);
  return group;
}

QGroupBox* BuildPortGroup(MainPage& page) {
  auto* group = new QGroupBox;
  group->setObjectName("Panel4");
  auto* grid = new QGridLayout(group);
  page.cbPortaSerial = new PortComboBox(group);
  AddLabelled(grid, 0, 0, "Porta Serial", page.cbPortaSerial);
  page.botProcuraPorta = AddButton("botProcuraPorta", "Procura Porta", group);
  grid->addWidget(page.botProcuraPorta, 1, 1);
  page.btnDescobrirPortaSerial = AddButton("btnDescobrirPortaSerial", "Qual Porta?", group);
  grid->addWidget(page.btnDescobrirPortaSerial, 1, 2);
  page.lbAviso = new QLabel(group);
  page.lbAviso->setObjectName("lbAviso");
  // The scan's line has its room kept while hidden, and a long line never
  // widens the column: nothing moves while a scan runs.
  page.lbAviso->setMinimumHeight(page.lbAviso->fontMetrics().height());
  QSizePolicy notice(QSizePolicy::Ignored, QSizePolicy::Fixed);
  notice.setRetainSizeWhenHidden(true);
  page.lbAviso->setSizePolicy(notice);
  page.lbAviso->setVisible(false);
  grid->addWidget(page.lbAviso, 2, 0, 1, 3);
  QSizePolicy scanButton = page.botProcuraPorta->sizePolicy();
  scanButton.setRetainSizeWhenHidden(true);
  page.botProcuraPorta->setSizePolicy(scanButton);
  grid->setColumnStretch(0, 1);
  return group;
}

QGroupBox* BuildProgrammingGroup(MainPage& page) {
  auto* group = new QGroupBox;
  group->setObjectName("groupGravando");
  auto* grid = new QGridLayout(group);
  AddLabelled(grid, 0, 0, "Endereco", AddEdit(page, Field::edEndereco, group));
  AddLabelled(grid, 0, 1, "Versao Boot", AddEdit(page, Field::edVersaoBoot, group));
  AddLabelled(grid, 0, 2, "Tempo decorrido", AddEdit(page, Field::edCrono, group));
  page.edAvisoGravacao = new StatusLineEdit(QString::fromUtf8("Processo de Gravação"), group);
  page.edAvisoGravacao->setObjectName("edAvisoGravacao");
  page.edAvisoGravacao->setAccessibleName(QString::fromUtf8("Situação"));
  grid->addWidget(page.edAvisoGravacao, 2, 0, 1, 3);
  page.ProgressBarGrava = new QProgressBar(group);
  page.ProgressBarGrava->setObjectName("ProgressBarGrava");
  page.ProgressBarGrava->setRange(0, 100);
  page.ProgressBarGrava->setValue(0);
  page.ProgressBarGrava->setTextVisible(true);
  page.ProgressBarGrava->setFormat("%p%");
  grid->addWidget(page.ProgressBarGrava, 3, 0, 1, 3);
  return group;
}

QWidget* BuildCommandPanel(MainPage& page) {
  auto* panel = new QGroupBox;
  panel->setObjectName("panelBotoes");
  auto* grid = new QGridLayout(panel);
  page.botConectarEGravar = AddButton("botConectarEGravar", "Conectar e &Gravar", panel);
  page.botHelp = AddButton("botHelp", "Ajuda", panel);
  page.botLeNS = AddButton("botLeNS", "Le &Número de Série", panel);
  page.btnVersoes = AddButton("btnVersoes", "Versões Programa", panel);
  page.botConectarEGravar->setMinimumHeight(48);
  grid->addWidget(page.botConectarEGravar, 0, 0);
  grid->addWidget(page.botHelp, 0, 1);
  grid->addWidget(page.botLeNS, 1, 0);
  grid->addWidget(page.btnVersoes, 1, 1);
  return panel;
}

// "ENTRAR E MODO DE ATUALIZAÇÂO ( MODO BOOT )", with the cancel button below.
QWidget* BuildAccessoryBootPanel(MainPage& page) {
  auto* panel = new QGroupBox;
  panel->setObjectName("Panel3");
  auto* grid = new QGridLayout(panel);
  auto* heading =
      new QLabel(QString::fromUtf8("ENTRAR E MODO DE ATUALIZAÇÂO ( MODO BOOT )"), panel);
  heading->setObjectName("LabelZircon");
  QFont bold = heading->font();
  bold.setBold(true);
  heading->setFont(bold);
  grid->addWidget(heading, 0, 0, 1, 2);
  page.btnSensorZirconEntraEmBoot = AddButton(
      "btnSensorZirconEntraEmBoot", "Sensor Zircon ou Zircon Box - Modo Atualização (Boot)", panel);
  grid->addWidget(page.btnSensorZirconEntraEmBoot, 1, 0);
  auto* automatic = new QCheckBox(QString::fromUtf8("Gravar automaticamente"), panel);
  automatic->setObjectName("chkGravarSensorZirconAuto");
  automatic->setChecked(true);
  page.checks[Check::chkGravarSensorZirconAuto] = automatic;
  grid->addWidget(automatic, 1, 1);
  page.btnProcuraPortaSensorZircon = AddButton(
      "btnProcuraPortaSensorZircon", "Procura Porta ( Sensor Zircon ou Zircon Box )", panel);
  grid->addWidget(page.btnProcuraPortaSensorZircon, 2, 0);
  page.botArvexBoot = AddButton("botArvexBoot", "Arvex - Modo Atualização ( Boot )", panel);
  grid->addWidget(page.botArvexBoot, 3, 0);
  page.botCancela = AddButton("botCancela", "Cancel [ESC]", panel);
  grid->addWidget(page.botCancela, 4, 0, 1, 2);
  grid->setColumnStretch(0, 1);
  return panel;
}

QLabel* BuildLogo() {
  auto* logo = new QLabel;
  logo->setObjectName("imgLogoQuarn");
  // Small enough that the window, with the scan line's room kept, fits a 1280 × 800 screen.
  logo->setPixmap(LogoPixmap(180, 60));
  logo->setAlignment(Qt::AlignCenter);
  logo->setVisible(true);
  return logo;
}

}  // namespace

MainPage BuildMainPage(QWidget* parent) {
  MainPage page;
  page.page = new QWidget(parent);
  page.page->setObjectName("pagUsuario");

  auto* left = new QVBoxLayout;
  left->addWidget(BuildFileGroup(page));
  left->addWidget(BuildLoadedFileGroup(page));
  left->addWidget(BuildDeviceGroup(page));
  left->addStretch(1);

  auto* right = new QVBoxLayout;
  right->addWidget(BuildPortGroup(page));
  right->addWidget(BuildProgrammingGroup(page));
  right->addWidget(BuildCommandPanel(page));
  right->addWidget(BuildAccessoryBootPanel(page));
  page.zirconUpgrade = BuildZirconUpgradePanel(page.page);
  right->addWidget(page.zirconUpgrade.panel);
  right->addWidget(BuildLogo());
  right->addStretch(1);

  auto* columns = new QHBoxLayout(page.page);
  columns->addLayout(left, 3);
  columns->addLayout(right, 2);
  return page;
}

std::vector<QPushButton*> MainPage::DeviceCommandButtons() const {
  return {botLeNS,
          botConectarEGravar,
          botArvexBoot,
          btnSensorZirconEntraEmBoot,
          btnProcuraPortaSensorZircon,
          zirconUpgrade.botUpgradeZirconBox};
}

void FillProductCombos(MainPage& page, const std::vector<std::string>& names) {
  for (auto& [combo, box] : page.combos) {
    box->clear();
    for (const auto& name : names) box->addItem(QString::fromStdString(name));
    box->setCurrentIndex(-1);
  }
}

}  // namespace bq::gui
