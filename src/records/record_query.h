#pragma once
// What a reader asks of the records, and the summaries made from them.

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "records/production_record.h"

namespace bq::records {

// Every field set narrows the answer; the answer is newest first.
struct RecordFilter {
  // The device's serial number before the command, or the file's.
  std::optional<int64_t> serialNumber;
  std::optional<std::string> since;  // UTC timestamp, included
  std::optional<std::string> until;  // UTC timestamp, excluded
  std::optional<std::string> result;
  // The file's product code, or the device's.
  std::optional<int64_t> productCode;
  std::optional<std::string> bench;
  size_t limit = 0;  // 0: every record that matches
};

// A date or time given on the command line, as a UTC timestamp bound:
// "2026-12-10", "2026-12-10T16:22", "2026-12-10T16:22:46", "...46.123",
// each with an optional 'Z' or a blank for the 'T'. A bare date as an upper
// bound takes the whole day (the bound is the next midnight). Empty when the
// text is not a date.
std::optional<std::string> DateBound(std::string_view text, bool upper);

// The commands whose successful run wrote firmware into a device.
bool WritesFirmware(const std::string& command);

struct ProductSummary {
  std::optional<int64_t> productCode;       // empty: not known
  std::map<std::string, int64_t> byResult;  // "ok" -> 12, "failed" -> 1 ...
  int64_t total = 0;
  // The median time from start to end of the successful firmware writes.
  std::optional<double> medianWriteSeconds;
  int64_t writes = 0;  // how many writes the median is taken over
};

// One entry per product, in product order (unknown last).
std::vector<ProductSummary> Summarise(const std::vector<ProductionRecord>& records);

}  // namespace bq::records
