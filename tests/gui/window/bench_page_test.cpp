// The "Bancada" page: several devices written at once from the window, each
// row ending on its own, and the rows kept in the settings file.

#include "gui/bench_page.h"

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <fstream>
#include <sstream>

#include "boot/boot_protocol.h"
#include "gui/port_combo.h"
#include "window_fixture.h"

namespace bq::test {
namespace {

class BenchPageTest : public WindowTest {
 protected:
  void TearDown() override {
    if (window_) window_->bench().StopAndWait();
    WindowTest::TearDown();
    for (auto& d : devices_) d->Stop();
  }

  // The window with the file loaded on its main page and one row per device.
  gui::BenchPage& OpenBench(std::vector<sim::SimOptions> devices) {
    auto& window = OpenWindow();
    file_ = root_.string() + "/produto.kfx";
    image_ = WriteTestKfx(file_, 0x0FFF, 5, 1234, 3, 7);
    EXPECT_TRUE(window.ChooseFirmware(QString::fromStdString(file_)));
    EXPECT_TRUE(WaitUntil([&] { return !window.CommandRunning(); }));
    gui::BenchPage& bench = window.bench();
    for (auto& o : devices) {
      o.serialNumber = static_cast<uint16_t>(700 + devices_.size());
      devices_.push_back(std::make_unique<sim::VirtualDevice>(o));
      devices_.back()->Start();
      paths_.push_back(devices_.back()->PortPath());
      bench.findChild<QPushButton*>("botAdicionarPorta")->click();
      Combo(bench.Rows())->setEditText(QString::fromStdString(paths_.back()));
    }
    return bench;
  }

  gui::PortComboBox* Combo(int line) {
    return window_->bench().findChild<gui::PortComboBox*>(QString("cbPortaBancada%1").arg(line));
  }
  std::string Label(const char* name, int line) {
    auto* label = window_->bench().findChild<QLabel*>(QString("%1%2").arg(name).arg(line));
    return label ? label->text().toStdString() : "<none>";
  }
  std::string State(int line) { return Label("lbEstadoBancada", line); }
  std::string Result(int line) { return Label("lbResultadoBancada", line); }

  // Writes every row and waits for the bench to end.
  void WriteAll(gui::BenchPage& bench) {
    bench.findChild<QPushButton*>("botGravarTodas")->click();
    ASSERT_TRUE(bench.Running());
    ASSERT_TRUE(WaitUntil([&] { return !bench.Running(); }, 60000));
    bench.Refresh();
  }

  bool Holds(const sim::VirtualDevice& d) const {
    const std::vector<uint8_t> flash = d.Flash();
    return std::equal(image_.begin() + 0x0800, image_.begin() + 0x1000, flash.begin() + 0x0800);
  }

