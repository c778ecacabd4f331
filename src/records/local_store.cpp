#include "records/local_store.h"

#include <sqlite3.h>

#include <memory>

#include "records/record_columns.h"

namespace bq::records {

namespace {

using detail::SqlValue;

constexpr int kBusyTimeoutMs = 5000;
constexpr const char* kTable = "production_records";

// Version 0 is a file without records; each step brings the schema one
// version up and runs inside the migration's transaction.
const char* const kMigrations[] = {
    // 0 -> 1
    "CREATE TABLE production_records ("
    " id TEXT PRIMARY KEY NOT NULL,"
    " started_at TEXT NOT NULL, ended_at TEXT NOT NULL,"
    " bench TEXT NOT NULL, port TEXT NOT NULL, port_by_id TEXT NOT NULL,"
    " device_serial INTEGER, device_firmware_version INTEGER,"
    " device_firmware_revision INTEGER, device_product INTEGER,"
    " device_boot_loader INTEGER, device_hardware INTEGER,"
    " file_path TEXT, file_sha256 TEXT, file_serial INTEGER, file_version INTEGER,"
    " file_revision INTEGER, file_product INTEGER,"
    " result TEXT NOT NULL, failure_phase TEXT, failure_address INTEGER, failure_message TEXT,"
    " phases TEXT NOT NULL, program_version TEXT NOT NULL, command TEXT NOT NULL,"
    " sent INTEGER NOT NULL DEFAULT 0);"
    "CREATE INDEX production_records_started ON production_records(started_at);"
    "CREATE INDEX production_records_device_serial"
    " ON production_records(device_serial, started_at);"
    "CREATE INDEX production_records_file_serial ON production_records(file_serial, started_at);"
    "CREATE INDEX production_records_unsent ON production_records(started_at) WHERE sent = 0;",
};
static_assert(std::size(kMigrations) == LocalStore::kSchemaVersion);

struct StatementDeleter {
  void operator()(sqlite3_stmt* s) const { sqlite3_finalize(s); }
};
using Statement = std::unique_ptr<sqlite3_stmt, StatementDeleter>;

std::string Reason(sqlite3* db) {
  return sqlite3_errmsg(db);
}

Statement Prepare(sqlite3* db, const std::string& sql) {
  sqlite3_stmt* s = nullptr;
  if (sqlite3_prepare_v2(db, sql.c_str(), -1, &s, nullptr) != SQLITE_OK) {
    throw RecordsError(Reason(db));
  }
  return Statement(s);
}

void Bind(sqlite3* db, sqlite3_stmt* s, int index, const SqlValue& value) {
  int rc = SQLITE_OK;
  if (const auto* i = value.AsInteger()) {
    rc = sqlite3_bind_int64(s, index, *i);
  } else if (const auto* t = value.AsText()) {
    rc = sqlite3_bind_text(s, index, t->data(), static_cast<int>(t->size()), SQLITE_TRANSIENT);
  } else {
    rc = sqlite3_bind_null(s, index);
  }
  if (rc != SQLITE_OK) throw RecordsError(Reason(db));
}

void BindAll(sqlite3* db, sqlite3_stmt* s, const std::vector<SqlValue>& values) {
  for (size_t i = 0; i < values.size(); ++i) Bind(db, s, static_cast<int>(i + 1), values[i]);
}

void StepDone(sqlite3* db, sqlite3_stmt* s) {
  const int rc = sqlite3_step(s);
  if (rc != SQLITE_DONE && rc != SQLITE_ROW) throw RecordsError(Reason(db));
}

SqlValue ColumnValue(sqlite3_stmt* s, int i) {
  switch (sqlite3_column_type(s, i)) {
    case SQLITE_NULL:
      return SqlValue();
    case SQLITE_INTEGER:
      return SqlValue(static_cast<int64_t>(sqlite3_column_int64(s, i)));
    default: {
      const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(s, i));
      return SqlValue(
          std::string(text ? text : "", static_cast<size_t>(sqlite3_column_bytes(s, i))));
    }
  }
}

std::vector<ProductionRecord> ReadRecords(sqlite3* db, sqlite3_stmt* s) {
  std::vector<ProductionRecord> records;
  for (;;) {
    const int rc = sqlite3_step(s);
    if (rc == SQLITE_DONE) break;
    if (rc != SQLITE_ROW) throw RecordsError(Reason(db));
    std::vector<SqlValue> row;
    for (int i = 0; i < static_cast<int>(detail::kColumns.size()); ++i) {
      row.push_back(ColumnValue(s, i));
    }
    records.push_back(detail::RecordFromValues(row));
  }
  return records;
}

std::string SelectColumns() {
  return detail::ColumnList([](const detail::Column& c) { return std::string(c.name); });
}

// Rolls back a transaction the scope did not commit.
class Transaction {
 public:
  Transaction(sqlite3* db, const char* begin) : db_(db) {
    if (sqlite3_exec(db_, begin, nullptr, nullptr, nullptr) != SQLITE_OK) {
      throw RecordsError(Reason(db_));
    }
  }
  ~Transaction() {
    if (!done_) sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
  }
  void Commit() {
    if (sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK) {
      throw RecordsError(Reason(db_));
    }
    done_ = true;
  }

