#pragma once
// The columns of a record, shared by the bench's own file and the server:
// the same names, in the same order, in both.

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "records/production_record.h"
#include "records/record_query.h"

namespace bq::records::detail {

// A bound value: NULL, an integer or a text.
class SqlValue {
 public:
  SqlValue() = default;
  explicit SqlValue(int64_t value) : kind_(Kind::kInteger), integer_(value) {}
  explicit SqlValue(std::string value) : kind_(Kind::kText), text_(std::move(value)) {}

  const int64_t* AsInteger() const { return kind_ == Kind::kInteger ? &integer_ : nullptr; }
  const std::string* AsText() const { return kind_ == Kind::kText ? &text_ : nullptr; }

 private:
  enum class Kind { kNull, kInteger, kText };
  Kind kind_ = Kind::kNull;
  int64_t integer_ = 0;
  std::string text_;
};

struct Column {
  const char* name;
  bool integer;
};

inline constexpr std::array<Column, 25> kColumns = {{
    {"id", false},
    {"started_at", false},
    {"ended_at", false},
    {"bench", false},
    {"port", false},
    {"port_by_id", false},
    {"device_serial", true},
    {"device_firmware_version", true},
    {"device_firmware_revision", true},
    {"device_product", true},
    {"device_boot_loader", true},
    {"device_hardware", true},
    {"file_path", false},
    {"file_sha256", false},
    {"file_serial", true},
    {"file_version", true},
    {"file_revision", true},
    {"file_product", true},
    {"result", false},
    {"failure_phase", false},
    {"failure_address", true},
    {"failure_message", false},
    {"phases", false},
    {"program_version", false},
    {"command", false},
}};

// "id, started_at, ..." with each name passed through wrap (for casts).
std::string ColumnList(const std::function<std::string(const Column&)>& wrap);

// The record's values in column order.
std::vector<SqlValue> RecordValues(const ProductionRecord& record);
// A record from values in column order; integers may arrive as texts.
ProductionRecord RecordFromValues(const std::vector<SqlValue>& values);

// A WHERE clause (empty, or " WHERE ...") and its values; placeholder(n)
// gives the text of the n-th value (1-based), time(p) wraps a time bound.
struct Where {
  std::string sql;
  std::vector<SqlValue> values;
};
Where BuildWhere(const RecordFilter& filter, const std::function<std::string(int)>& placeholder,
                 const std::function<std::string(const std::string&)>& time);

}  // namespace bq::records::detail
