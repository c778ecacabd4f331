// The Windows shell platform files: the data folder, the safe overwrite, the
// file services and the Win32 error texts.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "shell/app_paths.h"
#include "shell/file_system.h"
#include "shell/safe_file.h"
#include "shell/system_folders.h"
#include "shell/utilities.h"
#include "shell/windows/win32_text.h"

namespace bq {
namespace {

namespace fs = std::filesystem;

class WindowsFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/bq_win_XXXXXX";
    dir_ = ::mkdtemp(tmpl);
  }
  void TearDown() override { fs::remove_all(dir_); }
  static std::string Slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  std::string dir_;
};

TEST(WindowsFolders, DataRootIsQuarnBootQuarnInPublic) {
  const AppPaths paths = DefaultAppPaths();
  // The Public folder with forward slashes, then the program's own folders.
  std::string expected = UserDataHome() + "Quarn/BootQuarn/";
  EXPECT_EQ(paths.dataRoot, expected);
  std::string windowsName = paths.dataRoot;
  std::replace(windowsName.begin(), windowsName.end(), '/', '\\');
  const std::string tail = "\\Public\\Quarn\\BootQuarn\\";
  EXPECT_TRUE(windowsName.size() > tail.size() &&
              EqualsIgnoringCase(windowsName.substr(windowsName.size() - tail.size()), tail))
      << windowsName;
  EXPECT_EQ(paths.settingsFile, paths.dataRoot + "BootQuarn.Ini");
}

TEST(WindowsFolders, ProgramFolderHoldsTheRunningProgram) {
  const std::string folder = ProgramFolder();
  ASSERT_FALSE(folder.empty());
  EXPECT_EQ(folder.back(), '/');
  EXPECT_EQ(folder.find('\\'), std::string::npos);
  EXPECT_TRUE(fs::exists(folder + "test_shell_windows.exe")) << folder;
}

TEST_F(WindowsFiles, SafeOverwriteReplacesAndKeeps) {
  const std::string path = dir_ + "/BootQuarn.Ini";
  ASSERT_FALSE(WriteFileSafely(path, "first\r\n"));
  ASSERT_FALSE(WriteFileSafely(path, "second\r\n"));
  EXPECT_EQ(Slurp(path), "second\r\n");
  const auto kept = WriteFileSafely(path, "third\r\n", ReplaceMode::KeepExisting);
  ASSERT_TRUE(kept);
  EXPECT_EQ(kept->step, SafeWriteError::Step::Place);
  EXPECT_EQ(kept->osError, EEXIST);
  EXPECT_EQ(Slurp(path), "second\r\n");
  // No temporary file is left behind.
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 1);
}

TEST_F(WindowsFiles, BackslashPathsKeepTheTemporaryFileBesideTheTarget) {
  std::string windowsDir = dir_;
  std::replace(windowsDir.begin(), windowsDir.end(), '/', '\\');
  const std::string path = windowsDir + "\\firmware.kfx";
  const std::string temporary = RandomTemporaryName(path);
  EXPECT_EQ(temporary.rfind(windowsDir + "\\.firmware.kfx.", 0), 0u) << temporary;
  ASSERT_FALSE(WriteFileSafely(path, "data"));
  EXPECT_EQ(Slurp(path), "data");
}

TEST_F(WindowsFiles, SafeWriteIntoAMissingFolderFailsAtCreate) {
  const auto failed = WriteFileSafely(dir_ + "/missing/file.txt", "x");
  ASSERT_TRUE(failed);
  EXPECT_EQ(failed->step, SafeWriteError::Step::Create);
  EXPECT_EQ(failed->osError, ENOENT);
}

TEST_F(WindowsFiles, AppendCreatesOnceThenAppends) {
  const std::string log = dir_ + "/LogUsoBoot.txt";
  EXPECT_EQ(AppendToFile(log, "x", FileOpening::Existing).osError, ENOENT);
  const FileAppend created = AppendToFile(log, "header\r\n", FileOpening::CreateNew);
  EXPECT_TRUE(created.opened);
  EXPECT_EQ(created.osError, 0);
  const FileAppend again = AppendToFile(log, "other\r\n", FileOpening::CreateNew);
  EXPECT_FALSE(again.opened);
  EXPECT_EQ(again.osError, EEXIST);
  EXPECT_EQ(AppendToFile(log, "line\r\n", FileOpening::Existing).osError, 0);
  EXPECT_EQ(Slurp(log), "header\r\nline\r\n");
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 1);
}

