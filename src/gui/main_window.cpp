#include "gui/main_window.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMenuBar>
#include <QMessageBox>
#include <QScreen>
#include <QShortcut>
#include <QStatusBar>
#include <QTabWidget>

#include "app/accessory_boot.h"
#include "app/attempt_record.h"
#include "app/commands.h"
#include "app/connect_flow.h"
#include "app/device_commands.h"
#include "app/firmware_commands.h"
#include "app/port_hint.h"
#include "app/port_list_commands.h"
#include "app/port_scan.h"
#include "app/production_commands.h"
#include "app/startup.h"
#include "gui/about_box.h"
#include "gui/bench_page.h"
#include "gui/cable_finder_dialog.h"
#include "gui/help.h"
#include "gui/help_window.h"
#include "gui/history_dialog.h"
#include "gui/logo.h"
#include "serial/port_error.h"

namespace bq::gui {
namespace {

// The settings' data folder (the folder of the last file chosen); when it is
// gone, the folder of the last firmware file. Until a file was chosen (the
// settings still name no file by its path), the home folder.
QString FileDialogFolder(const TPar& settings) {
  const bool fileUsed = QDir::isAbsolutePath(QString::fromStdString(settings.firmwareFile)) ||
                        QDir::isAbsolutePath(QString::fromStdString(settings.kfxSourceFile));
  if (!fileUsed) return QDir::homePath();
  for (const std::string& candidate :
       {settings.dataFolder,
        QFileInfo(QString::fromStdString(settings.firmwareFile)).path().toStdString()}) {
    if (!candidate.empty() && QDir(QString::fromStdString(candidate)).exists()) {
      return QString::fromStdString(candidate);
    }
  }
  return QDir::homePath();
}

}  // namespace

WindowSetup WindowSetup::System() {
  return {DefaultAppPaths(), MakeDefaultSerialBackend(), MakeSystemPortLister()};
}

TfrmQuarnMain10BootQuarn::TfrmQuarnMain10BootQuarn(WindowSetup setup)
    : urlOpener([this](const QUrl& url) { return ShowHelpPage(url); }) {
  setObjectName("TfrmQuarnMain10BootQuarn");
  setWindowIcon(QIcon(IconPixmap(64)));

  // Only the main page has a tab; the other pages' values live in the Context.
  auto* pages = new QTabWidget(this);
  pages->setObjectName("Pages");
  page_ = BuildMainPage(pages);
  pages->addTab(page_.page, QString::fromUtf8(kMainPageCaption));
  setCentralWidget(pages);
  BuildStatusBar();

  ui_ = std::make_unique<WindowOperator>(this, page_, statusPanels_[0], statusPanels_[1]);
  portList_ = std::make_unique<ComboPortList>(page_.cbPortaSerial);
  ctx_ = std::make_unique<Context>(*ui_, std::move(setup.paths), std::move(setup.lister));
  station_ = std::make_unique<Station>(*ctx_, *ui_, std::move(setup.backend));
  ctx_->portList = portList_.get();
  bench_ = new BenchPage(*ctx_, *ui_, pages);
  pages->addTab(bench_, QString::fromUtf8("Bancada"));

  BuildMenus();
  ConnectCommands();

  FormCreate(*ctx_);
  setWindowTitle(QString::fromStdString(MainWindowCaption()));
  FillProductCombos(page_, ctx_->productNameList);

  Cronometro_.setObjectName("Cronometro");
  Cronometro_.setInterval(1000);
  connect(&Cronometro_, &QTimer::timeout, this, [this] { CronometroTimer(*station_); });
  Cronometro_.start();

  resize(1131, 667);
  if (QScreen* screen = QGuiApplication::primaryScreen()) {
    move(screen->availableGeometry().center() - rect().center());
  }
}

TfrmQuarnMain10BootQuarn::~TfrmQuarnMain10BootQuarn() {
  // A command still running (the window destroyed without a close) is asked to
  // stop, and its end awaited while the window can still answer it.
  if (runner_.Busy()) {
    station_->cancelFlag = true;
    runner_.WaitUntilIdle();
  }
  // The bench's stations use the context: they end before it does.
  delete bench_;
}

void TfrmQuarnMain10BootQuarn::BuildStatusBar() {
  QStatusBar* bar = statusBar();
  bar->setObjectName("MainStatusBar");
  bar->setSizeGripEnabled(false);
  const int widths[3] = {500, 60, 50};
  for (int i = 0; i < 3; ++i) {
    auto* panel = new QLabel(bar);
    panel->setObjectName(QString("MainStatusBarPanel%1").arg(i));
    panel->setFrameShape(QFrame::StyledPanel);
    panel->setMinimumWidth(widths[i]);
    bar->addWidget(panel);
    statusPanels_[static_cast<size_t>(i)] = panel;
  }
}

void TfrmQuarnMain10BootQuarn::BuildMenus() {
  QMenu* file = menuBar()->addMenu(QString::fromUtf8("&Arquivo"));
  file->setObjectName("menuArquivo");
  auto add = [this](QMenu* menu, const char* name, const char* caption, QKeySequence keys,
                    std::function<void()> run) {
    QAction* action = menu->addAction(QString::fromUtf8(caption));
    action->setObjectName(name);
    if (!keys.isEmpty()) action->setShortcut(keys);
    connect(action, &QAction::triggered, this, std::move(run));
    return action;
  };
  QAction* open = add(file, "subMenuAbrirArquivo", "Abrir Arquivo", QKeySequence("Ctrl+P"),
                      [this] { botProcurarClick(); });
  file->addSeparator();
  QAction* write =
      add(file, "subMenuConectareGravar", "Conectar e Gravar", QKeySequence("Ctrl+G"), [this] {
        PerformIfEnabled(page_.botConectarEGravar, [this] { botConectarEGravarClick(); });
      });
  QAction* readSerial =
      add(file, "subMenuLerNmerodeSerie", "Ler Número de Série", QKeySequence("Ctrl+S"),
          [this] { PerformIfEnabled(page_.botLeNS, [this] { botLeNSClick(); }); });
  ui_->SetCommandActions(open, write, readSerial);
  add(file, "subMenuHistorico", "Histórico…", {}, [this] { subMenuHistoricoClick(); });
  add(file, "SubMenuSair", "Sair", {}, [this] { close(); });
  file->addSeparator();

  QMenu* help = menuBar()->addMenu(QString::fromUtf8("Aju&da"));
  help->setObjectName("menuAjuda");
  add(help, "subMenuAjuda", "Ajuda como Trocar Programa", {}, [this] { OpenHelp(kHelpHowTo); });
  help->addSeparator();
  add(help, "subMenuVersoes", "Versões do Programa", {}, [this] { OpenHelp(kHelpVersions); });
  help->addSeparator();
  add(help, "subMenuSobre", "Sobre", {}, [this] { subMenuSobreClick(); });
}

void TfrmQuarnMain10BootQuarn::ConnectCommands() {
  connect(page_.botProcurar, &QPushButton::clicked, this, [this] { botProcurarClick(); });
  connect(page_.botConectarEGravar, &QPushButton::clicked, this,
          [this] { botConectarEGravarClick(); });
  connect(page_.botLeNS, &QPushButton::clicked, this, [this] { botLeNSClick(); });
  connect(page_.botHelp, &QPushButton::clicked, this, [this] { OpenHelp(kHelpHowTo); });
  connect(page_.btnVersoes, &QPushButton::clicked, this, [this] { OpenHelp(kHelpVersions); });
  connect(page_.botCancela, &QPushButton::clicked, this, [this] { botCancelaClick(); });
  connect(page_.zirconUpgrade.botUpgradeZirconBox, &QPushButton::clicked, this,
          [this] { RunCommand([](Station& st) { bq::botUpgradeZirconBoxClick(st); }); });
  page_.zirconUpgrade.memoUpgradeAuto->onDoubleClick = [this] {
    bq::memoUpgradeAutoDblClick(*station_);
  };
  connect(page_.btnDescobrirPortaSerial, &QPushButton::clicked, this,
          [this] { btnDescobrirPortaSerialClick(); });
  connect(page_.botProcuraPorta, &QPushButton::clicked, this, [this] { botProcuraPortaClick(); });
  connect(page_.btnProcuraPortaSensorZircon, &QPushButton::clicked, this,
          [this] { btnProcuraPortaSensorZirconClick(); });
  connect(page_.btnSensorZirconEntraEmBoot, &QPushButton::clicked, this,
          [this] { btnSensorZirconEntraEmBootClick(); });
  connect(page_.botArvexBoot, &QPushButton::clicked, this, [this] { botArvexBootClick(); });
  page_.cbPortaSerial->onDropDown = [this] { cbPortaSerialDropDown(); };
  connect(page_.cbPortaSerial, &QComboBox::activated, this, [this] { cbPortaSerialChange(); });

  // Esc is the window's cancel button; F1 opens the help on changing a program.
  auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
  escape->setContext(Qt::WindowShortcut);
  connect(escape, &QShortcut::activated, this, [this] { botCancelaClick(); });
  // A menu closed with the keyboard leaves the menu bar holding the keys, and it
  // takes the next Esc for itself: that Esc still cancels.
  menuBar()->installEventFilter(this);
  auto* f1 = new QShortcut(QKeySequence(Qt::Key_F1), this);
  connect(f1, &QShortcut::activated, this, [this] { OpenHelp(kHelpHowTo); });
}

bool TfrmQuarnMain10BootQuarn::eventFilter(QObject* watched, QEvent* event) {
  if (watched == menuBar() && event->type() == QEvent::KeyPress &&
      static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
    botCancelaClick();
  }
  return QMainWindow::eventFilter(watched, event);
}

bool TfrmQuarnMain10BootQuarn::RunCommand(std::function<void(Station&)> command) {
  if (closePending_ || closed_) return false;
  bool started = runner_.Start(
      [this, command = std::move(command)] {
        try {
          command(*station_);
        } catch (const PortError& e) {
          // The error's own text, then why the port would not open, as the command line says it.
          std::string text = e.what();
          const std::string hint = PortFailureHint(station_->ComPortQuarn, station_->portName);
          if (!hint.empty()) text += "\r\n\r\n" + hint;
          ctx_->ui.ShowErrorBox(text);
        } catch (const std::exception& e) {
          ctx_->ui.ShowErrorBox(e.what());
        }
      },
      [this] { CommandEnded(); });
  if (!started) QApplication::beep();
  if (started) ui_->SetCommandRunning(true);
  return started;
}

void TfrmQuarnMain10BootQuarn::CommandEnded() {
  ui_->SetCommandRunning(false);
  if (closePending_) close();
}

void TfrmQuarnMain10BootQuarn::PerformIfEnabled(QWidget* button,
                                                const std::function<void()>& click) {
  if (!button->isEnabled()) {
    QApplication::beep();
    return;
  }
  click();
}

void TfrmQuarnMain10BootQuarn::botProcurarClick() {
  if (runner_.Busy()) {
    QApplication::beep();
    return;
  }
  QFileDialog dialog(this, QString::fromUtf8("Abrir arquivo"), FileDialogFolder(ctx_->settings));
  dialog.setObjectName("OpenDialog");
  dialog.setFileMode(QFileDialog::ExistingFile);
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  dialog.setDefaultSuffix("kfx");
  // The two program formats together first: the operator rarely knows which one a file is.
  dialog.setNameFilters({QString::fromUtf8("Arquivos de programa (*.kfx *.hex)"),
                         QString::fromUtf8("Arquivo Hex formato Quarn (*.kfx)"),
                         QString::fromUtf8("Arquivo de programa hexadecimal (*.hex)"),
                         QString::fromUtf8("Todos arquivos (*)")});
  if (!ctx_->settings.firmwareFile.empty()) {
    dialog.selectFile(QFileInfo(QString::fromStdString(ctx_->settings.firmwareFile)).fileName());
  }
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
  ChooseFirmware(dialog.selectedFiles().front());
}

bool TfrmQuarnMain10BootQuarn::ChooseFirmware(const QString& path) {
  return RunCommand([file = path.toStdString()](Station& st) {
    if (ChooseFirmwareFile(st.ctx, file, st.flowHeader)) AtualizaStatusBar(st.ctx);
  });
}

bool TfrmQuarnMain10BootQuarn::botConectarEGravarClick() {
  return RunCommand([](Station& st) { bq::botConectarEGravarClick(st); });
}

bool TfrmQuarnMain10BootQuarn::botLeNSClick() {
  return RunCommand([](Station& st) { bq::botLeNSClick(st); });
}

void TfrmQuarnMain10BootQuarn::botCancelaClick() {
  bq::botCancelaClick(*station_);
  bench_->botCancelaClick();
}

void TfrmQuarnMain10BootQuarn::cbPortaSerialDropDown() {
  if (runner_.Busy()) return;  // the running command may be using the list
  bq::cbPortaSerialDropDown(*ctx_);
}

bool TfrmQuarnMain10BootQuarn::cbPortaSerialChange() {
  // A typed path that is not there is marked at once, before any command meets it.
  const QString entered = page_.cbPortaSerial->currentText();
  page_.cbPortaSerial->FlagMissingPath(!entered.isEmpty() && !QFileInfo::exists(entered));
  return RunCommand([](Station& st) {
    bq::cbPortaSerialChange(st);
    AtualizaStatusBar(st.ctx);
  });
}

void TfrmQuarnMain10BootQuarn::btnDescobrirPortaSerialClick() {
  if (runner_.Busy()) {
    QApplication::beep();
    return;
  }
  bq::btnDescobrirPortaSerialClick(*ctx_, [this]() -> std::optional<std::string> {
    TfrmQualPortaSerial finder(
        *ctx_->portLister, [this](int topic) { OpenHelp(topic); }, this);
    if (finder.exec() != QDialog::Accepted) return std::nullopt;
    return finder.finder().FoundName();
  });
}

bool TfrmQuarnMain10BootQuarn::botProcuraPortaClick() {
  return RunCommand([](Station& st) { bq::botProcuraPortaClick(st); });
}

bool TfrmQuarnMain10BootQuarn::btnProcuraPortaSensorZirconClick() {
  return RunCommand([](Station& st) { bq::btnProcuraPortaSensorZirconClick(st); });
}

bool TfrmQuarnMain10BootQuarn::btnSensorZirconEntraEmBootClick() {
  // The worker takes the box's state as the command starts; it never reads a widget.
  const bool automatic = page_.checks.at(Check::chkGravarSensorZirconAuto)->isChecked();
  return RunCommand([automatic](Station& st) {
    st.ctx.gravarSensorZirconAuto = automatic;
    bq::btnSensorZirconEntraEmBootClick(st);
  });
}

bool TfrmQuarnMain10BootQuarn::botArvexBootClick() {
  return RunCommand([](Station& st) { bq::botArvexBootClick(st); });
}

void TfrmQuarnMain10BootQuarn::OpenHelp(int topic) {
  OpenHelpTopic(ctx_->paths, *ui_, topic, urlOpener);
}

bool TfrmQuarnMain10BootQuarn::ShowHelpPage(const QUrl& page) {
  if (helpWindow_ == nullptr) helpWindow_ = new HelpWindow(this);
  return helpWindow_->ShowPage(page);
}

void TfrmQuarnMain10BootQuarn::subMenuHistoricoClick() {
  HistoryDialog history(RecordStoreOf(*ctx_), this);
  history.exec();
}

void TfrmQuarnMain10BootQuarn::subMenuSobreClick() {
  AboutBox about(this);
  about.exec();
}

void TfrmQuarnMain10BootQuarn::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  // Every dialog of the program is modal, so the window is activated from
  // outside only once: when it is first shown.
  if (!activated_) {
    activated_ = true;
    FormActivate(*ctx_);
    // The last file is loaded again, as "&Procurar" would, so its header shows at once.
    const QString last = QString::fromStdString(ctx_->settings.firmwareFile);
    if (QDir::isAbsolutePath(last) && QFileInfo(last).isFile()) ChooseFirmware(last);
  }
}

