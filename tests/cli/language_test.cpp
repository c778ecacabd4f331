// The command line's own words follow the user's language; the system's
// operator texts and the JSON keys do not.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <string>

#include "cli_process.h"
#include "virtual_device.h"

namespace bq::cli {
namespace {

using namespace bq::cli::testing;

class Language : public CliProcess {
 protected:
  // gettext honours LANGUAGE under any locale but "C"; C.UTF-8 is always there.
  void Portuguese() { extraEnv_ = {"LANGUAGE=pt_BR", "LANG=C.UTF-8", "LC_ALL=", "LC_MESSAGES="}; }
};

TEST_F(Language, PortugueseHelpAndWrite) {
  Portuguese();
  const CliRun help = Cli({"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("Mostra esta ajuda e sai"), std::string::npos) << help.out;
  // CLI11's own headings and badges too, in the program's help and a command's.
  const CliRun writeHelp = Cli({"write", "--help"});
  for (const CliRun* run : {&help, &writeHelp}) {
    for (const char* english : {"Usage:", "Options:", "REQUIRED", "Excludes", "Subcommands:"}) {
      EXPECT_EQ(run->out.find(english), std::string::npos) << english << "\n" << run->out;
    }
  }
  EXPECT_NE(help.out.find("Uso:"), std::string::npos) << help.out;
  EXPECT_NE(help.out.find("Comandos:"), std::string::npos) << help.out;
  EXPECT_NE(writeHelp.out.find("Opções:"), std::string::npos) << writeHelp.out;
  EXPECT_NE(writeHelp.out.find("OBRIGATÓRIO"), std::string::npos) << writeHelp.out;
  EXPECT_NE(writeHelp.out.find("Exclui"), std::string::npos) << writeHelp.out;

  sim::VirtualDevice& device = StartDevice({});
  const CliRun r = Cli({"write", kKfx, "--port", device.PortPath(), "--json"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.err.find("Gravados 4096 bytes em "), std::string::npos) << r.err;
  EXPECT_EQ(r.err.find("Wrote"), std::string::npos) << r.err;
  const nlohmann::json j = nlohmann::json::parse(r.out);
  EXPECT_EQ(j["status"], "Operação Ok");
  EXPECT_EQ(j["ok"], true);
}

TEST_F(Language, OtherLanguagesReadEnglish) {
  extraEnv_ = {"LANGUAGE=fr", "LANG=C.UTF-8", "LC_ALL=", "LC_MESSAGES="};
  const CliRun help = Cli({"--help"});
  EXPECT_NE(help.out.find("Print this help message and exit"), std::string::npos) << help.out;
  EXPECT_NE(help.out.find("Usage:"), std::string::npos) << help.out;
  EXPECT_NE(help.out.find("Options:"), std::string::npos) << help.out;
}

// A device that does not answer: the system's own box stays word for word, and
// the advice (the port, the rates tried, what to check) follows in Portuguese.
TEST_F(Language, AFailedConnectionIsExplainedInPortuguese) {
  Portuguese();
  sim::SimOptions options;
  options.personality = sim::Personality::kDelmo;  // the port opens; no boot loader listens
  sim::VirtualDevice& device = StartDevice(options);
  const CliRun r = Cli({"write", kKfx, "--port", device.PortPath()});
  EXPECT_EQ(r.status, 1) << r.err;
  EXPECT_NE(r.err.find("Falha na Leitura do NS"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("coloque o equipamento em [ Modo Boot ]"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("sem resposta em " + device.PortPath() + " a 38400 ou 19200 baud"),
            std::string::npos)
      << r.err;
  EXPECT_NE(r.err.find("bootquarn-cli scan"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("bootquarn-cli ports"), std::string::npos) << r.err;
}

// A write that fails after its erase says in Portuguese what the device holds now.
TEST_F(Language, AWriteStoppedAfterTheEraseSaysTheDeviceIsEmptyInPortuguese) {
  Portuguese();
  sim::SimOptions options;
  options.faults = {sim::ParseFault("failwrite:0x1000*8")};  // every attempt at one block
  sim::VirtualDevice& device = StartDevice(options);
  const CliRun r = Cli({"write", kKfx, "--port", device.PortPath()});
  EXPECT_EQ(r.status, 1) << r.err;
  const size_t failed = r.err.find("Falha na gravação");
  ASSERT_NE(failed, std::string::npos) << r.err;
  EXPECT_NE(
      r.out.find("O aparelho fica sem aplicação agora e continua em modo boot: grave-o de novo."),
      std::string::npos)
      << r.out;
}

}  // namespace
}  // namespace bq::cli
