#pragma once
// File system services that the standard library does not offer in the form
// the program needs. Each operating system has its own implementation file.

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

namespace bq {

// Creates one folder (not its parents) with the default permissions. False
// when it exists already or cannot be made.
bool MakeFolder(const std::string& path);

// Creates a new folder from pattern, whose last six characters are "XXXXXX"
// and are replaced in place to make a name nobody holds. The folder gets the
// default permissions a folder of MakeFolder gets. False if it cannot be made.
bool MakeUniqueFolder(std::string& pattern);

// Gives the folder from the name to, never over anything already called to.
bool RenameFolderNoReplace(const std::string& from, const std::string& to);

enum class FileOpening {
  Existing,  // the file must be there already
  CreateNew  // the file is created and must not be there yet (mode 0644)
};

struct FileAppend {
  bool opened = false;  // the file was opened (or created)
  int osError = 0;      // 0, or why it could not be opened or written
};

// Appends data at the end of the file in one write and closes it.
FileAppend AppendToFile(const std::string& path, std::string_view data, FileOpening opening);

// A regular file open for reading, read piece by piece.
class FileReader {
 public:
  virtual ~FileReader() = default;
  // Up to size bytes into buffer: the count, 0 at the end of the file, or -1
  // with *error set to the system's error.
  virtual std::ptrdiff_t Read(char* buffer, std::size_t size, int* error) = 0;
};

// Opens a regular file (a link to one is followed) for reading; opening never
// blocks, whatever the name leads to. Null otherwise, with *error set: the
// system's error, EISDIR for a folder, 0 for a FIFO, a device and the like.
std::unique_ptr<FileReader> OpenRegularFileForReading(const std::string& path, int* error);

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
