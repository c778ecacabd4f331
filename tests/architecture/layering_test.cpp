// The core's folders depend one way only: front ends -> app -> programming,
// discovery -> boot -> serial, image, records -> shell. A folder includes only folders at
// its own level or below, and only app and the front ends see the context.
// Operating-system headers are included only by the platform files, in the
// posix/ (or linux/, windows/) folder of the layer that uses them. The window's
// controls are known only to the window and to the command handlers.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

// Lower numbers lie lower; a folder may include its own rank or a lower one,
// but not another folder of its own rank (programming and discovery stay apart).
const std::map<std::string, int>& Ranks() {
  static const std::map<std::string, int> ranks = {
      {"shell", 0},       {"serial", 1},    {"image", 1}, {"records", 1}, {"boot", 2},
      {"programming", 3}, {"discovery", 3}, {"app", 4},   {"cli", 5},     {"gui", 5},
  };
  return ranks;
}

struct Include {
  std::string file;
  int line;
  std::string target;  // the folder the include names
};

std::vector<Include> ProjectIncludes(const fs::path& src) {
  static const std::regex include(R"re(^\s*#\s*include\s+"([a-z_]+)/)re");
  std::vector<Include> found;
  for (const auto& entry : fs::recursive_directory_iterator(src)) {
    if (!entry.is_regular_file()) continue;
    std::ifstream in(entry.path());
    std::string text;
    for (int n = 1; std::getline(in, text); ++n) {
      std::smatch m;
      if (std::regex_search(text, m, include)) {
        found.push_back({fs::relative(entry.path(), src).string(), n, m[1]});
      }
    }
  }
  return found;
}

std::string FolderOf(const std::string& relative) {
  return relative.substr(0, relative.find('/'));
}

// Whether `from` may include a header of `to`.
bool Allowed(const std::string& from, const std::string& to) {
  if (from == to) return true;
  auto f = Ranks().find(from);
  auto t = Ranks().find(to);
  if (f == Ranks().end() || t == Ranks().end()) return false;
  return t->second < f->second;
}

TEST(Layering, RulesCatchAWrongWayInclude) {
  EXPECT_TRUE(Allowed("boot", "serial"));
  EXPECT_TRUE(Allowed("app", "discovery"));
  EXPECT_FALSE(Allowed("serial", "boot"));
  EXPECT_FALSE(Allowed("shell", "app"));
  EXPECT_FALSE(Allowed("programming", "discovery"));
  EXPECT_FALSE(Allowed("serial", "image"));
  EXPECT_FALSE(Allowed("app", "cli"));
}

TEST(Layering, NoFolderIncludesOneAboveIt) {
  const fs::path src = fs::path(BQ_SOURCE_DIR) / "src";
  for (const Include& inc : ProjectIncludes(src)) {
    const std::string from = FolderOf(inc.file);
    EXPECT_TRUE(Allowed(from, inc.target))
        << inc.file << ":" << inc.line << " includes " << inc.target << "/";
  }
}

TEST(Layering, OnlyTheAppAndFrontEndsSeeTheContext) {
  const fs::path src = fs::path(BQ_SOURCE_DIR) / "src";
  static const std::regex context(R"(\bContext\b)");
  for (const auto& entry : fs::recursive_directory_iterator(src)) {
    if (!entry.is_regular_file()) continue;
    const std::string file = fs::relative(entry.path(), src).string();
    const std::string folder = FolderOf(file);
    if (folder == "app" || folder == "cli" || folder == "gui") continue;
    std::ifstream in(entry.path());
    std::string text;
    for (int n = 1; std::getline(in, text); ++n) {
      EXPECT_FALSE(std::regex_search(text, context)) << file << ":" << n << " names the context";
    }
  }
}

// The header an #include line names with <...>, or empty.
std::string SystemHeaderOf(const std::string& line) {
  static const std::regex include(R"re(^\s*#\s*include\s*<([^>]+)>)re");
  std::smatch m;
  return std::regex_search(line, m, include) ? m[1].str() : std::string();
}

// Headers of POSIX, Linux and their libraries, which only platform files may
// include. The standard C++ headers (<csignal>, <cerrno>, <ctime>, ...) are fine.
bool IsOsHeader(const std::string& header) {
  static const std::regex os(
      R"re(^(unistd|fcntl|termios|pthread|signal|dirent|libudev|poll|pwd|grp|dlfcn|spawn|glob|)re"
      R"re(syslog|sched|semaphore|netdb|ifaddrs|termio|utmp|wordexp|)re"
      R"re(windows|winsock2)\.h$|^(sys|linux|asm|asm-generic|arpa|netinet|net)/)re");
  return std::regex_search(header, os);
}