TEST_F(WindowsFiles, SmallFileReadTellsEachCase) {
  using Status = SmallFileRead::Status;
  const std::string file = dir_ + "/small.txt";
  ASSERT_FALSE(WriteFileSafely(file, "0123456789"));
  struct Case {
    std::string path;
    size_t limit;
    Status status;
  };
  const Case cases[] = {
      {file, 10, Status::Ok},
      {file, 9, Status::TooLarge},
      {dir_ + "/none.txt", 10, Status::Missing},
      {dir_, 10, Status::NotRegular},
      {"NUL", 10, Status::NotRegular},
  };
  for (const Case& c : cases) {
    std::string data;
    EXPECT_EQ(ReadSmallRegularFile(c.path, c.limit, &data).status, c.status) << c.path;
    if (c.status == Status::Ok) EXPECT_EQ(data, "0123456789");
  }
}

TEST_F(WindowsFiles, ReaderRefusesFoldersAndReadsFiles) {
  int error = -1;
  EXPECT_EQ(OpenRegularFileForReading(dir_, &error), nullptr);
  EXPECT_EQ(error, EISDIR);
  ASSERT_FALSE(WriteFileSafely(dir_ + "/f.bin", std::string("a\0b", 3)));
  auto reader = OpenRegularFileForReading(dir_ + "/f.bin", &error);
  ASSERT_NE(reader, nullptr);
  char buffer[8];
  EXPECT_EQ(reader->Read(buffer, sizeof buffer, &error), 3);
  EXPECT_EQ(reader->Read(buffer, sizeof buffer, &error), 0);
}

TEST_F(WindowsFiles, FoldersAreMadeAndRenamedWithoutReplacing) {
  const std::string a = dir_ + "/a";
  const std::string b = dir_ + "/b";
  EXPECT_TRUE(MakeFolder(a));
  EXPECT_FALSE(MakeFolder(a));
  EXPECT_TRUE(MakeFolder(b));
  EXPECT_FALSE(RenameFolderNoReplace(a, b));
  EXPECT_TRUE(RenameFolderNoReplace(a, dir_ + "/c"));
  std::string pattern = dir_ + "/u_XXXXXX";
  ASSERT_TRUE(MakeUniqueFolder(pattern));
  EXPECT_NE(pattern, dir_ + "/u_XXXXXX");
  EXPECT_TRUE(fs::is_directory(pattern));
}

TEST(WindowsErrors, Win32ErrorsMapToErrnoAndHaveText) {
  const std::pair<DWORD, int> cases[] = {
      {ERROR_SUCCESS, 0},
      {ERROR_FILE_NOT_FOUND, ENOENT},
      {ERROR_PATH_NOT_FOUND, ENOENT},
      {ERROR_ALREADY_EXISTS, EEXIST},
      {ERROR_FILE_EXISTS, EEXIST},
      {ERROR_ACCESS_DENIED, EACCES},
      {ERROR_SHARING_VIOLATION, EBUSY},
      {ERROR_DISK_FULL, ENOSPC},
      {ERROR_CRC, EIO},
  };
  for (const auto& [win32Error, expected] : cases) {
    EXPECT_EQ(win32::ErrnoFromWin32(win32Error), expected) << win32Error;
  }
  const std::string text = win32::Win32ErrorText(ERROR_FILE_NOT_FOUND);
  EXPECT_FALSE(text.empty());
  EXPECT_NE(text.back(), '\n');
}

TEST(WindowsText, Utf8RoundTripsThroughWideText) {
  const std::string name = "Produ\xC3\xA7\xC3\xA3o";
  EXPECT_EQ(win32::Wide(name), L"Produ\u00e7\u00e3o");
  EXPECT_EQ(win32::Narrow(win32::Wide(name)), name);
}

TEST(WindowsTime, LocalTimeIsPlausible) {
  const LocalTime now = NowLocal();
  EXPECT_GE(now.year, 2020);
  EXPECT_GE(now.month, 1);
  EXPECT_LE(now.month, 12);
  EXPECT_LE(now.millisecond, 999);
}

}  // namespace
}  // namespace bq
