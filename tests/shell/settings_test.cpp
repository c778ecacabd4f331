// The settings file: defaults, the exact layout of a new file, in-place
// updates, value parsing and safe writing.
#include "shell/settings.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <sstream>

#include "recording_operator.h"
#include "shell/ini_file.h"

namespace bq {
namespace {

namespace fs = std::filesystem;

class SettingsFile : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/bq_settings_XXXXXX";
    dir_ = ::mkdtemp(tmpl);
    path_ = dir_ + "/BootQuarn.Ini";
  }
  void TearDown() override { fs::remove_all(dir_); }

  void Put(const std::string& text) { std::ofstream(path_, std::ios::binary) << text; }
  std::string Get() const {
    std::ifstream in(path_, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
  TPar Read() {
    TPar p;
    ReadSettings(p, path_, "/opt/bq/bin/", "/dev/ttyS0");
    return p;
  }

  std::string dir_, path_;
  test::RecordingOperator ui_;
};

TEST_F(SettingsFile, NoFileGivesDefaultsAndTheElevenLineLayout) {
  TPar p = Read();
  EXPECT_EQ(p.dataFolder, "/opt/bq/bin/");
  EXPECT_EQ(p.firmwareFile, "arqTeste");
  EXPECT_EQ(p.portName, "/dev/ttyS0");
  EXPECT_EQ(p.baudRate, 9600);
  ASSERT_TRUE(WriteSettings(p, path_, ui_));
  EXPECT_EQ(Get(),
            "[Arquivos]\r\n"
            "Diretorio Dados_____=/opt/bq/bin/\r\n"
            "Arquivo hexa________=arqTeste\r\n"
            "Arquivo hexa 2 Kfx__=arqTeste\r\n"
            "[Comum]\r\n"
            "Porta Serial_________=/dev/ttyS0\r\n"
            "Tem mensagens Teste__=Nao\r\n"
            "BaudRate_____________=9600\r\n"
            "Ultimo NS gerado_____=1\r\n"
            "NS Inicial___________=1\r\n"
            "NS Fim_______________=1\r\n");
  EXPECT_TRUE(ui_.Errors().empty());
  // No temporary file is left beside it.
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 1);
}

TEST_F(SettingsFile, ValuesAreParsedTrimmedAndMatchedInAnyCase) {
  Put("[arquivos]\n"
      "  diretorio dados_____ =  /data/fw  \n"
      "[COMUM]\n"
      "Tem mensagens Teste__=Sim\n"
      "BaudRate_____________=0x4B00\n"
      "Ultimo NS gerado_____=70000\n"
      "NS Inicial___________=abc\n"
      "NS Fim_______________=$10\n");
  TPar p = Read();
  EXPECT_EQ(p.dataFolder, "/data/fw/");
  EXPECT_FALSE(p.testMessages);
  EXPECT_EQ(p.baudRate, 19200);
  EXPECT_EQ(p.lastSerialGenerated, 4464);  // low 16 bits of 70000
  EXPECT_EQ(p.serialFirst, 1);             // not a number: the default
  EXPECT_EQ(p.serialLast, 16);
}

TEST_F(SettingsFile, UpdateInPlaceKeepsUnknownSectionsAndKeys) {
  Put("; kept comment\r\n"
      "[Comum]\r\n"
      "Extra=1\r\n"
      "NS Inicial___________=40000\r\n"
      "Tem mensagens Teste__=Sim\r\n"
      "\r\n"
      "[Outra]\r\n"
      "x=y\r\n");
  TPar p = Read();
  EXPECT_EQ(p.serialFirst, 40000);
  p.portName = "/dev/ttyUSB0";
  ASSERT_TRUE(WriteSettings(p, path_, ui_));
  EXPECT_EQ(Get(),
            "; kept comment\r\n"
            "[Comum]\r\n"
            "Extra=1\r\n"
            "NS Inicial___________=40000\r\n"
            "Tem mensagens Teste__=Nao\r\n"
            "Porta Serial_________=/dev/ttyUSB0\r\n"
            "BaudRate_____________=9600\r\n"
            "Ultimo NS gerado_____=1\r\n"
            "NS Fim_______________=1\r\n"
            "\r\n"
            "[Outra]\r\n"
            "x=y\r\n"
            "[Arquivos]\r\n"
            "Diretorio Dados_____=/opt/bq/bin/\r\n"
            "Arquivo hexa________=arqTeste\r\n"
            "Arquivo hexa 2 Kfx__=arqTeste\r\n");
}

TEST_F(SettingsFile, RoundTrip) {
  TPar p = Read();
  p.dataFolder = "/home/op/fw/";
  p.firmwareFile = "/home/op/fw/Produto Á_v3.kfx";
  p.kfxSourceFile = "/x/y.hex";
  p.portName = "/dev/ttyACM1";
  p.baudRate = 38400;
  p.lastSerialGenerated = 65535;
  p.serialFirst = 12;
  p.serialLast = 99;
  ASSERT_TRUE(WriteSettings(p, path_, ui_));
  TPar q = Read();
  EXPECT_EQ(q.dataFolder, p.dataFolder);
  EXPECT_EQ(q.firmwareFile, p.firmwareFile);
  EXPECT_EQ(q.kfxSourceFile, p.kfxSourceFile);
  EXPECT_EQ(q.portName, p.portName);
  EXPECT_EQ(q.baudRate, p.baudRate);
  EXPECT_EQ(q.lastSerialGenerated, p.lastSerialGenerated);
  EXPECT_EQ(q.serialFirst, p.serialFirst);
  EXPECT_EQ(q.serialLast, p.serialLast);
}

TEST_F(SettingsFile, FailedWriteIsReportedAndKeepsTheOldFile) {
  // A file-size limit makes the write fail part-way, as a full disk would,
  // and works for root too.
  Put("[Comum]\r\nNS Fim_______________=7\r\n");
  TPar p = Read();
  p.serialLast = 8;
  rlimit old{};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
  auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
  rlimit tiny = old;
  tiny.rlim_cur = 16;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &tiny), 0);
  const bool written = WriteSettings(p, path_, ui_);
  ::setrlimit(RLIMIT_FSIZE, &old);
  std::signal(SIGXFSZ, previousHandler);
  EXPECT_FALSE(written);
  ASSERT_EQ(ui_.Errors().size(), 1u);
  EXPECT_NE(ui_.Errors()[0].find(path_), std::string::npos);
  EXPECT_EQ(Get(), "[Comum]\r\nNS Fim_______________=7\r\n");
}

