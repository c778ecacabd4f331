#include "app/port_list_commands.h"

#include <gtest/gtest.h>

#include "app/context.h"
#include "app/station.h"
#include "fake_port_lister.h"
#include "recording_operator.h"
#include "serial/port_list_commands.h"

namespace bq {
namespace {

using test::FakePortLister;
using test::RecordingOperator;

struct PortListFixture {
  explicit PortListFixture(std::vector<std::string> ports) {
    auto owned = std::make_unique<FakePortLister>();
    lister = owned.get();
    lister->ports = std::move(ports);
    ctx = std::make_unique<Context>(ui, AppPaths{}, std::move(owned));
    station = std::make_unique<Station>(*ctx, ui);
    FillPortList(*ctx->portLister, *ctx->portList, "");
  }
  const std::vector<std::string>& Items() const { return ctx->defaultPortList.Items(); }

  RecordingOperator ui;
  FakePortLister* lister = nullptr;
  std::unique_ptr<Context> ctx;
  std::unique_ptr<Station> station;
};

struct FoundCase {
  const char* what;
  std::vector<std::string> ports;
  std::string found;
  int selected;
};

TEST(CableFinderResult, SelectsTheFoundPortInTheRefreshedList) {
  const FoundCase cases[] = {
      {"found port, case ignored", {"COM1", "COM5"}, "com5", 1},
      {"confirmed without a port", {"COM1", "COM5"}, "x-x", 0},
      {"one entry whatever its name", {"COM7"}, "COM5", 0},
      {"no port at all", {}, "COM5", -1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    PortListFixture f({"COM1"});
    f.ctx->settings.portName = "COM1";
    f.lister->ports = c.ports;
    btnDescobrirPortaSerialClick(*f.ctx, [&] { return std::optional<std::string>(c.found); });
    EXPECT_EQ(f.Items(), c.ports);  // refreshed, each port once
    EXPECT_EQ(f.ctx->portList->Selected(), c.selected);
    // The finder only selects: the settings and the port stay as they were.
    EXPECT_EQ(f.ctx->settings.portName, "COM1");
    EXPECT_FALSE(f.station->ComPortQuarn.IsOpen());
  }
}

TEST(CableFinderResult, CancelLeavesTheListAlone) {
  PortListFixture f({"COM1", "COM3"});
  f.ctx->portList->Select(1);
  f.lister->ports = {"COM9"};
  btnDescobrirPortaSerialClick(*f.ctx, [] { return std::optional<std::string>(); });
  EXPECT_EQ(f.Items(), (std::vector<std::string>{"COM1", "COM3"}));
  EXPECT_EQ(f.ctx->portList->Selected(), 1);
}

TEST(PortListDropDown, ShowsNewPortsAndKeepsTheSelection) {
  PortListFixture f({"COM1", "COM3"});
  f.ctx->portList->Select(1);
  f.lister->ports = {"COM1", "COM3", "COM5"};
  cbPortaSerialDropDown(*f.ctx);
  EXPECT_EQ(f.Items().size(), 3u);
  EXPECT_EQ(f.ctx->portList->SelectedText(), "COM3");

  f.lister->ports = {"COM1", "COM5"};  // the selected adapter was pulled out
  cbPortaSerialDropDown(*f.ctx);
  EXPECT_EQ(f.ctx->portList->SelectedText(), "COM1");
}

TEST(PortListDropDown, KeepsATypedDevicePathThatExists) {
  PortListFixture f({"COM1"});
  ASSERT_TRUE(KeepTypedPort(*f.ctx->portList, "/dev/null"));
  cbPortaSerialDropDown(*f.ctx);
  EXPECT_EQ(f.ctx->portList->SelectedText(), "/dev/null");
  EXPECT_EQ(f.Items().size(), 2u);

  EXPECT_FALSE(KeepTypedPort(*f.ctx->portList, "/dev/bq-no-such-port"));
  EXPECT_FALSE(KeepTypedPort(*f.ctx->portList, "/tmp"));  // not a device
}

TEST(PortListChange, TheChosenEntryBecomesTheSettingsPort) {
  PortListFixture f({"COM1", "/dev/bq-no-such-port"});
  f.ctx->portList->Select(1);
  cbPortaSerialChange(*f.station);
  EXPECT_EQ(f.ctx->settings.portName, "/dev/bq-no-such-port");
  // A port that does not open is not reported here.
  EXPECT_FALSE(f.station->ComPortQuarn.IsOpen());
  EXPECT_TRUE(f.ui.Messages().empty());
  EXPECT_TRUE(f.ui.Errors().empty());
}

}  // namespace
}  // namespace bq
