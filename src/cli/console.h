#pragma once
// What the command line asks of the terminal it runs in. Each operating
// system has its own implementation file.

namespace bq::cli {

enum class ConsoleStream { Input, Output, Error };

// Whether the process's stream is a terminal.
bool IsTerminal(ConsoleStream stream);

// The width of the terminal behind the stream in columns, or 0 when it is
// not a terminal or does not say.
int TerminalColumns(ConsoleStream stream);

}  // namespace bq::cli
