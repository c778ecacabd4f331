// The device commands run on the worker thread while the window stays live.

#include <QAction>
#include <QComboBox>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>
#include <fstream>

#include "gui/history_dialog.h"
#include "window_fixture.h"

namespace bq::test {
namespace {

class DeviceCommandTest : public WindowTest {
 protected:
  // A window whose settings point at the device and at a KFX of flash 0x0800..last.
  gui::TfrmQuarnMain10BootQuarn& OpenWithFirmware(uint32_t last) {
    auto& window = OpenWindow();
    file_ = root_.string() + "/produto.kfx";
    image_ = WriteTestKfx(file_, last, 5, 1234, 3, 7);
    EXPECT_TRUE(window.ChooseFirmware(QString::fromStdString(file_)));
    EXPECT_TRUE(WaitUntil([&] { return !window.CommandRunning(); }));
    return window;
  }
  QPushButton* Button(const char* name) { return window_->findChild<QPushButton*>(name); }

  std::string file_;
  std::vector<uint8_t> image_;
};

TEST_F(DeviceCommandTest, ConnectAndWriteProgramsTheDeviceEndToEnd) {
  auto& device = StartDevice();
  auto& window = OpenWithFirmware(0x0FFF);

  Button("botConectarEGravar")->click();
  EXPECT_TRUE(window.CommandRunning());
  ASSERT_TRUE(WaitUntil([&] { return !window.CommandRunning(); }, 60000));

  EXPECT_EQ(StatusLine(), "Operação Ok");
  EXPECT_TRUE(StatusLineGreen());
  EXPECT_TRUE(DeviceButtonsEnabled());
  EXPECT_TRUE(boxes_->Texts("ErrorBox").empty());
  EXPECT_EQ(FieldText("edNSLido"), "1000");
  std::vector<uint8_t> flash = device.Flash();
  EXPECT_TRUE(std::equal(image_.begin() + 0x0800, image_.begin() + 0x1000, flash.begin() + 0x0800));
  EXPECT_EQ(device.ProductCode(), 5);
}

// A write from the window is in "Histórico…": its row, the serial filter and
// the CSV export.
TEST_F(DeviceCommandTest, AWriteShowsInTheHistoryAndItsCsv) {
  StartDevice();
  auto& window = OpenWithFirmware(0x0FFF);
  Button("botConectarEGravar")->click();
  ASSERT_TRUE(WaitUntil([&] { return !window.CommandRunning(); }, 60000));
  ASSERT_EQ(StatusLine(), "Operação Ok");

  auto* action = window.findChild<QAction*>("subMenuHistorico");
  ASSERT_NE(action, nullptr);
  EXPECT_EQ(action->text().toStdString(), "Histórico…");
  const std::string csv = root_.string() + "/historico.csv";
  struct Seen {
    int rows = -1, rowsOfOtherSerial = -1;
    std::string serial, result;
    bool exported = false;
  } seen;
  boxes_->onDialog = [&](QWidget* modal) {
    auto* history = dynamic_cast<gui::HistoryDialog*>(modal);
    if (history == nullptr) return false;
    auto* table = history->findChild<QTableWidget*>("tabelaHistorico");
    seen.rows = table->rowCount();
    if (seen.rows > 0) {
      seen.serial = table->item(0, 4)->text().toStdString();
      seen.result = table->item(0, 7)->text().toStdString();
    }
    seen.exported = history->ExportTo(QString::fromStdString(csv));
    history->findChild<QLineEdit*>("edHistoricoNS")->setText("999");
    history->Refresh();
    seen.rowsOfOtherSerial = table->rowCount();
    history->reject();
    return true;
  };
  action->trigger();

  EXPECT_EQ(seen.rows, 1);
  EXPECT_EQ(seen.serial, "1000");
  EXPECT_EQ(seen.result, "ok");
  EXPECT_EQ(seen.rowsOfOtherSerial, 0);
  ASSERT_TRUE(seen.exported);
  std::ifstream in(csv, std::ios::binary);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  ASSERT_EQ(lines.size(), 2u);  // the header, then the write
  EXPECT_NE(lines[1].find(file_), std::string::npos) << lines[1];
}

TEST_F(DeviceCommandTest, ReadingWithoutADeviceShowsCrossesAndGivesTheButtonsBack) {
  ports_ = {root_.string() + "/no-device"};
  auto& window = OpenWindow();

  Button("botLeNS")->click();
  ASSERT_TRUE(WaitUntil([&] { return !window.CommandRunning(); }, 30000));
  EXPECT_FALSE(boxes_->seen.empty());
  for (const char* field : {"edNSLido", "edVerLido", "edRevLido"}) {
    EXPECT_EQ(FieldText(field), "x") << field;
  }
  EXPECT_TRUE(DeviceButtonsEnabled());
}

TEST_F(DeviceCommandTest, EscapeDuringAWriteCancelsIt) {
  sim::SimOptions paced;
  paced.pacing = true;
  StartDevice(paced);
  auto& window = OpenWithFirmware(0x9FFF);

  Button("botConectarEGravar")->click();
  ASSERT_TRUE(WaitUntil([&] { return StatusLine().find("Gravando") != std::string::npos; }, 30000))
      << StatusLine();
  EXPECT_FALSE(DeviceButtonsEnabled());
  // Every control that starts a command or changes its inputs is locked while it runs.
  const std::vector<QObject*> inputs = {window.findChild<QAction*>("subMenuAbrirArquivo"),
                                        window.findChild<QAction*>("subMenuConectareGravar"),
                                        window.findChild<QAction*>("subMenuLerNmerodeSerie"),
                                        Button("botProcurar"),
                                        window.findChild<QComboBox*>("cbPortaSerial"),
                                        Button("botProcuraPorta"),
                                        Button("btnDescobrirPortaSerial")};
  auto enabled = [](QObject* control) {
    if (auto* action = qobject_cast<QAction*>(control)) return action->isEnabled();
    return static_cast<QWidget*>(control)->isEnabled();
  };
  for (QObject* control : inputs) {
    ASSERT_NE(control, nullptr);
    EXPECT_FALSE(enabled(control)) << control->objectName().toStdString();
  }

  // While it runs, neither a button nor a menu entry starts a second command.
  QAction* menuWrite = window.findChild<QAction*>("subMenuConectareGravar");
  menuWrite->trigger();
  EXPECT_FALSE(window.botLeNSClick());

  // After Esc the bar stays where the write stopped, never jumping to its end.
  auto* bar = window.findChild<QProgressBar*>("ProgressBarGrava");
  ASSERT_TRUE(WaitUntil(
      [&] { return bar->value() > bar->minimum() + (bar->maximum() - bar->minimum()) / 30; },
      30000))
      << bar->value();
  std::vector<int> shown;
  QObject::connect(bar, &QProgressBar::valueChanged, bar,
                   [&](int value) { shown.push_back(value); });
  QTest::keyClick(&window, Qt::Key_Escape);
  const int stoppedAt = bar->value();
  EXPECT_TRUE(window.station().cancelFlag);
  EXPECT_TRUE(DeviceButtonsEnabled());  // at once, while the engine still winds down
  EXPECT_FALSE(window.botConectarEGravarClick());
  ASSERT_TRUE(WaitUntil([&] { return boxes_->Texts("MessageBox").back() == " Cancelado"; }, 30000));
  ASSERT_TRUE(WaitUntil([&] { return !window.CommandRunning(); }, 30000));
  EXPECT_GT(stoppedAt, bar->minimum());
  EXPECT_LT(stoppedAt, bar->maximum());
  for (int value : shown) {
    EXPECT_TRUE(value == 0 || (value >= stoppedAt && value < bar->maximum())) << value;
  }
  for (QObject* control : inputs) {
    EXPECT_TRUE(enabled(control)) << control->objectName().toStdString();
  }
  EXPECT_EQ(boxes_->Texts("MessageBox").back(), " Cancelado");
  EXPECT_EQ(boxes_->Texts("ErrorBox"), std::vector<std::string>{"Falha na gravação"});
  EXPECT_FALSE(StatusLineGreen());
  EXPECT_EQ(StatusLine(), "Cancelado");
  EXPECT_EQ(window.findChild<QProgressBar*>("ProgressBarGrava")->value(), 0);
  EXPECT_TRUE(DeviceButtonsEnabled());
}

TEST_F(DeviceCommandTest, ClosingDuringAWriteAsksAndWaitsForItsEnd) {
  sim::SimOptions paced;
  paced.pacing = true;
  StartDevice(paced);
  auto& window = OpenWithFirmware(0x9FFF);
  Button("botConectarEGravar")->click();
  ASSERT_TRUE(WaitUntil([&] { return StatusLine().find("Gravando") != std::string::npos; }, 30000));

  // No keeps the write going; Yes cancels it, and the window closes at its end.
  boxes_->answers = {QMessageBox::No, QMessageBox::Yes};
  window.close();
  EXPECT_TRUE(window.isVisible());
  EXPECT_TRUE(window.CommandRunning());
  EXPECT_FALSE(window.station().cancelFlag);
  window.close();
  EXPECT_TRUE(window.isVisible());  // the command is asked to stop first
  EXPECT_TRUE(window.station().cancelFlag);
  ASSERT_TRUE(WaitUntil([&] { return !window.isVisible(); }, 30000));
  EXPECT_EQ(boxes_->Texts("ConfirmCloseBox").size(), 2u);
  EXPECT_FALSE(window.station().ComPortQuarn.IsOpen());
  EXPECT_TRUE(std::filesystem::exists(dataRoot_ + "BootQuarn.Ini"));
}

}  // namespace
}  // namespace bq::test
