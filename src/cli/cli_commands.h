#pragma once
// Each subcommand of bootquarn-cli lives in a file of its own and registers
// itself here. Exit status: 0 success, 1 failure, 2 usage error, 130 cancelled.

#include <CLI/CLI.hpp>
#include <functional>

namespace bq::cli {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 2;
inline constexpr int kExitCancelled = 130;

// Adds one subcommand to app; the callback stores the command's exit status in *exitCode.
using CommandAdder = std::function<void(CLI::App& app, int* exitCode)>;

void AddInfoCommand(CLI::App& app, int* exitCode);
void AddPortsCommand(CLI::App& app, int* exitCode);
void AddIdentifyCommand(CLI::App& app, int* exitCode);
void AddResetCommand(CLI::App& app, int* exitCode);
void AddEraseCommand(CLI::App& app, int* exitCode);
void AddWriteCommand(CLI::App& app, int* exitCode);
void AddGenerateCommand(CLI::App& app, int* exitCode);
void AddKfxFileCommand(CLI::App& app, int* exitCode);
void AddVerifyCommand(CLI::App& app, int* exitCode);
void AddReadCommand(CLI::App& app, int* exitCode);
void AddScanCommand(CLI::App& app, int* exitCode);
void AddScanZirconCommand(CLI::App& app, int* exitCode);
void AddAccessoryIdCommand(CLI::App& app, int* exitCode);
void AddArvexBootCommand(CLI::App& app, int* exitCode);
void AddZirconBootCommand(CLI::App& app, int* exitCode);
void AddUpgradeZirconCommand(CLI::App& app, int* exitCode);
void AddLoopCommand(CLI::App& app, int* exitCode);
void AddHistoryCommand(CLI::App& app, int* exitCode);
void AddRecordsCommand(CLI::App& app, int* exitCode);

}  // namespace bq::cli
