// The core's folders depend one way only: front ends -> app -> programming,
// discovery -> boot -> serial, image, records -> shell. A folder includes only folders at
// its own level or below, and only app and the front ends see the context.

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

}  // namespace
