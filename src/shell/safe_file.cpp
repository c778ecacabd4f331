#include "shell/safe_file.h"

#include <filesystem>
#include <mutex>
#include <random>
#include <system_error>

namespace bq {

namespace {

// A name longer than this is cut in the temporary name, which must stay
// within the file system's limit of 255 bytes.
constexpr size_t kLongestNamePart = 200;

// What temporary files for path are named with in front of their random part.
std::string TemporaryPrefix(const std::string& path) {
#ifdef _WIN32
  // Windows takes both kinds of slash between folders.
  const size_t slash = path.find_last_of("/\\");
#else
  const size_t slash = path.rfind('/');
#endif
  const size_t nameAt = slash == std::string::npos ? 0 : slash + 1;
  return path.substr(0, nameAt) + "." + path.substr(nameAt, kLongestNamePart) + ".";
}

}  // namespace

std::string RandomTemporaryName(const std::string& path) {
  static const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  static std::mutex mutex;
  static std::mt19937_64 engine{std::random_device{}()};
  std::uniform_int_distribution<size_t> pick(0, sizeof kAlphabet - 2);
  std::string name = TemporaryPrefix(path);
  std::lock_guard lock(mutex);
  for (size_t i = 0; i < kTemporarySuffixLength; ++i) name += kAlphabet[pick(engine)];
  return name;
}

void RemoveStaleTemporaryFiles(const std::string& path, std::chrono::seconds minAge) {
  namespace fs = std::filesystem;
  const fs::path prefixPath(TemporaryPrefix(path));
  const std::string prefix = prefixPath.filename().string();
  const fs::path folder = prefixPath.parent_path();
  std::error_code ec;
  const auto now = fs::file_time_type::clock::now();
  for (const auto& entry : fs::directory_iterator(folder.empty() ? "." : folder, ec)) {
    const std::string name = entry.path().filename().string();
    if (name.size() != prefix.size() + kTemporarySuffixLength || name.rfind(prefix, 0) != 0) {
      continue;
    }
    if (!entry.is_regular_file(ec)) continue;
    const auto written = entry.last_write_time(ec);
    if (ec || now - written < minAge) continue;
    fs::remove(entry.path(), ec);
  }
}

}  // namespace bq
