// A production bench: one bootquarn-cli write per adapter, run at once on one
// data folder. Every device is written, every success is logged once and
// whole, and the settings file is always one whole version.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <memory>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "cli_process.h"
#include "image/firmware_loader.h"
#include "shell/settings.h"
#include "virtual_device.h"

namespace bq::cli {
namespace {

using namespace bq::cli::testing;

class ParallelStations : public CliProcess {};

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// The log's lines without their time stamps; a line that is not one whole
// "timestamp>text" CR LF line (or the header) is kept as it is, marked.
std::vector<std::string> LogEntries(const std::string& log) {
  static const std::regex stamped(R"(^\d\d/[a-z]{3}  \d\d:\d\d:\d\d\.\d{3}>([^>\r]*)\r$)");
  std::vector<std::string> entries;
  for (const std::string& line : Lines(log)) {
    std::smatch m;
    if (line == "#### Arquivo Criado ######\r") {
      entries.push_back("header");
    } else if (std::regex_match(line, m, stamped)) {
      entries.push_back(m[1]);
    } else {
      entries.push_back("torn: " + line);
    }
  }
  if (!log.empty() && log.back() != '\n') entries.push_back("unfinished last line");
  return entries;
}

TEST_F(ParallelStations, FourWritesAtOnceLoseNothing) {
  constexpr int kStations = 4;
  FirmwareImage image;
  FirmwareHeader header;
  ASSERT_TRUE(LoadFirmwareFile(kKfx, image, header).ok());

  std::vector<std::unique_ptr<sim::VirtualDevice>> devices;
  for (int i = 0; i < kStations; ++i) {
    devices.push_back(std::make_unique<sim::VirtualDevice>(sim::SimOptions{}));
    devices.back()->Start();
  }
  const int null = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
  std::vector<pid_t> pids;
  for (int i = 0; i < kStations; ++i) {
    pids.push_back(
        Spawn({"write", kKfx, "--port", devices[i]->PortPath()}, null, std::to_string(i)));
  }
  ::close(null);
  for (int i = 0; i < kStations; ++i) {
    const CliRun r = Finish(pids[i], std::to_string(i));
    EXPECT_TRUE(r.exited) << r.err;
    EXPECT_EQ(r.status, 0) << r.err;
  }

  std::set<std::string> ports;
  for (auto& d : devices) {
    const std::vector<uint8_t> flash = d->Flash();
    EXPECT_TRUE(std::equal(image.flash.begin() + ApplicationStart, image.flash.end(),
                           flash.begin() + ApplicationStart))
        << d->PortPath();
    ports.insert(d->PortPath());
    d->Stop();
  }

  // One header, then one whole line per write.
  std::vector<std::string> expected = {"header"};
  expected.insert(expected.end(), kStations, "Firmware gravado OK P00_V3_07_NS001234");
  EXPECT_EQ(LogEntries(ProductionLog()), expected) << ProductionLog();

  // The settings file is one station's whole version: every line well formed
  // and said once, and it reads back as what a station saved.
  const std::string path = dataHome_ + "/Quarn/BootQuarn/BootQuarn.Ini";
  const std::string text = ReadWhole(path);
  ASSERT_FALSE(text.empty());
  const std::regex iniLine(R"(^(\[[^\]]+\]|[^=\r]+=[^\r]*)\r$)");
  std::set<std::string> seen;
  for (const std::string& line : Lines(text)) {
    EXPECT_TRUE(std::regex_match(line, iniLine)) << line;
    EXPECT_TRUE(seen.insert(line).second) << "said twice: " << line;
  }
  EXPECT_EQ(text.back(), '\n') << text;
  TPar saved;
  ReadSettings(saved, path, "/nowhere/", "none");
  EXPECT_EQ(ports.count(saved.portName), 1u) << text;
  EXPECT_EQ(saved.firmwareFile, kKfx) << text;
  EXPECT_NE(saved.dataFolder, "/nowhere/") << text;
}

}  // namespace
}  // namespace bq::cli