bool TfrmQuarnMain10BootQuarn::ConfirmCancelAndClose() {
  QMessageBox box(QMessageBox::Question, kApplicationTitle,
                  QString::fromUtf8("Há uma operação em andamento.\n\nCancelar a operação e sair?"),
                  QMessageBox::Yes | QMessageBox::No, this);
  box.setObjectName("ConfirmCloseBox");
  box.setDefaultButton(QMessageBox::No);
  box.setEscapeButton(QMessageBox::No);
  // The command may have ended while the question was up: then there is nothing to cancel.
  return box.exec() == QMessageBox::Yes;
}

void TfrmQuarnMain10BootQuarn::closeEvent(QCloseEvent* event) {
  if (closed_) {
    event->accept();
    return;
  }
  if (runner_.Busy() && !closePending_) {
    if (!ConfirmCancelAndClose()) {
      event->ignore();
      return;
    }
  }
  if (runner_.Busy()) {
    // The port and the settings are left alone until the command has ended;
    // the window then closes by itself.
    closePending_ = true;
    bq::botCancelaClick(*station_);
    event->ignore();
    return;
  }
  closePending_ = false;
  closed_ = true;
  Cronometro_.stop();
  FormClose(*ctx_, *station_);
  event->accept();
}

}  // namespace bq::gui
