// The one routine that replaces files: what each mode does with a file that
// is there already, and that nothing but the target is left beside it.
#include "shell/safe_file.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace bq {
namespace {

namespace fs = std::filesystem;

class SafeFile : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/bq_safe_file_XXXXXX";
    dir_ = ::mkdtemp(tmpl);
    path_ = dir_ + "/target.txt";
  }
  void TearDown() override { fs::remove_all(dir_); }
  std::string Get() const {
    std::ifstream in(path_, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  size_t FilesInFolder() const {
    return static_cast<size_t>(std::distance(fs::directory_iterator(dir_), {}));
  }
  std::string dir_, path_;
};

TEST_F(SafeFile, EachModeWithAndWithoutAnExistingFile) {
  struct Case {
    ReplaceMode mode;
    bool existing;
    bool written;
  };
  const Case cases[] = {
      {ReplaceMode::Replace, false, true},
      {ReplaceMode::Replace, true, true},
      {ReplaceMode::KeepExisting, false, true},
      {ReplaceMode::KeepExisting, true, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "keep " << (c.mode == ReplaceMode::KeepExisting)
                                    << ", existing " << c.existing);
    fs::remove(path_);
    if (c.existing) {
      std::ofstream(path_, std::ios::binary) << "old";
      fs::permissions(path_, fs::perms::owner_read | fs::perms::owner_write);
    }
    const auto error = WriteFileSafely(path_, "new\r\n", c.mode);
    EXPECT_EQ(!error, c.written);
    if (error) {
      EXPECT_EQ(error->step, SafeWriteError::Step::Place);
      EXPECT_EQ(error->osError, EEXIST);
    }
    EXPECT_EQ(Get(), c.written ? "new\r\n" : "old");
    if (c.existing) {
      // A replaced file keeps its permissions.
      EXPECT_EQ(fs::status(path_).permissions(), fs::perms::owner_read | fs::perms::owner_write);
    }
    EXPECT_EQ(FilesInFolder(), 1u);
  }
}

TEST_F(SafeFile, AMissingFolderFailsAtTheStart) {
  const auto error = WriteFileSafely(dir_ + "/no/such/file.txt", "x");
  ASSERT_TRUE(error);
  EXPECT_EQ(error->step, SafeWriteError::Step::Create);
  EXPECT_EQ(error->osError, ENOENT);
}

// The temporary names are the ones the stale-file sweep looks for, and differ.
TEST_F(SafeFile, TemporaryNamesAreFreshAndSweptWhenStale) {
  const std::string a = RandomTemporaryName(path_);
  const std::string b = RandomTemporaryName(path_);
  EXPECT_NE(a, b);
  EXPECT_EQ(fs::path(a).parent_path(), fs::path(dir_));
  EXPECT_EQ(fs::path(a).filename().string().rfind(".target.txt.", 0), 0u) << a;
  std::ofstream(a) << "partial";
  fs::last_write_time(a, fs::file_time_type::clock::now() - std::chrono::minutes(5));
  RemoveStaleTemporaryFiles(path_, std::chrono::minutes(1));
  EXPECT_FALSE(fs::exists(a));
}

}  // namespace
}  // namespace bq
