// The device commands run on the worker thread while the window stays live.

#include <QAction>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>

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

  // While it runs, neither a button nor a menu entry starts a second command.
  QAction* menuWrite = window.findChild<QAction*>("subMenuConectareGravar");
  menuWrite->trigger();
  EXPECT_FALSE(window.botLeNSClick());

  QTest::keyClick(&window, Qt::Key_Escape);
  EXPECT_TRUE(window.station().cancelFlag);
  EXPECT_TRUE(DeviceButtonsEnabled());  // at once, while the engine still winds down
  EXPECT_FALSE(window.botConectarEGravarClick());
  ASSERT_TRUE(WaitUntil([&] { return !window.CommandRunning(); }, 30000));
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
