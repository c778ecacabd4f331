#pragma once
// The folders the operating system gives the program. Each operating system
// has its own implementation file.

#include <string>

namespace bq {

// The base of the user's data, with a trailing '/': on POSIX systems
// XDG_DATA_HOME when it is an absolute path, else $HOME/.local/share/ (the
// password database's home when HOME is unset).
std::string UserDataHome();

// The folder of the running program, with a trailing '/'.
std::string ProgramFolder();

}  // namespace bq
