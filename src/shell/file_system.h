#pragma once
// File system services that the standard library does not offer in the form
// the program needs. Each operating system has its own implementation file.

#include <cstddef>
#include <string>

namespace bq {

// Creates one folder (not its parents) with the default permissions. False
// when it exists already or cannot be made.
bool MakeFolder(const std::string& path);

// How reading a small file went.
struct SmallFileRead {
  enum class Status {
    Ok,
    Missing,     // there is no file of that name
    Failed,      // it could not be opened or read (osError says why)
    NotRegular,  // a FIFO, a device, a folder, ...: never read, never waited on
    TooLarge,    // more than the limit: not read
  };
  Status status = Status::Ok;
  int osError = 0;
};

// Reads the whole file into *data if it is a regular file (a link to one is
// followed) of at most maxBytes. Opening it never blocks, whatever it is.
SmallFileRead ReadSmallRegularFile(const std::string& path, size_t maxBytes, std::string* data);

}  // namespace bq
