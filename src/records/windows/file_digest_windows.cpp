// The SHA-256 of a file through the system's own cryptography (CNG).
// The Win32 headers below need windows.h first.
// clang-format off
#include <windows.h>
// clang-format on

#include <bcrypt.h>

#include <vector>

#include "records/file_digest.h"
#include "shell/file_system.h"
#include "shell/utilities.h"

namespace bq::records {

std::optional<std::string> FileSha256(const std::string& path, std::string* error) {
  int osError = 0;
  std::unique_ptr<FileReader> reader = OpenRegularFileForReading(path, &osError);
  if (!reader) {
    if (error) *error = osError == 0 ? "not a regular file" : ErrnoText(osError);
    return std::nullopt;
  }
  BCRYPT_ALG_HANDLE algorithm = nullptr;
  BCRYPT_HASH_HANDLE hash = nullptr;
  auto fail = [&](const char* why) -> std::optional<std::string> {
    if (hash != nullptr) ::BCryptDestroyHash(hash);
    if (algorithm != nullptr) ::BCryptCloseAlgorithmProvider(algorithm, 0);
    if (error) *error = why;
    return std::nullopt;
  };
  if (::BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0) < 0 ||
      ::BCryptCreateHash(algorithm, &hash, nullptr, 0, nullptr, 0, 0) < 0) {
    return fail("SHA-256 is not available");
  }
  std::vector<char> buffer(1 << 16);
  for (;;) {
    const std::ptrdiff_t got = reader->Read(buffer.data(), buffer.size(), &osError);
    if (got < 0) {
      const std::string text = ErrnoText(osError);
      fail("");
      if (error) *error = text;
      return std::nullopt;
    }
    if (got == 0) break;
    if (::BCryptHashData(hash, reinterpret_cast<PUCHAR>(buffer.data()), static_cast<ULONG>(got),
                         0) < 0) {
      return fail("SHA-256 failed");
    }
  }
  unsigned char digest[32];
  if (::BCryptFinishHash(hash, digest, sizeof digest, 0) < 0) return fail("SHA-256 failed");
  ::BCryptDestroyHash(hash);
  ::BCryptCloseAlgorithmProvider(algorithm, 0);
  static const char kHex[] = "0123456789abcdef";
  std::string text;
  for (unsigned char byte : digest) {
    text += kHex[byte >> 4];
    text += kHex[byte & 0x0F];
  }
  return text;
}

}  // namespace bq::records