TEST_F(SettingsFile, WriteIntoMissingFolderIsReported) {
  TPar p = Read();
  EXPECT_FALSE(WriteSettings(p, dir_ + "/no/such/BootQuarn.Ini", ui_));
  ASSERT_EQ(ui_.Errors().size(), 1u);
  EXPECT_NE(ui_.Errors()[0].find("No such file or directory"), std::string::npos);
}

// A name holding a line break must not reach the file as a line of its own,
// where it would set another key on the next start.
TEST_F(SettingsFile, LineBreaksInAValueNeverStartAnotherLine) {
  TPar p = Read();
  p.firmwareFile = "/fw/a.kfx\r\nBaudRate_____________=1200";
  p.portName = "/dev/ttyS1\n[Arquivos]\rArquivo hexa________=/evil";
  ASSERT_TRUE(WriteSettings(p, path_, ui_));
  std::istringstream lines(Get());
  std::string line;
  int count = 0;
  while (std::getline(lines, line)) {
    ++count;
    EXPECT_TRUE(line.ends_with('\r')) << line;
    line.pop_back();
    EXPECT_TRUE(FitsOnOneIniLine(line)) << line;
  }
  EXPECT_EQ(count, 11);
  const TPar back = Read();
  EXPECT_EQ(back.baudRate, 9600);
  EXPECT_EQ(back.firmwareFile, "/fw/a.kfx  BaudRate_____________=1200");
  EXPECT_EQ(back.portName, "/dev/ttyS1 [Arquivos] Arquivo hexa________=/evil");
}

// A CR alone ends a line as CR LF and LF do, so a value read from such a
// file holds no CR, and saving it and reading it again gives the same value.
TEST_F(SettingsFile, LoneCrEndsALineAndTheSaveReadsBackTheSame) {
  Put("[Comum]\rPorta Serial_________=/dev/tty\rBaudRate_____________=4800\n"
      "NS Fim_______________=9\r\n");
  const TPar read = Read();
  EXPECT_EQ(read.portName, "/dev/tty");
  EXPECT_EQ(read.baudRate, 4800);
  EXPECT_EQ(read.serialLast, 9u);
  ASSERT_TRUE(WriteSettings(read, path_, ui_));
  const TPar back = Read();
  EXPECT_EQ(back.portName, read.portName);
  EXPECT_EQ(back.baudRate, read.baudRate);
  EXPECT_EQ(back.serialLast, read.serialLast);
}

// A save killed half-way leaves its temporary file; the next start removes the
// old ones and leaves a fresh one (a save running elsewhere) and other files.
TEST_F(SettingsFile, StaleTemporaryFilesAreRemoved) {
  struct Case {
    const char* name;
    std::chrono::seconds age;
    bool removed;
  };
  const Case cases[] = {
      {".BootQuarn.Ini.a1B2c3", std::chrono::minutes(5), true},
      {".BootQuarn.Ini.d4E5f6", std::chrono::seconds(0), false},
      {".BootQuarn.Ini.keep", std::chrono::minutes(5), false},
      {"BootQuarn.Ini.x1y2z3", std::chrono::minutes(5), false},
  };
  const auto now = fs::file_time_type::clock::now();
  for (const Case& c : cases) {
    std::ofstream(dir_ + "/" + c.name) << "partial";
    fs::last_write_time(dir_ + "/" + c.name, now - c.age);
  }
  RemoveStaleTemporaryFiles(path_, std::chrono::minutes(1));
  for (const Case& c : cases) {
    EXPECT_EQ(fs::exists(dir_ + "/" + c.name), !c.removed) << c.name;
  }
}

