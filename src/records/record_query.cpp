#include "records/record_query.h"

#include <algorithm>
#include <chrono>

namespace bq::records {

namespace {

bool AllDigits(std::string_view text) {
  return !text.empty() &&
         std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

}  // namespace

std::optional<std::string> DateBound(std::string_view text, bool upper) {
  using namespace std::chrono;
  // YYYY-MM-DD
  if (text.size() < 10 || text[4] != '-' || text[7] != '-' || !AllDigits(text.substr(0, 4)) ||
      !AllDigits(text.substr(5, 2)) || !AllDigits(text.substr(8, 2))) {
    return std::nullopt;
  }
  std::string date(text.substr(0, 10));
  std::string_view rest = text.substr(10);
  if (rest.empty()) {
    const auto start = ParseUtcTimestamp(date + "T00:00:00.000Z");
    if (!start) return std::nullopt;
    return UtcTimestamp(upper ? *start + days(1) : *start);
  }
  if (rest[0] != 'T' && rest[0] != 't' && rest[0] != ' ') return std::nullopt;
  std::string time(rest.substr(1));
  if (!time.empty() && (time.back() == 'Z' || time.back() == 'z')) time.pop_back();
  if (time.size() == 5) time += ":00";  // HH:MM
  const auto when = ParseUtcTimestamp(date + "T" + time + "Z");
  if (!when) return std::nullopt;
  return UtcTimestamp(*when);
}

bool WritesFirmware(const std::string& command) {
  return command == "write" || command == "loop" || command == "bench-station" ||
         command == "upgrade-zircon";
}

std::vector<ProductSummary> Summarise(const std::vector<ProductionRecord>& records) {
  // Unknown products sort last.
  auto key = [](const std::optional<int64_t>& p) {
    return p ? std::make_pair(0, *p) : std::make_pair(1, int64_t{0});
  };
  std::map<std::pair<int, int64_t>, ProductSummary> byProduct;
  std::map<std::pair<int, int64_t>, std::vector<double>> writeTimes;
  for (const ProductionRecord& r : records) {
    const auto product = ProductOf(r);
    ProductSummary& s = byProduct[key(product)];
    s.productCode = product;
    ++s.byResult[ResultText(r.result)];
    ++s.total;
    if (r.result == RecordResult::kOk && WritesFirmware(r.command)) {
      if (const auto seconds = DurationSeconds(r)) writeTimes[key(product)].push_back(*seconds);
    }
  }
  std::vector<ProductSummary> summary;
  for (auto& [k, s] : byProduct) {
    auto& times = writeTimes[k];
    s.writes = static_cast<int64_t>(times.size());
    if (!times.empty()) {
      std::sort(times.begin(), times.end());
      const size_t mid = times.size() / 2;
      s.medianWriteSeconds =
          times.size() % 2 == 1 ? times[mid] : (times[mid - 1] + times[mid]) / 2.0;
    }
    summary.push_back(std::move(s));
  }
  return summary;
}

}  // namespace bq::records
