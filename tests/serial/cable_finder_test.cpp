#include "serial/cable_finder.h"

#include <gtest/gtest.h>

#include "fake_port_lister.h"

namespace bq {
namespace {

using test::FakePortLister;
using Names = std::vector<std::string>;

struct CompareCase {
  const char* what;
  Names before;
  Names after;
  std::string found;
};

TEST(CableFinderCompare, FindsExactlyOneAddedPort) {
  const CompareCase cases[] = {
      {"one added", {"COM1"}, {"COM1", "COM5"}, "COM5"},
      {"case ignored", {"com1"}, {"COM1", "COM5"}, "COM5"},
      {"first port of the machine", {}, {"COM3"}, "COM3"},
      {"nothing added", {"COM1"}, {"COM1"}, ""},
      {"two added", {"COM1"}, {"COM1", "COM5", "COM6"}, ""},
      {"one removed", {"COM1", "COM2"}, {"COM1"}, ""},
      {"one removed, one added", {"COM1", "COM2"}, {"COM1", "COM5"}, ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(CableFinder::FindAddedPort(c.before, c.after), c.found) << c.what;
  }
}

// Walks the finder to step 4 with the given "before" snapshot.
void WalkToStep4(CableFinder& finder) {
  finder.CaboDesconectadoClick();
  for (int i = 0; i < kFinderCountdown; ++i) finder.Tick();
  finder.CaboConectadoClick();
}

TEST(CableFinder, StartsAtStepOneInBlack) {
  FakePortLister lister;
  CableFinder finder(lister);
  const CableFinderView& view = finder.View();
  EXPECT_EQ(finder.Step(), 1);
  EXPECT_EQ(view.text, "Passo 1 : Desconecte o cabo serial do computador.");
  EXPECT_EQ(view.colour, kFinderBlack);
  EXPECT_TRUE(view.caboDesconectadoVisible);
  EXPECT_FALSE(view.caboConectadoVisible);
  EXPECT_FALSE(view.okVisible);
  EXPECT_EQ(view.focus, FinderFocus::CaboDesconectado);
  EXPECT_EQ(finder.FoundName(), "x-x");
  EXPECT_TRUE(finder.TimerRunning());
}

TEST(CableFinder, StepTwoCountsFiveTicksThenTakesTheBeforeList) {
  FakePortLister lister;
  lister.snapshots = {{"COM1"}};
  CableFinder finder(lister);
  finder.Tick();  // ticks in step 1 do nothing
  EXPECT_EQ(finder.Step(), 1);

  unsigned restarts = finder.TimerRestarts();
  finder.CaboDesconectadoClick();
  EXPECT_EQ(finder.TimerRestarts(), restarts + 1);
  EXPECT_EQ(finder.View().text, "Passo 2 : aguarde 5 segundo(s)...");
  EXPECT_FALSE(finder.View().caboDesconectadoVisible);
  for (int i = 0; i < 4; ++i) finder.Tick();
  EXPECT_EQ(finder.Step(), 2);
  EXPECT_EQ(finder.View().text, "Passo 2 : aguarde 1 segundo(s)...");
  EXPECT_EQ(lister.snapshotCalls, 0);

  finder.Tick();
  EXPECT_EQ(finder.Step(), 3);
  EXPECT_EQ(finder.View().text, "Passo 3 : Agora CONECTE o cabo serial.");
  EXPECT_TRUE(finder.View().caboConectadoVisible);
  EXPECT_EQ(finder.View().focus, FinderFocus::CaboConectado);
  EXPECT_EQ(finder.Before(), Names{"COM1"});
  finder.Tick();  // step 3 waits for the operator
  EXPECT_EQ(finder.Step(), 3);
}

struct PlugCase {
  int plugTick;  // the tick of step 4 at which the new port shows up; 0: never
  int endStep;
  int endTick;  // the tick at which the finder left step 4
};

TEST(CableFinder, StepFourFindsThePortWithinFiveTicksOrFails) {
  const PlugCase cases[] = {{1, 5, 1}, {4, 5, 4}, {5, 5, 5}, {0, 6, 5}};
  for (const auto& c : cases) {
    SCOPED_TRACE("plugged at tick " + std::to_string(c.plugTick));
    FakePortLister lister;
    lister.snapshots = {{"COM1"}};  // before list
    for (int t = 1; t <= kFinderCountdown; ++t) {
      bool plugged = c.plugTick != 0 && t >= c.plugTick;
      lister.snapshots.push_back(plugged ? Names{"COM1", "COM5"} : Names{"COM1"});
    }
    CableFinder finder(lister);
    WalkToStep4(finder);
    EXPECT_EQ(finder.View().text, "Passo 4 : procurando cabo (5)...");
    EXPECT_FALSE(finder.View().caboConectadoVisible);

    int tick = 0;
    while (finder.Step() == 4 && tick < 10) {
      finder.Tick();
      ++tick;
    }
    EXPECT_EQ(finder.Step(), c.endStep);
    EXPECT_EQ(tick, c.endTick);
    if (c.endStep == 5) {
      EXPECT_EQ(finder.FoundName(), "COM5");
      EXPECT_EQ(finder.View().text, "Cabo encontrado na porta serial COM5");
      EXPECT_EQ(finder.View().colour, kFinderGreen);
      EXPECT_TRUE(finder.View().okVisible);
      EXPECT_EQ(finder.View().focus, FinderFocus::Ok);
      EXPECT_FALSE(finder.TimerRunning());
    } else {
      EXPECT_EQ(finder.FoundName(), "x-x");
      EXPECT_EQ(finder.View().text, "Falha: não encontrou cabo!");
      EXPECT_EQ(finder.View().colour, kFinderRed);
      EXPECT_FALSE(finder.View().okVisible);
      EXPECT_TRUE(finder.TimerRunning());
    }
  }
}

TEST(CableFinder, RestartReturnsToStepOneFromAFailureAndFromASuccess) {
  for (bool plugged : {false, true}) {
    FakePortLister lister;
    lister.snapshots = {{"COM1"}, plugged ? Names{"COM1", "COM5"} : Names{"COM1"}};
    CableFinder finder(lister);
    WalkToStep4(finder);
    for (int i = 0; i < kFinderCountdown && finder.Step() == 4; ++i) finder.Tick();
    ASSERT_EQ(finder.Step(), plugged ? 5 : 6);

    finder.Reset();
    EXPECT_EQ(finder.Step(), 1);
    EXPECT_EQ(finder.View().colour, kFinderBlack);
    EXPECT_FALSE(finder.View().okVisible);
    EXPECT_TRUE(finder.View().caboDesconectadoVisible);
    EXPECT_EQ(finder.FoundName(), "x-x");
    EXPECT_TRUE(finder.Before().empty());
    EXPECT_TRUE(finder.After().empty());

    // A stopped timer stays stopped until the operator starts over.
    EXPECT_EQ(finder.TimerRunning(), !plugged);
    finder.CaboDesconectadoClick();
    EXPECT_TRUE(finder.TimerRunning());
  }
}

}  // namespace
}  // namespace bq
