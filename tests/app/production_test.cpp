// The production panel: the one-press ZirconBox upgrade with the file of the
// device's own serial number, and the loop that upgrades each new accessory.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <thread>

#include "app/context.h"
#include "app/handlers/kfx_batch_handlers.h"
#include "app/handlers/loop_handlers.h"
#include "app/kfx_generation.h"
#include "app/production_commands.h"
#include "app/station.h"
#include "hex_record.h"
#include "recording_operator.h"
#include "serial/boot_port.h"
#include "shell/utilities.h"
#include "virtual_device.h"

namespace bq::test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using sim::Personality;

// Product 2, version 4.05 (newer than the devices' 3.01), a few bytes of flash.
const std::string kSource = HexRecord(0, 0x0804, {4, 5, 2}) + "\r\n" +
                            HexRecord(0, 0x0810, {0xAA, 0xBB}) + "\r\n" + HexRecord(1, 0, {}) +
                            "\r\n";

TEST(LoopFilePattern, SerialDigitsReplaceThePlaceholder) {
  struct Case {
    std::string name, pattern;
    int32_t serial;
    std::string file;
  };
  const Case cases[] = {
      {"/f/P_0_99_v1_5/P_V1_05_NS000036.kfx", "/f/P_0_99_v1_5/P_V1_05_NSxxxxxx.kfx", 42,
       "/f/P_0_99_v1_5/P_V1_05_NS000042.kfx"},
      {"/f/firmware.kfx", "_NSxxxxxx.kfx", 7, "_NS000007.kfx"},
      {"/f/XxXxXx/P_NS1.kfx", "/f/XxXxXx/P_NSxxxxxx.kfx", 1234567, "/f/1234567/P_NS1234567.kfx"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(LoopFilePattern(c.name), c.pattern);
    EXPECT_EQ(LoopFileForSerial(c.pattern, c.serial), c.file);
  }
}

class Production : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/bq_production_XXXXXX";
    dir_ = ::mkdtemp(tmpl);
    link_ = dir_ + "/tty";
    const std::string source = dir_ + "/fonte.hex";
    std::ofstream(source, std::ios::binary) << kSource;
    ui.SetField(Field::edNomeArquivoHex2Kfx, source);
    ui.SetField(Field::edNSInicial, "0");
    ui.SetField(Field::edNSFinal, "150");
    blocks_ = botGeraVariosKFXClick(ctx, ui).folders;  // 0..99 and 100..199
    ASSERT_EQ(blocks_.size(), 2u);
    ui.Clear();
    ctx.portList->Add(link_);
    ctx.portList->Select(0);
    ctx.settings.portName = link_;
    ctx.prodComSom = false;
  }
  void TearDown() override {
    CloseBootPort(station.ComPortQuarn);
    for (auto& d : devices_) d->Stop();
    fs::remove_all(dir_);
  }

  // A device on the link; a later one takes the link over.
  sim::VirtualDevice& Plug(Personality personality, uint16_t serial) {
    sim::SimOptions options;
    options.personality = personality;
    options.serialNumber = serial;
    options.productCode = 2;
    options.linkPath = link_;
    devices_.push_back(std::make_unique<sim::VirtualDevice>(options));
    devices_.back()->Start();
    return *devices_.back();
  }

  // The generated file of serial in its block folder.
  std::string FileOf(size_t block, int serial) const {
    for (const auto& e : fs::directory_iterator(blocks_[block])) {
      const std::string name = e.path().filename().string();
      if (name.ends_with("NS" + ZeroPadded(6, serial) + ".kfx")) return e.path().string();
    }
    return {};
  }

  RecordingOperator ui;
  Context ctx{ui, AppPaths{}};
  Station station{ctx, ui};
  std::string dir_, link_;
  std::vector<std::string> blocks_;
  std::vector<std::unique_ptr<sim::VirtualDevice>> devices_;
};

TEST_F(Production, ZirconBoxUpgradeTakesTheFileOfItsSerialNumber) {
  struct Case {
    int serial;  // 0: nothing on the port
    bool ok;
    std::vector<std::string> lines;
  };
  const Case cases[] = {
      {150, true, {"Inicia Upgrade", "NS=150", "OK (NS150)", "NS=150 grava Ok"}},
      {42, true, {"Inicia Upgrade", "NS=42", "OK (NS42)", "NS=42 grava Ok"}},
      // No block folder holds 250: the command ends before the write.
      {250, false, {"Inicia Upgrade", "NS=250"}},
      {0, false, {"Inicia Upgrade", "Falha Boot"}},
  };
  ctx.settings.firmwareFile = FileOf(0, 36);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.serial);
    for (auto& d : devices_) d->Stop();
    if (c.serial) Plug(Personality::kZirconBox, static_cast<uint16_t>(c.serial));
    const ZirconUpgradeOutcome outcome = botUpgradeZirconBoxClick(station);
    EXPECT_EQ(outcome.ok(), c.ok);
    EXPECT_EQ(outcome.lines, c.lines);
    EXPECT_EQ(ui.MemoLines(Memo::memoUpgradeAuto), c.lines);
    if (c.ok) {
      EXPECT_EQ(outcome.file, FileOf(c.serial / 100, c.serial));
      EXPECT_EQ(ctx.settings.firmwareFile, *outcome.file);
    }
    EXPECT_EQ(outcome.write.has_value(), c.ok);
  }
  EXPECT_TRUE(ctx.gravarSensorZirconAuto);
  EXPECT_EQ(ui.FieldText(Field::edContadorUpgrade), "2");
  BitBtn2Click(station);  // "Limpa / Zera"
  EXPECT_EQ(ui.FieldText(Field::edContadorUpgrade), "0");
  EXPECT_TRUE(ui.MemoLines(Memo::memoUpgradeAuto).empty());
  EXPECT_TRUE(ui.MemoLines(Memo::MemoUpgradeResumo).empty());
}

