#pragma once
// The SHA-256 of a file's bytes, for the record of the file a command used.

#include <optional>
#include <string>

namespace bq::records {

// 64 lower-case hexadecimal digits; empty (with the reason in *error) when the
// file cannot be read.
std::optional<std::string> FileSha256(const std::string& path, std::string* error);

}  // namespace bq::records
