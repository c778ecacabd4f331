// Pictures of the window for the documentation, taken only when asked:
//   BQ_SCREENSHOT_DIR   where the PNG files go
//   BQ_SCREENSHOT_PORT  the port of a device (a bootquarn-sim --pacing --link)
// Without both the test is skipped.

#include <fcntl.h>
#include <unistd.h>

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <cstdlib>

#include "gui/bench_page.h"
#include "gui/port_combo.h"
#include "window_fixture.h"

namespace bq::test {
namespace {

class Screenshots : public WindowTest {
 protected:
  void Save(const char* name) {
    QApplication::processEvents();
    const QString path = QString::fromUtf8(dir_) + "/" + name;
    EXPECT_TRUE(window_->grab().save(path, "PNG")) << path.toStdString();
  }
  bool WaitForStatus(const std::string& start, int timeoutMs = 60000) {
    return WaitUntil([&] { return StatusLine().rfind(start, 0) == 0; }, timeoutMs);
  }
  int BarPercent() const {
    auto* bar = window_->findChild<QProgressBar*>("ProgressBarGrava");
    const int span = bar->maximum() - bar->minimum();
    return span <= 0 ? 0 : (bar->value() - bar->minimum()) * 100 / span;
  }
  const char* dir_ = nullptr;
};

TEST_F(Screenshots, DuringAndAfterAWriteAndAfterACancel) {
  dir_ = std::getenv("BQ_SCREENSHOT_DIR");
  const char* port = std::getenv("BQ_SCREENSHOT_PORT");
  if (dir_ == nullptr || port == nullptr) GTEST_SKIP() << "BQ_SCREENSHOT_DIR/PORT not set";
  ports_ = {port};
  auto& window = OpenWindow();
  const std::string file = root_.string() + "/P05_V3_07_NS001234.kfx";
  WriteTestKfx(file, 0x7FFF, 5, 1234, 3, 7);
  ASSERT_TRUE(window.ChooseFirmware(QString::fromStdString(file)));
  ASSERT_TRUE(WaitUntil([&] { return !window.CommandRunning(); }));
  auto* write = window.findChild<QPushButton*>("botConectarEGravar");

  // A cancelled write leaves the device in its boot loader, ready for the full write;
  // a finished one starts the device's program, so it comes last.
  write->click();
  ASSERT_TRUE(WaitForStatus("Gravando"));
  ASSERT_TRUE(WaitUntil([&] { return BarPercent() >= 20; }, 60000));
  // Without a window manager the window may never become active; the button then stands in.
  window.activateWindow();
  if (QTest::qWaitForWindowActive(&window, 2000)) {
    QTest::keyClick(&window, Qt::Key_Escape);
  } else {
    window.findChild<QPushButton*>("botCancela")->click();
  }
  ASSERT_TRUE(WaitUntil([&] { return !window.CommandRunning(); }, 60000));
  ASSERT_EQ(StatusLine(), "Cancelado");
  Save("window-cancelled.png");

  write->click();
  ASSERT_TRUE(WaitForStatus("Gravando"));
  ASSERT_TRUE(WaitUntil([&] { return BarPercent() >= 40; }, 60000));
  Save("window-writing.png");
  ASSERT_TRUE(WaitUntil([&] { return !window.CommandRunning(); }, 120000));
  ASSERT_EQ(StatusLine(), "Operação Ok");
  Save("window-written.png");
}

// The bench page during and after a write of four devices, one of which is
// pulled out half-way. The devices run in the test, at the line's real speed.
TEST_F(Screenshots, TheBenchDuringAndAfterAWriteOfFour) {
  dir_ = std::getenv("BQ_SCREENSHOT_DIR");
  if (dir_ == nullptr) GTEST_SKIP() << "BQ_SCREENSHOT_DIR not set";
  auto& window = OpenWindow();
  const std::string file = root_.string() + "/P05_V3_07_NS001234.kfx";
  WriteTestKfx(file, 0x3FFF, 5, 1234, 3, 7);
  ASSERT_TRUE(window.ChooseFirmware(QString::fromStdString(file)));
  ASSERT_TRUE(WaitUntil([&] { return !window.CommandRunning(); }));
  window.findChild<QTabWidget*>("Pages")->setCurrentIndex(1);
  gui::BenchPage& bench = window.bench();
  std::vector<std::unique_ptr<sim::VirtualDevice>> devices;
  for (int i = 0; i < 4; ++i) {
    sim::SimOptions o;
    o.pacing = true;
    o.serialNumber = static_cast<uint16_t>(341 + i);
    if (i == 2) {
      sim::Fault unplug;
      unplug.kind = sim::FaultKind::kUnplug;
      unplug.request = 60;
      o.faults = {unplug};
    }
    devices.push_back(std::make_unique<sim::VirtualDevice>(o));
    devices.back()->Start();
    bench.findChild<QPushButton*>("botAdicionarPorta")->click();
    bench.findChild<gui::PortComboBox*>(QString("cbPortaBancada%1").arg(i + 1))
        ->setEditText(QString::fromStdString(devices.back()->PortPath()));
  }
  bench.findChild<QPushButton*>("botGravarTodas")->click();
  auto* bar = bench.findChild<QProgressBar*>("ProgressBarBancada1");
  ASSERT_TRUE(WaitUntil([&] { return bar->value() >= 40; }, 120000));
  Save("bench-writing.png");
  ASSERT_TRUE(WaitUntil([&] { return !bench.Running(); }, 240000));
  bench.Refresh();
  Save("bench-written.png");
  for (auto& d : devices) d->Stop();
}

// "Procura Porta" while it tries a port nobody answers on, before the
// device's own port.
TEST_F(Screenshots, DuringAPortScan) {
  dir_ = std::getenv("BQ_SCREENSHOT_DIR");
  if (dir_ == nullptr) GTEST_SKIP() << "BQ_SCREENSHOT_DIR not set";
  const int quiet = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  ASSERT_GE(quiet, 0);
  ASSERT_EQ(::grantpt(quiet), 0);
  ASSERT_EQ(::unlockpt(quiet), 0);
  const std::string quietPort = ::ptsname(quiet);
  sim::VirtualDevice& device = StartDevice();
  ports_ = {quietPort, device.PortPath()};
  auto& window = OpenWindow();
  const std::string file = root_.string() + "/P05_V3_07_NS001234.kfx";
  WriteTestKfx(file, 0x7FFF, 5, 1234, 3, 7);
  ASSERT_TRUE(window.ChooseFirmware(QString::fromStdString(file)));
  ASSERT_TRUE(WaitUntil([&] { return !window.CommandRunning(); }));
  window.findChild<QPushButton*>("botProcuraPorta")->click();
  auto* notice = window.findChild<QLabel*>("lbAviso");
  ASSERT_TRUE(WaitUntil([&] {
    return notice->isVisible() && notice->text().contains(QString::fromStdString(quietPort));
  }));
  Save("window-scanning.png");
  ASSERT_TRUE(WaitUntil([&] { return !window.CommandRunning(); }, 60000));
  ::close(quiet);
}

}  // namespace
}  // namespace bq::test