 private:
  sqlite3* db_;
  bool done_ = false;
};

}  // namespace

LocalStore::LocalStore(const std::string& path) : path_(path) {
  const int rc =
      sqlite3_open_v2(path.c_str(), &db_,
                      SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX, nullptr);
  if (rc != SQLITE_OK) {
    const std::string reason = db_ ? Reason(db_) : sqlite3_errstr(rc);
    sqlite3_close(db_);
    db_ = nullptr;
    throw RecordsError(reason);
  }
  try {
    // Other stations and programs of this computer write the same file:
    // wait for them instead of failing, and let readers go on while one writes.
    sqlite3_busy_timeout(db_, kBusyTimeoutMs);
    Exec("PRAGMA journal_mode=WAL");
    // A record is on the disk once kept, even if the computer loses power.
    Exec("PRAGMA synchronous=FULL");
    Migrate();
  } catch (...) {
    sqlite3_close(db_);
    db_ = nullptr;
    throw;
  }
}

LocalStore::~LocalStore() {
  sqlite3_close(db_);
}

void LocalStore::Exec(const char* sql) {
  char* message = nullptr;
  if (sqlite3_exec(db_, sql, nullptr, nullptr, &message) != SQLITE_OK) {
    const std::string reason = message ? message : Reason(db_);
    sqlite3_free(message);
    throw RecordsError(reason);
  }
}

int LocalStore::SchemaVersion() {
  Statement s = Prepare(db_, "PRAGMA user_version");
  if (sqlite3_step(s.get()) != SQLITE_ROW) throw RecordsError(Reason(db_));
  return sqlite3_column_int(s.get(), 0);
}

void LocalStore::Migrate() {
  if (SchemaVersion() == kSchemaVersion) return;
  // One opener migrates; the others wait for its write lock and then find
  // the file up to date.
  Transaction t(db_, "BEGIN IMMEDIATE");
  const int version = SchemaVersion();
  if (version > kSchemaVersion) {
    throw RecordsError("the records file " + path_ + " is of a newer program (schema version " +
                       std::to_string(version) + ")");
  }
  if (version < 0) throw RecordsError("the records file " + path_ + " has no valid schema");
  for (int v = version; v < kSchemaVersion; ++v) Exec(kMigrations[v]);
  Exec(("PRAGMA user_version = " + std::to_string(kSchemaVersion)).c_str());
  t.Commit();
}

void LocalStore::Insert(const ProductionRecord& record) {
  InsertAll({record});
}

void LocalStore::InsertAll(const std::vector<ProductionRecord>& records) {
  std::string placeholders;
  for (size_t i = 0; i < detail::kColumns.size(); ++i) placeholders += i == 0 ? "?" : ", ?";
  Transaction t(db_, "BEGIN IMMEDIATE");
  Statement s = Prepare(db_, std::string("INSERT INTO ") + kTable + " (" + SelectColumns() +
                                 ") VALUES (" + placeholders + ") ON CONFLICT (id) DO NOTHING");
  for (const ProductionRecord& r : records) {
    sqlite3_reset(s.get());
    BindAll(db_, s.get(), detail::RecordValues(r));
    StepDone(db_, s.get());
  }
  t.Commit();
}

std::vector<ProductionRecord> LocalStore::Unsent(size_t limit) {
  Statement s = Prepare(db_, "SELECT " + SelectColumns() + " FROM " + kTable +
                                 " WHERE sent = 0 ORDER BY started_at, id LIMIT ?");
  Bind(db_, s.get(), 1, SqlValue(static_cast<int64_t>(limit)));
  return ReadRecords(db_, s.get());
}

void LocalStore::MarkSent(const std::vector<std::string>& ids) {
  Transaction t(db_, "BEGIN IMMEDIATE");
  Statement s = Prepare(db_, std::string("UPDATE ") + kTable + " SET sent = 1 WHERE id = ?");
  for (const std::string& id : ids) {
    sqlite3_reset(s.get());
    Bind(db_, s.get(), 1, SqlValue(id));
    StepDone(db_, s.get());
  }
  t.Commit();
}

int64_t LocalStore::CountUnsent() {
  Statement s = Prepare(db_, std::string("SELECT count(*) FROM ") + kTable + " WHERE sent = 0");
  if (sqlite3_step(s.get()) != SQLITE_ROW) throw RecordsError(Reason(db_));
  return sqlite3_column_int64(s.get(), 0);
}

std::vector<ProductionRecord> LocalStore::Query(const RecordFilter& filter) {
  const detail::Where where = detail::BuildWhere(
      filter, [](int n) { return "?" + std::to_string(n); },
      [](const std::string& p) { return p; });
  std::string sql = "SELECT " + SelectColumns() + " FROM " + kTable + where.sql +
                    " ORDER BY started_at DESC, id DESC";
  std::vector<SqlValue> values = where.values;
  if (filter.limit > 0) {
    values.push_back(SqlValue(static_cast<int64_t>(filter.limit)));
    sql += " LIMIT ?" + std::to_string(values.size());
  }
  Statement s = Prepare(db_, sql);
  BindAll(db_, s.get(), values);
  return ReadRecords(db_, s.get());
}

}  // namespace bq::records
