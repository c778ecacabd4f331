#pragma once
// Replacing a file safely: the new contents go into a temporary file of their
// own beside the target, which is renamed over the target only when complete
// and on disk. A reader sees the old file or the new one, never a part, and a
// failure leaves the old file as it was. Each operating system has its own
// implementation file.

#include <chrono>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace bq {

enum class ReplaceMode {
  Replace,      // an existing file of that name is replaced (its permissions are kept)
  KeepExisting  // an existing file of that name is left as it was: the write fails
};

struct SafeWriteError {
  enum class Step {
    Create,  // the temporary file beside the target could not be created
    Write,   // writing it or flushing it to disk failed
    Place,   // it could not be given the target's name
  };
  Step step = Step::Create;
  int osError = 0;  // the system's error code (EEXIST for a kept file)
};

// Writes data as the file at path. The temporary file is created exclusively
// under a fresh random name (".<name>.XXXXXX" in the target's folder), never
// through a link, so that nothing already there is written into and two
// writers never share one.
std::optional<SafeWriteError> WriteFileSafely(const std::string& path, std::string_view data,
                                              ReplaceMode mode = ReplaceMode::Replace);

// The name of a fresh temporary file for path: its folder, then
// ".<name>." and kTemporarySuffixLength random letters and digits.
inline constexpr size_t kTemporarySuffixLength = 6;
std::string RandomTemporaryName(const std::string& path);

// Removes the temporary files that writes into path left behind when the
// program was killed in the middle, once they are older than minAge (a
// younger one may belong to a write still under way elsewhere).
void RemoveStaleTemporaryFiles(const std::string& path, std::chrono::seconds minAge);

}  // namespace bq
