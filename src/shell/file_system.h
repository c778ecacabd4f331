#pragma once
// File system services that the standard library does not offer in the form
// the program needs. Each operating system has its own implementation file.

#include <string>

namespace bq {

// Creates one folder (not its parents) with the default permissions. False,
// with errno-like detail lost, when it exists already or cannot be made.
bool MakeFolder(const std::string& path);

}  // namespace bq
