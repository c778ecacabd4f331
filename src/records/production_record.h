#pragma once
// One attempt of a command at a bench, kept as a production record: when and
// where it ran, the device as it was found, the file it used and how it ended.
// Plain data: a front end fills it from what the command saw.

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace bq::records {

enum class RecordResult { kOk, kRefused, kDeclined, kCancelled, kFailed };

// "ok", "refused", "declined", "cancelled", "failed".
const char* ResultText(RecordResult result);
std::optional<RecordResult> ParseResult(std::string_view text);

// One step of the command (erase, write, verify ...) with what it moved.
struct RecordPhase {
  std::string name;
  std::string start;  // UTC timestamp, as the record's own
  std::string end;
  int64_t bytes = 0;
  double seconds = 0;

  bool operator==(const RecordPhase&) const = default;
};

// The device as read before the command changed it; a value not read is empty.
struct RecordDevice {
  std::optional<int64_t> serialNumber;
  std::optional<int64_t> firmwareVersion;
  std::optional<int64_t> firmwareRevision;
  std::optional<int64_t> productCode;
  std::optional<int64_t> bootLoaderVersion;  // major * 256 + minor
  std::optional<int64_t> hardwareVersion;

  bool operator==(const RecordDevice&) const = default;
};

// The firmware file and what its header says; empty for commands without one.
struct RecordFile {
  std::optional<std::string> path;
  std::optional<std::string> sha256;  // 64 lower-case hexadecimal digits
  std::optional<int64_t> serialNumber;
  std::optional<int64_t> version;
  std::optional<int64_t> revision;
  std::optional<int64_t> productCode;

  bool operator==(const RecordFile&) const = default;
};

struct RecordFailure {
  std::optional<std::string> phase;
  std::optional<int64_t> address;
  std::optional<std::string> message;

  bool operator==(const RecordFailure&) const = default;
};

struct ProductionRecord {
  std::string id;         // UUID version 4, the record's key everywhere
  std::string startedAt;  // UTC, ISO 8601 with milliseconds: 2026-12-10T16:22:46.123Z
  std::string endedAt;
  std::string bench;     // the host name of the bench's computer
  std::string port;      // e.g. /dev/ttyUSB0
  std::string portById;  // its /dev/serial/by-id name, or empty
  RecordDevice device;
  RecordFile file;
  RecordResult result = RecordResult::kFailed;
  RecordFailure failure;
  std::vector<RecordPhase> phases;
  std::string programVersion;  // "5.54"
  std::string command;         // write, verify, read, erase, reset, upgrade-zircon, loop ...

  bool operator==(const ProductionRecord&) const = default;
};

// A fresh random UUID (version 4), in its 36-character form.
std::string NewRecordId();

// The time as a record keeps it: 2026-12-10T16:22:46.123Z.
std::string UtcTimestamp(std::chrono::system_clock::time_point when);
std::string UtcNow();

// A record of a command starting now at this bench: id, start time, bench
// name, program version and command filled; the caller adds the rest and
// sets endedAt (FinishRecord) when the command is over.
ProductionRecord StartRecord(std::string command, std::string programVersion);
void FinishRecord(ProductionRecord& record, RecordResult result);

// The host name of this computer, which names the bench ("" when unknown).
std::string BenchName();

// The product a record is about: the file's when it has one, else the device's.
std::optional<int64_t> ProductOf(const ProductionRecord& record);
// Seconds from start to end; empty when either time is not a valid timestamp.
std::optional<double> DurationSeconds(const ProductionRecord& record);

// Reads "YYYY-MM-DDTHH:MM:SS[.fff]Z"; empty for any other text.
std::optional<std::chrono::system_clock::time_point> ParseUtcTimestamp(std::string_view text);

}  // namespace bq::records
