#include "records/production_record.h"

#include <array>
#include <cstdio>
#include <random>

namespace bq::records {

namespace {

using Clock = std::chrono::system_clock;

// Reads exactly `width` decimal digits at text[pos].
std::optional<int> Digits(std::string_view text, size_t pos, size_t width) {
  if (pos + width > text.size()) return std::nullopt;
  int value = 0;
  for (size_t i = pos; i < pos + width; ++i) {
    if (text[i] < '0' || text[i] > '9') return std::nullopt;
    value = value * 10 + (text[i] - '0');
  }
  return value;
}

}  // namespace

const char* ResultText(RecordResult result) {
  switch (result) {
    case RecordResult::kOk:
      return "ok";
    case RecordResult::kRefused:
      return "refused";
    case RecordResult::kDeclined:
      return "declined";
    case RecordResult::kCancelled:
      return "cancelled";
    case RecordResult::kFailed:
      break;
  }
  return "failed";
}

std::optional<RecordResult> ParseResult(std::string_view text) {
  for (RecordResult r : {RecordResult::kOk, RecordResult::kRefused, RecordResult::kDeclined,
                         RecordResult::kCancelled, RecordResult::kFailed}) {
    if (text == ResultText(r)) return r;
  }
  return std::nullopt;
}

std::string NewRecordId() {
  // std::random_device reads the system's random source; a fresh one per id
  // keeps ids apart across threads and forked processes alike.
  std::random_device source;
  std::array<uint8_t, 16> bytes{};
  for (size_t i = 0; i < bytes.size(); i += 4) {
    const uint32_t word = source();
    for (size_t k = 0; k < 4; ++k) bytes[i + k] = static_cast<uint8_t>(word >> (8 * k));
  }
  bytes[6] = static_cast<uint8_t>((bytes[6] & 0x0F) | 0x40);  // version 4
  bytes[8] = static_cast<uint8_t>((bytes[8] & 0x3F) | 0x80);  // RFC 4122 variant
  static const char kHex[] = "0123456789abcdef";
  std::string id;
  id.reserve(36);
  for (size_t i = 0; i < bytes.size(); ++i) {
    if (i == 4 || i == 6 || i == 8 || i == 10) id += '-';
    id += kHex[bytes[i] >> 4];
    id += kHex[bytes[i] & 0x0F];
  }
  return id;
}

std::string UtcTimestamp(Clock::time_point when) {
  using namespace std::chrono;
  const auto ms = floor<milliseconds>(when);
  const auto day = floor<days>(ms);
  const year_month_day date{day};
  const hh_mm_ss time{ms - day};
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02d.%03dZ", int(date.year()),
                unsigned(date.month()), unsigned(date.day()), int(time.hours().count()),
                int(time.minutes().count()), int(time.seconds().count()),
                int(time.subseconds().count()));
  return text;
}

std::string UtcNow() {
  return UtcTimestamp(Clock::now());
}

std::optional<Clock::time_point> ParseUtcTimestamp(std::string_view text) {
  using namespace std::chrono;
  // 2026-12-10T16:22:46Z or 2026-12-10T16:22:46.123Z
  if (text.size() < 20 || text[4] != '-' || text[7] != '-' || text[10] != 'T' || text[13] != ':' ||
      text[16] != ':' || text.back() != 'Z') {
    return std::nullopt;
  }
  const auto y = Digits(text, 0, 4), mo = Digits(text, 5, 2), d = Digits(text, 8, 2);
  const auto h = Digits(text, 11, 2), mi = Digits(text, 14, 2), s = Digits(text, 17, 2);
  if (!y || !mo || !d || !h || !mi || !s || *h > 23 || *mi > 59 || *s > 60) return std::nullopt;
  int millis = 0;
  if (text.size() != 20) {
    if (text[19] != '.' || text.size() < 22 || text.size() > 24) return std::nullopt;
    const size_t width = text.size() - 21;
    const auto fraction = Digits(text, 20, width);
    if (!fraction) return std::nullopt;
    millis = *fraction * (width == 1 ? 100 : width == 2 ? 10 : 1);
  }
  const year_month_day date{year(*y), month(unsigned(*mo)), day(unsigned(*d))};
  if (!date.ok()) return std::nullopt;
  return sys_days(date) + hours(*h) + minutes(*mi) + seconds(*s) + milliseconds(millis);
}

ProductionRecord StartRecord(std::string command, std::string programVersion) {
  ProductionRecord record;
  record.id = NewRecordId();
  record.startedAt = UtcNow();
  record.endedAt = record.startedAt;
  record.bench = BenchName();
  record.programVersion = std::move(programVersion);
  record.command = std::move(command);
  return record;
}

void FinishRecord(ProductionRecord& record, RecordResult result) {
  record.result = result;
  record.endedAt = UtcNow();
}

std::optional<int64_t> ProductOf(const ProductionRecord& record) {
  return record.file.productCode ? record.file.productCode : record.device.productCode;
}

std::optional<double> DurationSeconds(const ProductionRecord& record) {
  const auto start = ParseUtcTimestamp(record.startedAt);
  const auto end = ParseUtcTimestamp(record.endedAt);
  if (!start || !end) return std::nullopt;
  return std::chrono::duration<double>(*end - *start).count();
}

}  // namespace bq::records
