// The advice given when the port refused this user names the port's own group,
// and dialout only when the port belongs to dialout.
#include "app/port_hint.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

namespace bq {
namespace {

namespace fs = std::filesystem;

TEST(PortHint, PermissionAdviceFollowsThePortsGroup) {
  struct Case {
    const char* name;
    std::optional<DeviceGroup> group;
    const char* said;
    bool namesDialout;
  };
  const Case cases[] = {
      {"dialout may use it", DeviceGroup{"dialout", true}, "usermod -aG dialout $USER", true},
      {"another group may use it", DeviceGroup{"uucp", true}, "usermod -aG uucp $USER", false},
      {"root's group", DeviceGroup{"root", true}, "Only root may use this port (group 'root')",
       false},
      {"dialout without access", DeviceGroup{"dialout", false}, "udev rule", true},
      {"no group access", DeviceGroup{"plugdev", false}, "group 'plugdev'", false},
      {"nothing known", std::nullopt, "ask the administrator", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string advice = PermissionAdvice(c.group);
    EXPECT_NE(advice.find(c.said), std::string::npos) << advice;
    EXPECT_EQ(advice.find("dialout") != std::string::npos, c.namesDialout) << advice;
    if (c.group && !c.group->mayReadWrite) {
      EXPECT_EQ(advice.find("usermod"), std::string::npos) << advice;
    }
  }
}

TEST(PortHint, DeviceGroupOfReadsTheFilesGroupAndMode) {
  // gid 0 is root's group on every system this runs on.
  const auto null = DeviceGroupOf("/dev/null");
  ASSERT_TRUE(null.has_value());
  EXPECT_EQ(null->name, "root");

  char tmpl[] = "/tmp/bq_group_XXXXXX";
  const fs::path folder = ::mkdtemp(tmpl);
  const fs::path file = folder / "ttyFake";
  std::ofstream(file).put('x');
  ::chmod(file.c_str(), 0660);
  auto group = DeviceGroupOf(file.string());
  ASSERT_TRUE(group.has_value());
  EXPECT_TRUE(group->mayReadWrite);
  EXPECT_FALSE(group->name.empty());
  ::chmod(file.c_str(), 0640);
  group = DeviceGroupOf(file.string());
  ASSERT_TRUE(group.has_value());
  EXPECT_FALSE(group->mayReadWrite);
  EXPECT_FALSE(DeviceGroupOf((folder / "gone").string()).has_value());
  fs::remove_all(folder);
}

}  // namespace
}  // namespace bq
