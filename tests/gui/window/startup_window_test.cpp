// Start-up, the main page, opening a firmware file and closing.

#include <QComboBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QTabWidget>
#include <QTest>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "gui/port_combo.h"
#include "serial/port_error.h"
#include "window_fixture.h"

namespace bq::test {
namespace {

namespace fs = std::filesystem;

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

TEST_F(WindowTest, FirstStartCreatesTheDataFolderAndClosingWritesTheSettings) {
  ports_ = {"/dev/ttyUSB0", "/dev/ttyUSB1"};
  fs::create_directories(dataRoot_);
  std::ofstream(dataRoot_ + "LogUsoBoot.txt") << "last run\r\n";
  auto& window = OpenWindow();

  EXPECT_EQ(boxes_->Texts("MessageBox"),
            std::vector<std::string>{"Pasta " + dataRoot_ +
                                     "Log_Producao/  não encontrada.\n\nPasta será criada!!"});
  EXPECT_TRUE(fs::is_directory(dataRoot_ + "Log_Producao"));
  EXPECT_FALSE(fs::exists(dataRoot_ + "LogUsoBoot.txt"));

  EXPECT_EQ(window.windowTitle().toStdString(), "Quarn Troca Firmware MSP430 2019 v5.54");
  auto* pages = window.findChild<QTabWidget*>("Pages");
  ASSERT_NE(pages, nullptr);
  // The main page, and the bench beside it.
  EXPECT_EQ(pages->count(), 2);
  EXPECT_EQ(pages->tabText(0).toStdString(), " Sistema de Troca de Programa Quarn ");
  EXPECT_EQ(pages->tabText(1).toStdString(), "Bancada");
  EXPECT_EQ(StatusLine(), "Processo de Gravação");

  // Activation: the stored port (the default) is absent, so the first one is taken.
  auto* ports = window.findChild<QComboBox*>("cbPortaSerial");
  EXPECT_EQ(ports->count(), 2);
  EXPECT_EQ(ports->currentText().toStdString(), "/dev/ttyUSB0");
  EXPECT_EQ(window.findChild<QLabel*>("MainStatusBarPanel1")->text().toStdString(), "/dev/ttyUSB0");
  EXPECT_EQ(window.findChild<QComboBox*>("cbCodigoProdutoLido")->count(), 29);
  EXPECT_EQ(window.findChild<QComboBox*>("cbCodigoProdutoKfxLido")->count(), 29);

  // A probe's rate stored during the run does not reach the file.
  window.context().settings.baudRate = 38400;
  ports->setCurrentIndex(1);
  ASSERT_TRUE(CloseWindow());
  std::string ini = ReadFile(dataRoot_ + "BootQuarn.Ini");
  EXPECT_NE(ini.find("Porta Serial_________=/dev/ttyUSB1\r\n"), std::string::npos) << ini;
  EXPECT_NE(ini.find("BaudRate_____________=9600\r\n"), std::string::npos) << ini;
  EXPECT_TRUE(boxes_->Texts("ErrorBox").empty());
}

TEST_F(WindowTest, ChoosingAFileShowsItsHeader) {
  auto& window = OpenWindow();
  std::string file = root_.string() + "/produto.kfx";
  WriteTestKfx(file, 0x0FFF, 5, 1234, 3, 7);

  ASSERT_TRUE(window.ChooseFirmware(QString::fromStdString(file)));
  ASSERT_TRUE(WaitUntil([&] { return !window.CommandRunning(); }));
  EXPECT_EQ(FieldText("edNomeArquivoKFX"), file);
  EXPECT_EQ(FieldText("edNsKfxLido"), "1234");
  EXPECT_EQ(FieldText("edVerKfxLido"), "3");
  EXPECT_EQ(FieldText("edRevKfxLido"), "7");
  EXPECT_EQ(window.findChild<QComboBox*>("cbCodigoProdutoKfxLido")->currentIndex(), 5);
  EXPECT_EQ(StatusLine(), " Arquivo carregado Ok.");
  EXPECT_EQ(window.findChild<QLabel*>("MainStatusBarPanel0")->text().toStdString(), file);
  EXPECT_EQ(window.context().settings.dataFolder, root_.string() + "/");

  ASSERT_TRUE(CloseWindow());
  EXPECT_NE(ReadFile(dataRoot_ + "BootQuarn.Ini").find("Arquivo hexa________=" + file + "\r\n"),
            std::string::npos);
}

// Until a file was chosen the Open dialog starts in the home folder; after a
// restart the last file is loaded again, its header shown as "&Procurar" shows it.
TEST_F(WindowTest, TheLastFileIsLoadedAtStartUpAndTheFirstOpenStartsAtHome) {
  const std::string home = root_.string() + "/home";
  fs::create_directories(home);
  const char* savedHome = std::getenv("HOME");
  const std::string oldHome = savedHome ? savedHome : "";
  ::setenv("HOME", home.c_str(), 1);
  auto& first = OpenWindow();
  QString directory;
  boxes_->onDialog = [&](QWidget* modal) {
    auto* dialog = qobject_cast<QFileDialog*>(modal);
    if (dialog == nullptr) return false;
    directory = dialog->directory().absolutePath();
    dialog->reject();
    return true;
  };
  first.botProcurarClick();
  if (savedHome) {
    ::setenv("HOME", oldHome.c_str(), 1);
  } else {
    ::unsetenv("HOME");
  }
  EXPECT_EQ(directory.toStdString(), home);
  EXPECT_EQ(FieldText("edNsKfxLido"), "");

  const std::string file = root_.string() + "/produto.kfx";
  WriteTestKfx(file, 0x0FFF, 5, 1234, 3, 7);
  ASSERT_TRUE(first.ChooseFirmware(QString::fromStdString(file)));
  ASSERT_TRUE(WaitUntil([&] { return !first.CommandRunning(); }));
  ASSERT_TRUE(CloseWindow());

  auto& again = OpenWindow();
  ASSERT_TRUE(WaitUntil([&] { return !again.CommandRunning() && FieldText("edNsKfxLido") != ""; }));
  EXPECT_EQ(FieldText("edNomeArquivoKFX"), file);
  EXPECT_EQ(FieldText("edNsKfxLido"), "1234");
  EXPECT_EQ(FieldText("edVerKfxLido"), "3");
  EXPECT_EQ(again.findChild<QComboBox*>("cbCodigoProdutoKfxLido")->currentIndex(), 5);
  EXPECT_EQ(StatusLine(), " Arquivo carregado Ok.");
  EXPECT_TRUE(boxes_->Texts("ErrorBox").empty());

  // A last file that is gone is only named, as before.
  ASSERT_TRUE(CloseWindow());
  fs::remove(file);
  auto& gone = OpenWindow();
  ASSERT_TRUE(WaitUntil([&] { return !gone.CommandRunning(); }));
  EXPECT_EQ(FieldText("edNomeArquivoKFX"), file);
  EXPECT_EQ(FieldText("edNsKfxLido"), "");
  EXPECT_TRUE(boxes_->Texts("ErrorBox").empty());
}

TEST_F(WindowTest, ABrokenFileIsReportedAndTheWindowGoesOn) {
  auto& window = OpenWindow();
  std::string file = root_.string() + "/quebrado.hex";
  std::ofstream(file) << "isto não é hex\r\n";
  ASSERT_TRUE(window.ChooseFirmware(QString::fromStdString(file)));
  ASSERT_TRUE(WaitUntil([&] { return !window.CommandRunning(); }));
  EXPECT_EQ(boxes_->Texts("MessageBox").back(), "Linha 1: não começa com [:]");
  // The next command runs as usual.
  EXPECT_TRUE(window.ChooseFirmware(QString::fromStdString(file)));
}

TEST_F(WindowTest, ATypedDevicePathBecomesTheSettingsPort) {
  ports_ = {"/dev/ttyUSB0"};
  auto& window = OpenWindow();
  size_t boxesAtStart = boxes_->seen.size();
  auto* ports = window.findChild<QComboBox*>("cbPortaSerial");
  ports->lineEdit()->clear();
  QTest::keyClicks(ports->lineEdit(), "/dev/null");
  QTest::keyClick(ports->lineEdit(), Qt::Key_Return);
  ASSERT_TRUE(WaitUntil([&] { return !window.CommandRunning(); }));
  EXPECT_EQ(window.context().settings.portName, "/dev/null");
  EXPECT_EQ(window.findChild<QLabel*>("MainStatusBarPanel1")->text().toStdString(), "/dev/null");
  // Not a serial port: it does not open, and that is not reported until a device command runs.
  EXPECT_FALSE(window.station().ComPortQuarn.IsOpen());
  EXPECT_EQ(boxes_->seen.size(), boxesAtStart);
  EXPECT_FALSE(static_cast<gui::PortComboBox*>(ports)->PathFlaggedMissing());
}

TEST_F(WindowTest, ATypedPathThatIsNotThereIsFlaggedAtOnce) {
  ports_ = {"/dev/ttyUSB0"};
  auto& window = OpenWindow();
  auto* ports = window.findChild<gui::PortComboBox*>("cbPortaSerial");
  const std::string missing = root_.string() + "/ttyNada";
  ports->lineEdit()->clear();
  QTest::keyClicks(ports->lineEdit(), QString::fromStdString(missing));
  QTest::keyClick(ports->lineEdit(), Qt::Key_Return);
  // Red at once, before the port is tried, and still red once the try is over.
  auto shownRed = [&] {
    return ports->lineEdit()->palette().color(QPalette::Text) == QColor(Qt::red);
  };
  EXPECT_TRUE(ports->PathFlaggedMissing());
  EXPECT_TRUE(shownRed());
  EXPECT_TRUE(ports->lineEdit()->toolTip().contains(QString::fromStdString(missing)));
  ASSERT_TRUE(WaitUntil([&] { return !window.CommandRunning(); }));
  QApplication::processEvents();
  EXPECT_EQ(ports->currentText().toStdString(), missing);
  EXPECT_TRUE(ports->PathFlaggedMissing());
  EXPECT_TRUE(shownRed());

  QTest::keyClicks(ports->lineEdit(), "0");  // the operator corrects it
  EXPECT_FALSE(ports->PathFlaggedMissing());
  EXPECT_FALSE(shownRed());
}

// A port that does not open: the error keeps its text and says why, as the command line does.
TEST_F(WindowTest, APortThatDoesNotOpenSaysWhy) {
  const std::string missing = root_.string() + "/ttyNada";
  ports_ = {missing};
  auto& window = OpenWindow();
  const std::string file = root_.string() + "/produto.kfx";
  WriteTestKfx(file, 0x0FFF, 5, 1234, 3, 7);
  ASSERT_TRUE(window.ChooseFirmware(QString::fromStdString(file)));
  ASSERT_TRUE(WaitUntil([&] { return !window.CommandRunning(); }));
  boxes_->seen.clear();
  ASSERT_TRUE(window.botConectarEGravarClick());
  ASSERT_TRUE(WaitUntil([&] { return !window.CommandRunning(); }, 30000));
  std::vector<std::string> errors = boxes_->Texts("ErrorBox");
  ASSERT_FALSE(errors.empty());
  const std::string& last = errors.back();
  EXPECT_EQ(last.rfind(kClosedPortText, 0), 0u) << last;
  EXPECT_NE(last.find("cannot open " + missing + ": "), std::string::npos) << last;
  EXPECT_NE(last.find("does not exist"), std::string::npos) << last;
}

}  // namespace
}  // namespace bq::test
