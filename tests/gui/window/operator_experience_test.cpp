// What the operator meets around the commands: the help window, the keys, the
// questions in Portuguese, the status line and the file dialog.

#include <QCheckBox>
#include <QFileDialog>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTextBrowser>

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

}  // namespace
}  // namespace bq::test
