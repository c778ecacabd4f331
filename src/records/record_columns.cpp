#include "records/record_columns.h"

#include <stdexcept>

#include "records/record_json.h"

namespace bq::records::detail {

namespace {

SqlValue Int(const std::optional<int64_t>& v) {
  return v ? SqlValue(*v) : SqlValue();
}
SqlValue Text(const std::optional<std::string>& v) {
  return v ? SqlValue(ValidUtf8(*v)) : SqlValue();
}
SqlValue Text(const std::string& v) {
  return SqlValue(ValidUtf8(v));
}

std::optional<int64_t> IntOf(const SqlValue& v) {
  if (const auto* i = v.AsInteger()) return *i;
  if (const auto* s = v.AsText()) {
    try {
      return std::stoll(*s);
    } catch (const std::exception&) {
      return std::nullopt;
    }
  }
  return std::nullopt;
}
std::optional<std::string> TextOf(const SqlValue& v) {
  if (const auto* s = v.AsText()) return *s;
  if (const auto* i = v.AsInteger()) return std::to_string(*i);
  return std::nullopt;
}
std::string PlainText(const SqlValue& v) {
  return TextOf(v).value_or("");
}

}  // namespace

std::string ColumnList(const std::function<std::string(const Column&)>& wrap) {
  std::string list;
  for (const Column& c : kColumns) {
    if (!list.empty()) list += ", ";
    list += wrap(c);
  }
  return list;
}

std::vector<SqlValue> RecordValues(const ProductionRecord& r) {
  return {Text(r.id),
          Text(r.startedAt),
          Text(r.endedAt),
          Text(r.bench),
          Text(r.port),
          Text(r.portById),
          Int(r.device.serialNumber),
          Int(r.device.firmwareVersion),
          Int(r.device.firmwareRevision),
          Int(r.device.productCode),
          Int(r.device.bootLoaderVersion),
          Int(r.device.hardwareVersion),
          Text(r.file.path),
          Text(r.file.sha256),
          Int(r.file.serialNumber),
          Int(r.file.version),
          Int(r.file.revision),
          Int(r.file.productCode),
          SqlValue(std::string(ResultText(r.result))),
          Text(r.failure.phase),
          Int(r.failure.address),
          Text(r.failure.message),
          SqlValue(PhasesToJson(r.phases)),
          Text(r.programVersion),
          Text(r.command)};
}

ProductionRecord RecordFromValues(const std::vector<SqlValue>& v) {
  if (v.size() != kColumns.size()) throw std::logic_error("a record row of the wrong width");
  ProductionRecord r;
  r.id = PlainText(v[0]);
  r.startedAt = PlainText(v[1]);
  r.endedAt = PlainText(v[2]);
  r.bench = PlainText(v[3]);
  r.port = PlainText(v[4]);
  r.portById = PlainText(v[5]);
  r.device.serialNumber = IntOf(v[6]);
  r.device.firmwareVersion = IntOf(v[7]);
  r.device.firmwareRevision = IntOf(v[8]);
  r.device.productCode = IntOf(v[9]);
  r.device.bootLoaderVersion = IntOf(v[10]);
  r.device.hardwareVersion = IntOf(v[11]);
  r.file.path = TextOf(v[12]);
  r.file.sha256 = TextOf(v[13]);
  r.file.serialNumber = IntOf(v[14]);
  r.file.version = IntOf(v[15]);
  r.file.revision = IntOf(v[16]);
  r.file.productCode = IntOf(v[17]);
  r.result = ParseResult(PlainText(v[18])).value_or(RecordResult::kFailed);
  r.failure.phase = TextOf(v[19]);
  r.failure.address = IntOf(v[20]);
  r.failure.message = TextOf(v[21]);
  r.phases = PhasesFromJson(PlainText(v[22]));
  r.programVersion = PlainText(v[23]);
  r.command = PlainText(v[24]);
  return r;
}

Where BuildWhere(const RecordFilter& f, const std::function<std::string(int)>& placeholder,
                 const std::function<std::string(const std::string&)>& time) {
  Where where;
  std::vector<std::string> terms;
  auto bind = [&](const auto& value) {
    where.values.emplace_back(value);
    return placeholder(static_cast<int>(where.values.size()));
  };
  if (f.serialNumber) {
    const std::string a = bind(*f.serialNumber);
    const std::string b = bind(*f.serialNumber);
    terms.push_back("(device_serial = " + a + " OR file_serial = " + b + ")");
  }
  if (f.since) terms.push_back("started_at >= " + time(bind(*f.since)));
  if (f.until) terms.push_back("started_at < " + time(bind(*f.until)));
  if (f.result) terms.push_back("result = " + bind(*f.result));
  if (f.productCode) {
    const std::string a = bind(*f.productCode);
    const std::string b = bind(*f.productCode);
    terms.push_back("(file_product = " + a + " OR (file_product IS NULL AND device_product = " + b +
                    "))");
  }
  if (f.bench) terms.push_back("bench = " + bind(*f.bench));
  for (size_t i = 0; i < terms.size(); ++i) where.sql += (i == 0 ? " WHERE " : " AND ") + terms[i];
  return where;
}

}  // namespace bq::records::detail