// Devices the loop reported, waited for from the test's thread.
class SeenDevices {
 public:
  void Add(const LoopDevice& d) {
    std::lock_guard lock(mutex_);
    devices_.push_back(d);
    changed_.notify_all();
  }
  bool WaitFor(size_t count) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, 60s, [&] { return devices_.size() >= count; });
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<LoopDevice> devices_;
};

TEST_F(Production, LoopWritesEachNewSerialNumberOnce) {
  ui.SetField(Field::edNomeArquivoKFX, FileOf(0, 36));
  SeenDevices seen;
  LoopLimits limits;
  limits.onDevice = [&](const LoopDevice& d) { seen.Add(d); };
  LoopOutcome outcome;
  sim::VirtualDevice& first = Plug(Personality::kSensorZircon, 42);
  std::thread loop([&] { outcome = botLoopAtualizarClick(station, ui, limits); });

  ASSERT_TRUE(seen.WaitFor(1));
  // It stays: two more identity reads, and no second write.
  ASSERT_TRUE(first.WaitForRequests(first.Requests().size() + 2, 10s));
  Plug(Personality::kSensorZircon, 42);  // another board with the same number
  sim::VirtualDevice& same = *devices_.back();
  ASSERT_TRUE(same.WaitForRequests(2, 10s));
  same.Unplug();  // pulled out while the loop reads it
  Plug(Personality::kSensorZircon, 57);
  ASSERT_TRUE(seen.WaitFor(2));
  botCancelLoopAtualizarClick(station);
  loop.join();

  const std::string pattern = LoopFilePattern(FileOf(0, 36));
  ASSERT_EQ(outcome.devices.size(), 2u);
  EXPECT_EQ(outcome.devices[0].serialNumber, 42);
  EXPECT_EQ(outcome.devices[0].file, FileOf(0, 42));
  EXPECT_EQ(outcome.devices[1].serialNumber, 57);
  EXPECT_EQ(outcome.devices[1].file, FileOf(0, 57));
  EXPECT_TRUE(outcome.ok());
  for (const auto& r : same.Requests()) EXPECT_NE(r.kind, sim::RequestKind::kBootFrame);
  EXPECT_EQ(outcome.end, LoopEnd::Cancelled);
  EXPECT_EQ(ui.Errors(), std::vector<std::string>{"Cancelado"});
  EXPECT_EQ(ctx.settings.firmwareFile, FileOf(0, 57));
}

// The loop keeps the folder of its pattern: a serial number of another block
// has no file there, and that ends the loop before the device is touched.
TEST_F(Production, LoopEndsAtAMissingFile) {
  ui.SetField(Field::edNomeArquivoKFX, FileOf(0, 36));
  sim::VirtualDevice& device = Plug(Personality::kSensorZircon, 150);
  const LoopOutcome outcome = botLoopAtualizarClick(station, ui);
  EXPECT_EQ(outcome.end, LoopEnd::FileError);
  EXPECT_FALSE(outcome.ok());
  EXPECT_TRUE(outcome.devices.empty());
  EXPECT_FALSE(device.InBootMode());
  ASSERT_EQ(ui.Errors().size(), 1u);
  EXPECT_NE(ui.Errors()[0].find("NS000150.kfx"), std::string::npos);
}

// A firmware file that is no file is named for what it is, not as missing.
TEST_F(Production, AnUnreadableFileIsNamedForWhatItIs) {
  const std::string fifo = dir_ + "/fifo.kfx";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const std::string device = dir_ + "/device.kfx";
  fs::create_symlink("/dev/null", device);
  struct Case {
    std::string file;
    const char* reason;
  };
  const Case cases[] = {
      {blocks_[0], "is a folder, not a file"},
      {fifo, "is a FIFO, not a file"},
      {device, "is a device, not a file"},
      {dir_ + "/none.kfx", "No such file or directory"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    ui.Clear();
    const std::optional<std::string> text = ReportUnreadableFile(station, c.file);
    ASSERT_TRUE(text.has_value());
    EXPECT_EQ(*text, "Erro abrindo arquivo [" + c.file + "] =" + c.reason);
    EXPECT_EQ(ui.Errors(), std::vector<std::string>{*text});
  }
  EXPECT_FALSE(ReportUnreadableFile(station, FileOf(0, 36)).has_value());
}

}  // namespace
}  // namespace bq::test
