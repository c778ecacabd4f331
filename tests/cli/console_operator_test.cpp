// The console operator on a terminal: a progress bar that never wraps, the
// replies a question understands, and the line a finished write leaves.
#include "cli/console_operator.h"

#include <gtest/gtest.h>

#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "cli/write_report.h"
#include "cli/write_summary.h"

namespace bq::cli {
namespace {

// Characters (not bytes) of UTF-8 text.
size_t Characters(const std::string& text) {
  size_t n = 0;
  for (unsigned char c : text) n += (c & 0xC0) != 0x80;
  return n;
}

// Every redraw of the bar must fit the terminal's width, or each one would
// scroll a new line up the screen.
TEST(ConsoleBar, FitsTheTerminalWidth) {
  for (int columns : {60, 20, 2, 200}) {
    SCOPED_TRACE(columns);
    std::ostringstream out, err;
    std::istringstream in;
    ConsoleOperator ui(out, err, in, false, true);
    ui.SetColumns(columns);
    ui.ShowStatus("Gravando e conferindo memória de programa...", false);
    ui.PhaseStarted(WorkPhase::WriteFlash, 0x800, 0x1FFFF);
    for (uint32_t a = 0x800; a <= 0x1FFFF; a += 0x80) ui.SetProgressPosition(a);
    std::string bars = err.str();
    EXPECT_EQ(bars.find('\n'), std::string::npos);
    size_t drawn = 0;
    for (size_t at = bars.find("\r\033[K"); at != std::string::npos; ++drawn) {
      const size_t next = bars.find("\r\033[K", at + 1);
      const std::string line =
          bars.substr(at + 4, next == std::string::npos ? next : next - at - 4);
      EXPECT_LT(Characters(line), static_cast<size_t>(std::max(columns, 2))) << line;
      at = next;
    }
    EXPECT_GE(drawn, 1u);
  }
}

TEST(ConsoleBar, FitColumnsCountsCharactersNotBytes) {
  EXPECT_EQ(FitColumns("Verificação", 10), "Verificaçã");
  EXPECT_EQ(FitColumns("abc", 5), "abc");
  EXPECT_EQ(FitColumns("abc", 0), "");
}

struct ReplyCase {
  const char* typed;
  Answer answer;
};

TEST(ConsoleQuestion, UnderstandsPortugueseAndEnglishRepliesInAnyCase) {
  const ReplyCase cases[] = {
      {"s\n", Answer::Yes},     {"S\n", Answer::Yes},     {"sim\n", Answer::Yes},
      {"SIM\n", Answer::Yes},   {" Sim \n", Answer::Yes}, {"n\n", Answer::No},
      {"N\n", Answer::No},      {"não\n", Answer::No},    {"Não\n", Answer::No},
      {"NÃO\n", Answer::No},    {"nao\n", Answer::No},    {"NAO\n", Answer::No},
      {"", Answer::No},          // the end of the input
      {"talvez\n", Answer::No},  // asked again, then the input ends
  };
  for (const ReplyCase& c : cases) {
    SCOPED_TRACE(c.typed);
    std::ostringstream out, err;
    std::istringstream in(c.typed);
    ConsoleOperator ui(out, err, in, true, false);
    EXPECT_EQ(ui.Confirm("Continua?"), c.answer);
    EXPECT_EQ(ui.LastAnswer(), c.answer);
  }
}

TEST(WriteSummaryLine, CountsWrittenBytesAndNamesTheCheck) {
  using Phase = ConsoleOperator::Phase;
  struct Case {
    const char* name;
    std::vector<Phase> phases;
    const char* line;
  };
  const Case cases[] = {
      {"write, then a read-back",
       {{"Apagando memoria programa ...", 4096, 0.5},
        {"Gravando memória de programa...", 4096, 1.0},
        {"Verificando memória de programa...", 4096, 0.5}},
       "Wrote 4096 bytes in 2.0 s (4.0 KB/s), verified"},
      {"write that checks each block",
       {{"Gravando e conferindo memória de programa...", 512, 1.0}},
       "Wrote 512 bytes in 1.0 s (512 B/s), verified"},
      {"write alone",
       {{"Gravando E2Prom...", 256, 0.5}},
       "Wrote 256 bytes in 0.5 s (512 B/s), not verified"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(WriteSummary(c.phases), c.line);
  }
}

}  // namespace
}  // namespace bq::cli

namespace bq::cli {
namespace {

// Each phase names itself on its bar, and a phase that covered its range
// leaves its bar at 100% on a line of its own, before whatever follows.
TEST(ConsoleBar, EachPhaseShowsItsOwnLabelAndEndsAtFullPercent) {
  struct Case {
    const char* what;
    bool verifying;
    WorkPhase phase;
    const char* status;  // the last status line before the phase
    const char* label;
  };
  const Case cases[] = {
      {"read", false, WorkPhase::ReadFlash, " Arquivo carregado Ok.", "Reading the program memory"},
      {"verify", true, WorkPhase::VerifyFlash, " Arquivo carregado Ok.",
       "Comparing the program memory"},
      {"write", false, WorkPhase::WriteFlash, "Gravando e conferindo memória de programa...",
       "Gravando e conferindo memória de programa..."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::ostringstream out, err;
    std::istringstream in;
    ConsoleOperator ui(out, err, in, false, true);
    ui.SetColumns(200);
    ui.SetVerifying(c.verifying);
    ui.ShowStatus(c.status, false);
    ui.PhaseStarted(c.phase, 0x800, 0x17FF);
    for (uint32_t a = 0x800; a < 0x17FF; a += 0x80) ui.SetProgressPosition(a);
    ui.PhaseEnded(c.phase, true);
    const std::string text = err.str();
    ASSERT_FALSE(text.empty());
    EXPECT_EQ(text.back(), '\n');
    const std::string last = text.substr(text.rfind('\r'));
    EXPECT_NE(last.find(std::string(c.label) + "  0x0017FF  100%"), std::string::npos) << last;
    ASSERT_EQ(ui.Phases().size(), 1u);
    EXPECT_EQ(ui.Phases()[0].bytes, 4096u);
    EXPECT_EQ(ui.Phases()[0].name, WorkPhaseName(c.phase));
  }
}

// A narrow terminal drops the label, never the figures.
TEST(ConsoleBar, ANarrowTerminalDropsTheLabelBeforeTheRate) {
  std::ostringstream out, err;
  std::istringstream in;
  ConsoleOperator ui(out, err, in, false, true);
  ui.SetColumns(30);
  ui.ShowStatus("Gravando e conferindo memória de programa...", false);
  ui.PhaseStarted(WorkPhase::WriteFlash, 0x800, 0x17FF);
  ui.PhaseEnded(WorkPhase::WriteFlash, true);
  const std::string text = err.str();
  const std::string last = text.substr(text.rfind('\r'));
  EXPECT_EQ(last.find("Gravando"), std::string::npos) << last;
  EXPECT_NE(last.find("0x0017FF  100%"), std::string::npos) << last;
}

}  // namespace
}  // namespace bq::cli