// The platform files: anything under a posix/, linux/ or windows/ folder.
bool IsPlatformFile(const std::string& relative) {
  static const std::regex platform(R"re((^|/)(posix|linux|windows)/)re");
  return std::regex_search(relative, platform);
}

TEST(Platform, RuleCatchesAnOsInclude) {
  struct Case {
    const char* line;
    bool os;
  };
  const Case cases[] = {
      {"#include <unistd.h>", true},
      {"#include <sys/stat.h>", true},
      {"  #  include <linux/serial.h>", true},
      {"#include <asm/termbits.h>", true},
      {"#include <termios.h>", true},
      {"#include <pthread.h>", true},
      {"#include <signal.h>", true},
      {"#include <libudev.h>", true},
      {"#include <csignal>", false},
      {"#include <cerrno>", false},
      {"#include <filesystem>", false},
      {"#include <nlohmann/json.hpp>", false},
      {"#include \"serial/posix/port_lock.h\"", false},
  };
  for (const Case& c : cases) EXPECT_EQ(IsOsHeader(SystemHeaderOf(c.line)), c.os) << c.line;
  EXPECT_TRUE(IsPlatformFile("serial/posix/serial_backend_posix.cpp"));
  EXPECT_TRUE(IsPlatformFile("serial/linux/udev_tty.cpp"));
  EXPECT_FALSE(IsPlatformFile("serial/com_port.cpp"));
  EXPECT_FALSE(IsPlatformFile("shell/posix_names.h"));
}

TEST(Platform, OnlyPlatformFilesIncludeOsHeaders) {
  const fs::path src = fs::path(BQ_SOURCE_DIR) / "src";
  for (const auto& entry : fs::recursive_directory_iterator(src)) {
    if (!entry.is_regular_file()) continue;
    const std::string file = fs::relative(entry.path(), src).string();
    if (IsPlatformFile(file)) continue;
    std::ifstream in(entry.path());
    std::string text;
    for (int n = 1; std::getline(in, text); ++n) {
      const std::string header = SystemHeaderOf(text);
      EXPECT_FALSE(IsOsHeader(header)) << file << ":" << n << " includes <" << header << ">";
    }
  }
}

// A line that names one of the window's controls, or the handlers' header
// that declares them.
bool NamesAWindowControl(const std::string& line) {
  static const std::regex control(
      R"re(\b(Field|Memo|Combo|Check|Button)::|\bWindowControls\b|#\s*include\s+"app/handlers/)re");
  return std::regex_search(line, control);
}

// The window, and the handlers that read its fields into requests.
bool KnowsTheWindow(const std::string& relative) {
  return FolderOf(relative) == "gui" || relative.rfind("app/handlers/", 0) == 0;
}

TEST(WindowControls, RuleCatchesAControlNamedOutsideTheWindow) {
  EXPECT_TRUE(NamesAWindowControl("  ui.SetField(Field::edNSLido, text);"));
  EXPECT_TRUE(NamesAWindowControl("ui.ClearMemo(Memo::memoLoop);"));
  EXPECT_TRUE(NamesAWindowControl("#include \"app/handlers/window_controls.h\""));
  EXPECT_TRUE(NamesAWindowControl("void Fill(WindowControls& w);"));
  EXPECT_FALSE(NamesAWindowControl("connect(b, &QPushButton::clicked, this, f);"));
  EXPECT_FALSE(NamesAWindowControl("st.ui.Show(shown::ListLine{OperatorList::LoopSteps, l});"));
  EXPECT_FALSE(NamesAWindowControl("// Field names in camelCase"));
  EXPECT_TRUE(KnowsTheWindow("gui/main_window.cpp"));
  EXPECT_TRUE(KnowsTheWindow("app/handlers/loop_handlers.cpp"));
  EXPECT_FALSE(KnowsTheWindow("app/connect_flow.cpp"));
  EXPECT_FALSE(KnowsTheWindow("cli/cmd_loop.cpp"));
}

TEST(WindowControls, OnlyTheWindowAndTheHandlersNameAControl) {
  const fs::path src = fs::path(BQ_SOURCE_DIR) / "src";
  for (const auto& entry : fs::recursive_directory_iterator(src)) {
    if (!entry.is_regular_file()) continue;
    const std::string file = fs::relative(entry.path(), src).string();
    if (KnowsTheWindow(file)) continue;
    std::ifstream in(entry.path());
    std::string text;
    for (int n = 1; std::getline(in, text); ++n) {
      EXPECT_FALSE(NamesAWindowControl(text)) << file << ":" << n << " names a window control";
    }
  }
}

}  // namespace
