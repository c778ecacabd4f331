// The progress bar as the operator sees it: bootquarn-cli writing, comparing
// and reading a virtual device with its output on a terminal of a given
// width, read back from the terminal's other side.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "cli_process.h"
#include "image/firmware_loader.h"
#include "virtual_device.h"

namespace bq::cli {
namespace {

using namespace bq::cli::testing;

constexpr const char* kRedraw = "\r\033[K";

// Characters (not bytes) of UTF-8 text.
size_t Characters(const std::string& text) {
  size_t n = 0;
  for (unsigned char c : text) n += (c & 0xC0) != 0x80;
  return n;
}

size_t Occurrences(const std::string& text, const std::string& part) {
  size_t count = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
    ++count;
  }
  return count;
}

class TerminalBar : public CliProcess {
 protected:
  // Runs the program with stdout and stderr on a terminal `columns` wide;
  // returns what the terminal received.
  std::string OnTerminal(const std::vector<std::string>& args, int columns, CliRun& run) {
    Terminal t;
    OpenTerminal(t);
    winsize size{};
    size.ws_row = 24;
    size.ws_col = static_cast<unsigned short>(columns);
    EXPECT_EQ(::ioctl(t.master, TIOCSWINSZ, &size), 0);
    termios mode{};
    EXPECT_EQ(::tcgetattr(t.slave, &mode), 0);
    mode.c_oflag &= ~static_cast<tcflag_t>(OPOST);  // line ends as the program wrote them
    EXPECT_EQ(::tcsetattr(t.slave, TCSANOW, &mode), 0);

    std::string shown;
    std::atomic<bool> ended{false};
    // The terminal is read while the program runs (a full terminal would stop
    // it), then drained once it has ended.
    std::thread reader([&] {
      char buffer[4096];
      for (;;) {
        pollfd wait{t.master, POLLIN, 0};
        const bool ready = ::poll(&wait, 1, 20) > 0 && (wait.revents & POLLIN);
        if (!ready) {
          if (ended.load()) break;
          continue;
        }
        const ssize_t n = ::read(t.master, buffer, sizeof buffer);
        if (n > 0) shown.append(buffer, static_cast<size_t>(n));
        if (n < 0 && errno != EINTR && errno != EAGAIN) break;
      }
    });
    outputTerminal_ = t.slave;
    const int null = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    const pid_t pid = Spawn(args, null);
    ::close(null);
    outputTerminal_ = -1;
    run = Finish(pid);
    ended.store(true);
    reader.join();
    return shown;
  }
};

// The terminal's lines as the program ended them: each holds the drawings of
// the bar made on it (what followed each "\r\033[K"), the last one being what
// stays on the screen.
std::vector<std::vector<std::string>> Lines(const std::string& shown) {
  std::vector<std::vector<std::string>> lines;
  const std::string redraw = kRedraw;
  size_t start = 0;
  while (start < shown.size()) {
    size_t end = shown.find('\n', start);
    if (end == std::string::npos) end = shown.size();
    const std::string line = shown.substr(start, end - start);
    std::vector<std::string> pieces;
    size_t from = 0;
    for (size_t at = line.find(redraw); at != std::string::npos; at = line.find(redraw, from)) {
      pieces.push_back(line.substr(from, at - from));
      from = at + redraw.size();
    }
    pieces.push_back(line.substr(from));
    std::vector<std::string> drawn;
    for (const std::string& piece : pieces) {
      if (!piece.empty()) drawn.push_back(piece);
    }
    if (!drawn.empty()) lines.push_back(drawn);
    start = end + 1;
  }
  return lines;
}

bool IsBar(const std::string& text) {
  static const std::regex bar(
      "^(.+  )?0x[0-9A-F]{6}  [0-9]+%(  [0-9.]+ [KM]?B/s)?(  faltam [0-9:]+)?$");
  return std::regex_match(text, bar);
}

// The label in front of a drawing's figures; empty when it was left out.
std::string LabelOf(const std::string& drawing) {
  const size_t figures = drawing.rfind("0x");
  return figures >= 2 ? drawing.substr(0, figures - 2) : std::string();
}

// Every phase's bar stays on a line of its own at 100%, nothing printed after
// it. A drawing fits the terminal and shows its phase's one label only when
// the label and every figure fit: a narrow terminal loses the label, never the
// rate.
TEST_F(TerminalBar, EachPhaseEndsAtFullOnItsOwnLineAndFitsTheWidth) {
  const std::string copy = dataHome_ + "/copy.hex";
  const std::string port = "PORT";  // each case's own device
  const std::string rate = "  [0-9.]+ [KM]?B/s$";
  struct Case {
    const char* name;
    std::vector<std::string> args;
    int columns;
    std::string mainBar;  // what the main phase leaves on the screen
  };
  const Case cases[] = {
      {"write, 100 columns",
       {"write", kKfx, "--port", port, "--yes"},
       100,
       "^Gravando e conferindo memória de programa\\.\\.\\.  0x0017FF  100%" + rate},
      {"write, 60 columns", {"write", kKfx, "--port", port, "--yes"}, 60, "^0x0017FF  100%" + rate},
      {"verify, 60 columns",
       {"verify", kKfx, "--port", port},
       60,
       "^Comparing the program memory  0x0017FF  100%" + rate},
      {"read, 60 columns",
       {"read", copy, "--port", port, "--flash", "0x0800:0x17FF", "--force"},
       60,
       "^Reading the program memory  0x0017FF  100%" + rate},
  };
  FirmwareImage image;
  FirmwareHeader header;
  ASSERT_TRUE(LoadFirmwareFile(kKfx, image, header).ok());
  const std::vector<uint8_t> flash(image.flash.begin() + 0x800, image.flash.begin() + 0x10000);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    // Each reply takes a little while, as on a real line, so that the long
    // phases have a rate to show.
    sim::SimOptions options;
    options.replyDelayMs = 5;
    sim::VirtualDevice& device = StartDevice(options);
    device.LoadFlash(0x800, flash);  // what the file holds: the comparison matches
    std::vector<std::string> args = c.args;
    std::replace(args.begin(), args.end(), port, device.PortPath());
    CliRun run;
    const std::string shown = OnTerminal(args, c.columns, run);
    device.Stop();
    ASSERT_TRUE(run.exited);
    ASSERT_EQ(run.status, 0) << shown;

    size_t bars = 0;
    bool mainSeen = false;
    for (const std::vector<std::string>& drawn : Lines(shown)) {
      if (!IsBar(drawn.front())) {
        // Text, never drawn over by a bar.
        EXPECT_EQ(drawn.size(), 1u) << drawn.back();
        continue;
      }
      const std::string& kept = drawn.back();
      // A bar wiped for a line of text is drawn again below it.
      if (!IsBar(kept)) {
        EXPECT_EQ(kept.find('%'), std::string::npos) << "printed on the bar's line: " << kept;
        continue;
      }
      ++bars;
      EXPECT_NE(kept.find("  100%"), std::string::npos) << kept;
      mainSeen = mainSeen || std::regex_match(kept, std::regex(c.mainBar));
      std::string label;
      for (const std::string& d : drawn) {
        if (!LabelOf(d).empty()) label = LabelOf(d);
      }
      for (const std::string& d : drawn) {
        ASSERT_TRUE(IsBar(d)) << d;
        EXPECT_LT(Characters(d), static_cast<size_t>(c.columns)) << d;
        EXPECT_EQ(Occurrences(d, "%"), 1u) << d;
        if (!LabelOf(d).empty()) {
          EXPECT_EQ(LabelOf(d), label) << d;
        } else if (!label.empty()) {
          EXPECT_GE(Characters(label + "  " + d), static_cast<size_t>(c.columns)) << d;
        }
      }
    }
    EXPECT_GE(bars, 1u) << shown;
    EXPECT_TRUE(mainSeen) << shown;
  }
}

}  // namespace
}  // namespace bq::cli