  size_t LoggedWrites() const {
    std::ifstream in(dataRoot_ + "Log_Producao/" + LogName(), std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    const std::string log = s.str();
    size_t n = 0;
    for (size_t at = log.find(">Firmware gravado OK"); at != std::string::npos;
         at = log.find(">Firmware gravado OK", at + 1))
      ++n;
    return n;
  }
  std::string LogName() const {
    return std::filesystem::path(window_->context().paths.productionLog).filename().string();
  }

  std::string file_;
  std::vector<uint8_t> image_;
  std::vector<std::unique_ptr<sim::VirtualDevice>> devices_;
  std::vector<std::string> paths_;
};

sim::SimOptions Unplugged() {
  sim::SimOptions o;
  sim::Fault f;
  f.kind = sim::FaultKind::kUnplug;
  f.request = 12;
  o.faults = {f};
  return o;
}

TEST_F(BenchPageTest, EveryRowIsWrittenAndRecordedAsFromTheMainPage) {
  gui::BenchPage& bench = OpenBench(std::vector<sim::SimOptions>(3));
  WriteAll(bench);
  for (int line = 1; line <= 3; ++line) {
    SCOPED_TRACE(paths_[line - 1]);
    EXPECT_EQ(State(line), "concluído");
    EXPECT_EQ(Result(line), "Operação Ok");
    EXPECT_TRUE(Holds(*devices_[line - 1]));
  }
  EXPECT_EQ(LoggedWrites(), 3u);
  EXPECT_EQ(window_->context().upgradeCounter.load(), 3);
  EXPECT_EQ(window_->controls().FieldText(Field::edContadorUpgrade), "3");
}

TEST_F(BenchPageTest, ARowThatFailsDoesNotStopTheOthers) {
  gui::BenchPage& bench = OpenBench({{}, Unplugged(), {}});
  WriteAll(bench);
  EXPECT_EQ(State(1), "concluído");
  EXPECT_EQ(State(2), "falhou");
  EXPECT_EQ(Result(2).rfind("Equipamento parou de responder no endereço 0x", 0), 0u) << Result(2);
  EXPECT_EQ(State(3), "concluído");
  EXPECT_EQ(LoggedWrites(), 2u);
}

// The older-firmware question names the port and the device; No on one row
// leaves that device alone while the others are written.
TEST_F(BenchPageTest, ADowngradeAnsweredNoOnOneRow) {
  sim::SimOptions newer;
  newer.firmwareVersion = 9;
  gui::BenchPage& bench = OpenBench({{}, newer});
  boxes_->answers = {QMessageBox::No};
  WriteAll(bench);
  const std::vector<std::string> asked = boxes_->Texts("BenchConfirmBox");
  ASSERT_EQ(asked.size(), 1u);
  EXPECT_EQ(asked[0].rfind(paths_[1] + "  NS 701", 0), 0u) << asked[0];
  EXPECT_EQ(State(1), "concluído");
  EXPECT_EQ(State(2), "recusado");
  EXPECT_FALSE(Holds(*devices_[1]));
}

TEST_F(BenchPageTest, AcceptingOlderVersionsAsksNothing) {
  sim::SimOptions newer;
  newer.firmwareVersion = 9;
  gui::BenchPage& bench = OpenBench({newer});
  bench.findChild<QCheckBox*>("chkAceitarVersaoAntiga")->setChecked(true);
  WriteAll(bench);
  EXPECT_TRUE(boxes_->Texts("BenchConfirmBox").empty());
  EXPECT_EQ(State(1), "concluído");
}

TEST_F(BenchPageTest, CancelStopsEveryRow) {
  std::vector<sim::SimOptions> slow(2);
  for (auto& o : slow) o.writeDelayMs = 50;
  gui::BenchPage& bench = OpenBench(slow);
  bench.findChild<QPushButton*>("botGravarTodas")->click();
  ASSERT_TRUE(WaitUntil([&] {
    for (auto& d : devices_) {
      const auto requests = d->Requests();
      if (std::none_of(requests.begin(), requests.end(), [](const sim::Request& r) {
            return r.command == boot::kWriteVerifyFlash || r.command == boot::kWriteFlash ||
                   r.command == boot::kWriteVerifyFlashLong;
          }))
        return false;
    }
    return true;
  }));
  bench.findChild<QPushButton*>("botCancelaBancada")->click();
  ASSERT_TRUE(WaitUntil([&] { return !bench.Running(); }, 30000));
  bench.Refresh();
  EXPECT_EQ(State(1), "cancelado");
  EXPECT_EQ(State(2), "cancelado");
  EXPECT_EQ(LoggedWrites(), 0u);
}

TEST_F(BenchPageTest, ARowCannotTakeAnotherRowsPort) {
  gui::BenchPage& bench = OpenBench(std::vector<sim::SimOptions>(1));
  bench.findChild<QPushButton*>("botAdicionarPorta")->click();
  Combo(2)->setEditText(QString::fromStdString(paths_[0]));
  EXPECT_TRUE(Combo(2)->currentText().isEmpty());
  EXPECT_EQ(Result(2), "Porta já usada em outra linha");
}

// The rows come back as they were when the window starts again.
TEST_F(BenchPageTest, TheRowsAreKeptInTheSettings) {
  OpenBench(std::vector<sim::SimOptions>(2));
  ASSERT_TRUE(CloseWindow());
  window_.reset();
  OpenWindow();
  ASSERT_EQ(window_->bench().Rows(), 2);
  EXPECT_EQ(Combo(1)->currentText().toStdString(), paths_[0]);
  EXPECT_EQ(Combo(2)->currentText().toStdString(), paths_[1]);
}

}  // namespace
}  // namespace bq::test
