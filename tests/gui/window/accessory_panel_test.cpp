// The port scans and the accessory boot panel, run on the worker like any
// device command.

#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QLabel>
#include <QPushButton>

#include "window_fixture.h"

namespace bq::test {
namespace {

// Counts the events of one type a widget receives: a state seen however briefly.
class EventCounter : public QObject {
 public:
  EventCounter(QWidget* widget, QEvent::Type type) : type_(type) {
    widget->installEventFilter(this);
  }
  int count = 0;

 protected:
  bool eventFilter(QObject* /*watched*/, QEvent* event) override {
    if (event->type() == type_) ++count;
    return false;
  }

 private:
  QEvent::Type type_;
};

class AccessoryPanelTest : public WindowTest {
 protected:
  QPushButton* Button(const char* name) { return window_->findChild<QPushButton*>(name); }
  QString SelectedPort() { return window_->findChild<QComboBox*>("cbPortaSerial")->currentText(); }
  bool WaitForIdle(int timeoutMs = 60000) {
    return WaitUntil([this] { return !window_->CommandRunning(); }, timeoutMs);
  }
};

// Each scan walks the list past a port with nothing on it to the device.
struct ScanCase {
  const char* name;
  sim::Personality personality;
  const char* button;
  const char* found;
};

class PortScanTest : public AccessoryPanelTest, public ::testing::WithParamInterface<ScanCase> {};

TEST_P(PortScanTest, SelectsThePortTheDeviceAnswersOn) {
  const ScanCase& c = GetParam();
  sim::SimOptions options;
  options.personality = c.personality;
  auto& device = StartDevice(options);
  const std::string empty = root_.string() + "/no-device";
  ports_ = {empty, device.PortPath()};
  auto& window = OpenWindow();
  ASSERT_EQ(SelectedPort().toStdString(), empty);
  auto* notice = window.findChild<QLabel*>("lbAviso");
  EventCounter noticeShown(notice, QEvent::Show);
  boxes_->seen.clear();
  ASSERT_FALSE(notice->isVisible());

  Button(c.button)->click();
  EXPECT_TRUE(window.CommandRunning());
  ASSERT_TRUE(WaitForIdle());

  EXPECT_EQ(SelectedPort().toStdString(), device.PortPath());
  EXPECT_EQ(boxes_->Texts("MessageBox"), std::vector<std::string>{c.found + device.PortPath()});
  EXPECT_EQ(window.context().settings.portName, device.PortPath());
  EXPECT_GE(noticeShown.count, 1);
  EXPECT_FALSE(notice->isVisible());
  EXPECT_TRUE(Button("botProcuraPorta")->isVisible());
}

INSTANTIATE_TEST_SUITE_P(Scans, PortScanTest,
                         ::testing::Values(ScanCase{"BootLoader", sim::Personality::kBoot,
                                                    "botProcuraPorta", "Encontrou Quarn na porta "},
                                           ScanCase{"ZirconBox", sim::Personality::kZirconBox,
                                                    "btnProcuraPortaSensorZircon",
                                                    "Encontrou ZirconBox Amarelo na porta "}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(AccessoryPanelTest, ProcuraPortaWithNothingConnectedSaysSoAndGivesTheButtonBack) {
  ports_ = {root_.string() + "/no-device"};
  auto& window = OpenWindow();
  boxes_->seen.clear();

  Button("botProcuraPorta")->click();
  ASSERT_TRUE(WaitForIdle());

  ASSERT_EQ(boxes_->Texts("ErrorBox").size(), 1u);
  EXPECT_NE(boxes_->Texts("ErrorBox")[0].find("Não encontrou Quarn conectado!"), std::string::npos);
  EXPECT_FALSE(window.findChild<QLabel*>("lbAviso")->isVisible());
  EXPECT_TRUE(Button("botProcuraPorta")->isVisible());
}

// The Zircon boot entry: without "Gravar automaticamente" the operator is told
// to write; with it the write follows at once.
struct BootEntryCase {
  const char* name;
  bool automatic;
  const char* message;  // the one plain box, or "" for none
  const char* status;
};

class ZirconBootEntryTest : public AccessoryPanelTest,
                            public ::testing::WithParamInterface<BootEntryCase> {};

TEST_P(ZirconBootEntryTest, EntersBootAndWritesWhenAsked) {
  const BootEntryCase& c = GetParam();
  sim::SimOptions zircon;
  zircon.personality = sim::Personality::kZirconBox;
  StartDevice(zircon);
  auto& window = OpenWindow();
  const std::string file = root_.string() + "/zircon.kfx";
  WriteTestKfx(file, 0x0FFF, 5, 1234, 3, 7);
  ASSERT_TRUE(window.ChooseFirmware(QString::fromStdString(file)));
  ASSERT_TRUE(WaitForIdle());
  window.findChild<QCheckBox*>("chkGravarSensorZirconAuto")->setChecked(c.automatic);
  const std::string statusBefore = StatusLine();
  boxes_->seen.clear();
  std::vector<std::unique_ptr<EventCounter>> locked;
  for (QPushButton* button : window.page().DeviceCommandButtons()) {
    locked.push_back(std::make_unique<EventCounter>(button, QEvent::EnabledChange));
  }

  Button("btnSensorZirconEntraEmBoot")->click();
  ASSERT_TRUE(window.CommandRunning());
  ASSERT_TRUE(WaitForIdle());

  for (const auto& counter : locked) EXPECT_GE(counter->count, 2);  // locked, then given back
  EXPECT_TRUE(boxes_->Texts("ErrorBox").empty());
  std::vector<std::string> messages = boxes_->Texts("MessageBox");
  if (*c.message) {
    EXPECT_EQ(messages, std::vector<std::string>{c.message});
  } else {
    EXPECT_TRUE(messages.empty());
  }
  EXPECT_EQ(StatusLine(), *c.status ? c.status : statusBefore);
  EXPECT_TRUE(DeviceButtonsEnabled());
  EXPECT_TRUE(Button("botArvexBoot")->isEnabled());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ZirconBootEntryTest,
    ::testing::Values(
        BootEntryCase{"Manual", false,
                      "Sensor Zircon em Modo Boot.\nPara gravar use o botão [ Conectar e Gravar ]",
                      ""},
        BootEntryCase{"Automatic", true, "", "Operação Ok"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace bq::test
