// What the operator meets around the commands: the help window, the keys, the
// questions in Portuguese, the status line and the file dialog.

#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QStatusBar>
#include <QTest>
#include <QTextBrowser>
#include <iostream>
#include <map>
#include <vector>

#include "gui/port_combo.h"
#include "gui/status_line.h"
#include "window_fixture.h"

namespace bq::test {
namespace {

TEST_F(WindowTest, HelpPagesOpenInsideTheProgram) {
  auto& window = OpenWindow();
  window.urlOpener = [&window](const QUrl& page) { return window.ShowHelpPage(page); };
  struct Step {
    std::function<void()> press;
    const char* page;
  };
  const Step steps[] = {
      {[&] { QTest::keyClick(&window, Qt::Key_F1); }, "topic2.html"},
      {[&] { window.findChild<QPushButton*>("btnVersoes")->click(); }, "topic1.html"},
      {[&] { window.findChild<QPushButton*>("botHelp")->click(); }, "topic2.html"},
  };
  for (const Step& step : steps) {
    step.press();
    auto* browser = window.findChild<QTextBrowser*>("helpBrowser");
    ASSERT_NE(browser, nullptr);
    EXPECT_TRUE(browser->window()->isVisible());
    EXPECT_TRUE(browser->source().toLocalFile().endsWith(step.page))
        << browser->source().toString().toStdString();
    EXPECT_FALSE(browser->toPlainText().isEmpty());
  }
  EXPECT_TRUE(boxes_->Texts("ErrorBox").empty());
}

TEST_F(WindowTest, EscapeCancelsAfterAMenuWasOpenedAndClosed) {
  auto& window = OpenWindow();
  window.activateWindow();
  QMenuBar* bar = window.menuBar();
  auto* menu = window.findChild<QMenu*>("menuArquivo");
  bar->setFocus();
  bar->setActiveAction(menu->menuAction());
  ASSERT_TRUE(WaitUntil([&] { return menu->isVisible(); }));
  QTest::keyClick(menu, Qt::Key_Escape);  // closes the menu; the bar keeps the keys
  ASSERT_TRUE(WaitUntil([&] { return !menu->isVisible(); }));
  ASSERT_FALSE(window.station().cancelFlag);

  QWidget* focus = QApplication::focusWidget();
  QTest::keyClick(focus ? focus : &window, Qt::Key_Escape);
  EXPECT_TRUE(window.station().cancelFlag);
}

TEST_F(WindowTest, EscapeCancelsWhereverTheFocusIs) {
  auto& window = OpenWindow();
  window.activateWindow();
  auto* ports = window.findChild<gui::PortComboBox*>("cbPortaSerial");
  QWidget* targets[] = {window.findChild<QLineEdit*>("edNomeArquivoKFX"), ports->lineEdit(),
                        window.findChild<QPushButton*>("botConectarEGravar"),
                        window.findChild<QCheckBox*>("chkGravarSensorZirconAuto"),
                        window.findChild<QLineEdit*>("edAvisoGravacao")};
  for (QWidget* target : targets) {
    window.station().cancelFlag = false;
    target->setFocus();
    QTest::keyClick(target, Qt::Key_Escape);
    EXPECT_TRUE(window.station().cancelFlag) << target->objectName().toStdString();
  }
}

TEST_F(WindowTest, QuestionsAnswerInPortuguese) {
  QMessageBox box(QMessageBox::Question, "Quarn", "?", QMessageBox::Yes | QMessageBox::No);
  EXPECT_EQ(box.button(QMessageBox::Yes)->text().remove('&').toStdString(), "Sim");
  EXPECT_EQ(box.button(QMessageBox::No)->text().remove('&').toStdString(), "Não");
}

TEST_F(WindowTest, StatusLineShowsEveryStatusWholeAtTheDefaultSize) {
  auto& window = OpenWindow();
  auto* line = window.findChild<gui::StatusLineEdit*>("edAvisoGravacao");
  for (const char* text :
       {"Gravando e conferindo memória de programa...", "Apagando memoria programa 1 step...",
        "Verificando memória de programa...", " Arquivo carregado Ok.", "Falha conexão!!"}) {
    window.context().ui.ShowStatus(text, false);
    EXPECT_EQ(line->text().toStdString(), text);
    EXPECT_TRUE(line->TextFits()) << text;
  }
  EXPECT_TRUE(window.findChild<QProgressBar*>("ProgressBarGrava")->isTextVisible());
  auto* crono = window.findChild<QLineEdit*>("edCrono");
  bool labelled = false;
  for (auto* label : window.findChildren<QLabel*>()) labelled |= label->buddy() == crono;
  EXPECT_TRUE(labelled);
}

TEST_F(WindowTest, FileDialogOpensInTheLastFilesFolderWithBothFormatsFirst) {
  auto& window = OpenWindow();
  const std::string folder = root_.string() + "/firmwares";
  std::filesystem::create_directories(folder);
  WriteTestKfx(folder + "/produto.kfx", 0x0FFF, 5, 1234, 3, 7);
  ASSERT_TRUE(window.ChooseFirmware(QString::fromStdString(folder + "/produto.kfx")));
  ASSERT_TRUE(WaitUntil([&] { return !window.CommandRunning(); }));
  window.context().settings.dataFolder = root_.string() + "/gone/";

  QString directory;
  QStringList filters;
  boxes_->onDialog = [&](QWidget* modal) {
    auto* dialog = qobject_cast<QFileDialog*>(modal);
    if (dialog == nullptr) return false;
    directory = dialog->directory().absolutePath();
    filters = dialog->nameFilters();
    dialog->reject();
    return true;
  };
  window.botProcurarClick();
  EXPECT_EQ(directory.toStdString(), folder);
  ASSERT_FALSE(filters.isEmpty());
  EXPECT_TRUE(filters.front().contains("*.kfx") && filters.front().contains("*.hex"))
      << filters.front().toStdString();
}

// Where each control of the main page sits, in window coordinates.
std::map<QString, QRect> ControlPlaces(QWidget& window) {
  std::map<QString, QRect> places;
  for (QWidget* w : window.findChildren<QWidget*>()) {
    if (w->objectName().isEmpty() || !w->isVisible() || w->objectName() == "lbAviso") continue;
    places[w->objectName()] = QRect(w->mapTo(&window, QPoint(0, 0)), w->size());
  }
  return places;
}

TEST_F(WindowTest, APortScanMovesNoControlAndKeepsTheWindowsHeight) {
  auto& window = OpenWindow();
  ASSERT_TRUE(WaitUntil([&] { return !window.CommandRunning(); }));
  const QSize before = window.size();
  const auto places = ControlPlaces(window);
  window.context().ui.SetScanRunning(true);
  window.context().ui.Show(shown::ScanProgress{
      "Procurando equipamento na porta /dev/ttyUSB0 a 38400 baud, um nome longo"});
  auto* notice = window.findChild<QLabel*>("lbAviso");
  ASSERT_TRUE(WaitUntil([&] { return notice->isVisible(); }));
  QApplication::processEvents();
  EXPECT_EQ(window.size(), before);
  for (const auto& [name, place] : ControlPlaces(window)) {
    if (name == "botProcuraPorta" || !places.count(name)) continue;
    EXPECT_EQ(place, places.at(name)) << name.toStdString();
  }
  EXPECT_TRUE(notice->geometry().height() >= notice->fontMetrics().height());
  window.context().ui.SetScanRunning(false);
  ASSERT_TRUE(WaitUntil([&] { return !notice->isVisible(); }));
  QApplication::processEvents();
  EXPECT_EQ(window.size(), before);
}

// Shrunk as far as it goes, every control keeps the room its text needs and no
// two buttons overlap.
TEST_F(WindowTest, AtItsSmallestEveryControlCanBeRead) {
  auto& window = OpenWindow();
  window.resize(400, 300);
  QApplication::processEvents();
  ASSERT_TRUE(WaitUntil([&] { return window.size() == window.minimumSize(); }))
      << window.width() << "x" << window.height() << " min " << window.minimumWidth() << "x"
      << window.minimumHeight();
  std::cout << "smallest window: " << window.width() << "x" << window.height() << "\n";
  // With a title bar and a desktop panel it still fits a 1280 x 800 screen.
  EXPECT_LE(window.width(), 1280);
  EXPECT_LE(window.height(), 730);
  std::vector<QWidget*> controls;
  for (QWidget* w : window.page().page->findChildren<QWidget*>()) {
    if (!w->isVisibleTo(&window) || w->objectName().isEmpty()) continue;
    if (qobject_cast<QAbstractButton*>(w) || qobject_cast<QLineEdit*>(w) ||
        qobject_cast<QComboBox*>(w) || qobject_cast<QProgressBar*>(w)) {
      controls.push_back(w);
    }
  }
  ASSERT_GT(controls.size(), 20u);
  for (QWidget* w : controls) {
    if (qobject_cast<QLineEdit*>(w) && w->parentWidget() &&
        qobject_cast<QComboBox*>(w->parentWidget())) {
      continue;
    }
    const QSize need = w->minimumSizeHint();
    EXPECT_GE(w->width(), need.width()) << w->objectName().toStdString();
    EXPECT_GE(w->height(), need.height()) << w->objectName().toStdString();
    const QRect inWindow(w->mapTo(&window, QPoint(0, 0)), w->size());
    EXPECT_TRUE(window.rect().contains(inWindow)) << w->objectName().toStdString();
  }
  for (size_t i = 0; i < controls.size(); ++i) {
    for (size_t j = i + 1; j < controls.size(); ++j) {
      if (!qobject_cast<QPushButton*>(controls[i]) || !qobject_cast<QPushButton*>(controls[j])) {
        continue;
      }
      const QRect a(controls[i]->mapTo(&window, QPoint(0, 0)), controls[i]->size());
      const QRect b(controls[j]->mapTo(&window, QPoint(0, 0)), controls[j]->size());
      EXPECT_FALSE(a.intersects(b)) << controls[i]->objectName().toStdString() << " and "
                                    << controls[j]->objectName().toStdString();
    }
  }
  EXPECT_TRUE(window.statusBar()->isVisible());
}

}  // namespace
}  // namespace bq::test