// Something in place of the settings file that is no settings file: start-up
// neither waits on it nor reads it into memory without end. It gives the
// defaults with a warning, and the save at the end leaves it as it was.
TEST_F(SettingsFile, ANonRegularOrHugeFileGivesDefaultsAndIsKept) {
  struct Case {
    const char* name;
    // Puts the thing at path_; returns what releases a reader it holds, if any.
    std::function<std::function<void()>(const std::string&)> plant;
    std::function<bool(const std::string&)> unchanged;
  };
  const auto isFifo = [](const std::string& p) { return fs::is_fifo(fs::symlink_status(p)); };
  const Case cases[] = {
      {"FIFO without a writer",
       [](const std::string& p) -> std::function<void()> {
         EXPECT_EQ(::mkfifo(p.c_str(), 0600), 0);
         return [p] {
           const int fd = ::open(p.c_str(), O_WRONLY | O_NONBLOCK);
           if (fd >= 0) ::close(fd);
         };
       },
       isFifo},
      {"terminal",
       [](const std::string& p) -> std::function<void()> {
         const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
         EXPECT_GE(master, 0);
         EXPECT_EQ(::grantpt(master), 0);
         EXPECT_EQ(::unlockpt(master), 0);
         fs::create_symlink(::ptsname(master), p);
         return [master] { ::close(master); };
       },
       [](const std::string& p) { return fs::is_character_file(p); }},
      {"link to /dev/zero",
       [](const std::string& p) -> std::function<void()> {
         fs::create_symlink("/dev/zero", p);
         return [] {};
       },
       [](const std::string& p) {
         return fs::is_symlink(p) && fs::read_symlink(p) == "/dev/zero";
       }},
      {"line ends beyond the size limit",
       [](const std::string& p) -> std::function<void()> {
         std::ofstream(p, std::ios::binary) << std::string(kMaxIniFileBytes + 1, '\n');
         return [] {};
       },
       [](const std::string& p) {
         return fs::is_regular_file(p) && fs::file_size(p) == kMaxIniFileBytes + 1;
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove(path_);
    test::RecordingOperator ui;
    const std::function<void()> release = c.plant(path_);
    auto reading = std::async(std::launch::async, [&] {
      TPar p;
      ReadSettings(p, path_, "/opt/bq/bin/", "/dev/ttyS0", &ui);
      return p;
    });
    if (reading.wait_for(std::chrono::seconds(20)) != std::future_status::ready) {
      release();  // lets the stuck read end, so that the test can
      ADD_FAILURE() << "the read waits on the file";
    }
    const TPar p = reading.get();
    EXPECT_EQ(p.portName, "/dev/ttyS0");
    EXPECT_EQ(p.serialLast, 1);
    ASSERT_EQ(ui.Errors().size(), 1u);
    EXPECT_NE(ui.Errors()[0].find(path_), std::string::npos) << ui.Errors()[0];

    EXPECT_FALSE(WriteSettings(p, path_, ui));
    EXPECT_TRUE(c.unchanged(path_));
    release();
  }
}

// A link to a real settings file is read and saved as before.
TEST_F(SettingsFile, ALinkToARegularFileIsReadAndSaved) {
  const std::string real = dir_ + "/real.ini";
  std::ofstream(real, std::ios::binary) << "[Comum]\r\nNS Fim_______________=7\r\n";
  fs::create_symlink(real, path_);
  TPar p;
  ReadSettings(p, path_, "/opt/bq/bin/", "/dev/ttyS0", &ui_);
  EXPECT_EQ(p.serialLast, 7);
  EXPECT_TRUE(ui_.Errors().empty());
  EXPECT_TRUE(WriteSettings(p, path_, ui_));
}

TEST(IniFile, BooleansAndIntegers) {
  struct Case {
    const char* text;
    bool boolean;
    std::optional<int32_t> integer;
  };
  const Case cases[] = {
      {"Sim", true, std::nullopt},
      {"sIM", true, std::nullopt},
      {"1", false, 1},
      {"true", false, std::nullopt},
      {"", false, std::nullopt},
      {"-12", false, -12},
      {"$FFFFFFFF", false, -1},
      {"0x1g", false, std::nullopt},
      {"2147483648", false, std::nullopt},
      {"-2147483648", false, INT32_MIN},
      {" 42 ", false, 42},
      {"4 2", false, std::nullopt},
  };
  for (const Case& c : cases) {
    TIniFileQuarn ini("/nonexistent/x.ini");
    ini.WriteString("S", "k", c.text);
    EXPECT_EQ(ini.ReadBool("S", "K", true), c.boolean) << c.text;
    EXPECT_EQ(ParseIniInteger(c.text), c.integer) << c.text;
  }
  TIniFileQuarn ini("/nonexistent/x.ini");
  EXPECT_TRUE(ini.ReadBool("S", "missing", true));
  EXPECT_FALSE(ini.ReadBool("S", "missing", false));
}

}  // namespace
}  // namespace bq
