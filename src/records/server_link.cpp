#include "records/server_link.h"

#include <libpq-fe.h>

#include <algorithm>
#include <memory>

#include "records/local_store.h"
#include "records/record_columns.h"
#include "records/socket_wait.h"

namespace bq::records {

namespace {

using detail::SqlValue;

constexpr auto kPollSlice = std::chrono::milliseconds(50);
// Serialises the schema's creation between benches that connect at once.
constexpr const char* kSchemaLock = "7746190241";
constexpr int kServerSchemaVersion = 1;

// Each step brings the server's schema one version up, in one transaction.
// Later versions only add (columns with defaults, indexes), so a program of an
// older version still writes its records into a newer schema.
const char* const kServerMigrations[] = {
    // 0 -> 1
    "CREATE TABLE production_records ("
    " id uuid PRIMARY KEY,"
    " started_at timestamptz NOT NULL, ended_at timestamptz NOT NULL,"
    " bench text NOT NULL, port text NOT NULL, port_by_id text NOT NULL,"
    " device_serial bigint, device_firmware_version bigint, device_firmware_revision bigint,"
    " device_product bigint, device_boot_loader bigint, device_hardware bigint,"
    " file_path text, file_sha256 text, file_serial bigint, file_version bigint,"
    " file_revision bigint, file_product bigint,"
    " result text NOT NULL, failure_phase text, failure_address bigint, failure_message text,"
    " phases jsonb NOT NULL, program_version text NOT NULL, command text NOT NULL,"
    " received_at timestamptz NOT NULL DEFAULT now());"
    "CREATE INDEX production_records_started ON production_records (started_at);"
    "CREATE INDEX production_records_device_serial"
    " ON production_records (device_serial, started_at);"
    "CREATE INDEX production_records_file_serial ON production_records (file_serial, started_at);"
    "CREATE INDEX production_records_bench ON production_records (bench, started_at);",
};
static_assert(std::size(kServerMigrations) == kServerSchemaVersion);

const char* ServerType(const detail::Column& c) {
  const std::string name = c.name;
  if (name == "id") return "uuid";
  if (name == "started_at" || name == "ended_at") return "timestamptz";
  if (name == "phases") return "jsonb";
  return c.integer ? "bigint" : "text";
}

// How a column is read back: times in the record's own form.
std::string ReadColumn(const detail::Column& c) {
  const std::string name = c.name;
  if (name == "started_at" || name == "ended_at") {
    return "to_char(" + name + " AT TIME ZONE 'UTC', 'YYYY-MM-DD\"T\"HH24:MI:SS.MS\"Z\"')";
  }
  if (name == "id" || name == "phases") return name + "::text";
  return name;
}

// libpq's message on one line: its line breaks and tabs become blanks.
std::string OneLine(const std::string& message) {
  std::string text;
  for (char c : message) {
    const bool blank = c == '\n' || c == '\t' || c == '\r' || c == ' ';
    if (blank && (text.empty() || text.back() == ' ')) continue;
    text += blank ? ' ' : c;
  }
  while (!text.empty() && text.back() == ' ') text.pop_back();
  return text;
}

std::string ErrorText(PGconn* conn) {
  const std::string text = OneLine(conn ? PQerrorMessage(conn) : "out of memory");
  return text.empty() ? "the server did not answer" : text;
}

std::string ResultError(const PGresult* r) {
  return OneLine(PQresultErrorMessage(r));
}

}  // namespace

struct ServerLink::Result {
  std::unique_ptr<PGresult, decltype(&PQclear)> result{nullptr, PQclear};
  PGresult* get() const { return result.get(); }
};

std::string ServerDisplayName(const std::string& conninfo) {
  char* error = nullptr;
  PQconninfoOption* options = PQconninfoParse(conninfo.c_str(), &error);
  if (options == nullptr) {
    PQfreemem(error);
    return "(a records server that cannot be read)";
  }
  std::string host, port, dbname;
  for (PQconninfoOption* o = options; o->keyword != nullptr; ++o) {
    if (o->val == nullptr) continue;
    const std::string key = o->keyword;
    if (key == "host" || (key == "hostaddr" && host.empty())) host = o->val;
    if (key == "port") port = o->val;
    if (key == "dbname") dbname = o->val;
  }
  PQconninfoFree(options);
  std::string name = "postgresql://" + (host.empty() ? std::string("localhost") : host);
  if (!port.empty()) name += ":" + port;
  if (!dbname.empty()) name += "/" + dbname;
  return name;
}

ServerLink::ServerLink(std::string conninfo, const std::atomic<bool>* abort)
    : conninfo_(std::move(conninfo)), abort_(abort) {}

ServerLink::~ServerLink() {
  Close();
}

void ServerLink::Close() {
  if (conn_ != nullptr) PQfinish(conn_);
  conn_ = nullptr;
}

void ServerLink::Fail(const std::string& what) {
  Close();
  throw RecordsError(what);
}

void ServerLink::Wait(bool write, Clock::time_point deadline) {
  for (;;) {
    if (abort_ != nullptr && abort_->load()) Fail("the records server took too long");
    const auto left = deadline - Clock::now();
    if (left <= Clock::duration::zero()) Fail("the records server did not answer in time");
    const auto slice = std::min<Clock::duration>(left, kPollSlice);
    const int socket = PQsocket(conn_);
    if (socket < 0) Fail(ErrorText(conn_));
    const auto ms = std::chrono::ceil<std::chrono::milliseconds>(slice);
    const SocketWait ready = WaitForSocket(socket, write, ms);
    if (ready == SocketWait::Ready) return;
    if (ready == SocketWait::Failed) Fail("cannot wait for the records server");
  }
}

void ServerLink::Open(Clock::time_point deadline) {
  if (conn_ != nullptr) return;
  conn_ = PQconnectStart(conninfo_.c_str());
  if (conn_ == nullptr || PQstatus(conn_) == CONNECTION_BAD) Fail(ErrorText(conn_));
  PostgresPollingStatusType state = PGRES_POLLING_WRITING;
  while (state != PGRES_POLLING_OK) {
    if (state == PGRES_POLLING_FAILED) Fail(ErrorText(conn_));
    Wait(state == PGRES_POLLING_WRITING, deadline);
    state = PQconnectPoll(conn_);
  }
  if (PQsetnonblocking(conn_, 1) != 0) Fail(ErrorText(conn_));
  // The server's notices ("already exists, skipping") are not the program's output.
  PQsetNoticeProcessor(
      conn_, [](void*, const char*) {}, nullptr);

  // The schema: up to date most of the time, so look before taking the lock.
  {
    Result current = Exec("SELECT max(version) FROM production_records_schema", {}, {}, deadline);
    if (PQresultStatus(current.get()) == PGRES_TUPLES_OK && PQntuples(current.get()) == 1 &&
        !PQgetisnull(current.get(), 0, 0) &&
        std::atoi(PQgetvalue(current.get(), 0, 0)) >= kServerSchemaVersion) {
      return;
    }
  }
  auto run = [&](const std::string& sql) {
    Result r = Exec(sql, {}, {}, deadline);
    const auto status = PQresultStatus(r.get());
    if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK) {
      const std::string reason = ResultError(r.get());
      Exec("ROLLBACK", {}, {}, deadline);
      Fail("the records server's schema: " + reason);
    }
    return r;
  };
  run("BEGIN");
  run(std::string("SELECT pg_advisory_xact_lock(") + kSchemaLock + ")");
  run("CREATE TABLE IF NOT EXISTS production_records_schema (version integer NOT NULL)");
  Result found = run("SELECT coalesce(max(version), 0) FROM production_records_schema");
  const int version = std::atoi(PQgetvalue(found.get(), 0, 0));
  for (int v = version; v < kServerSchemaVersion; ++v) run(kServerMigrations[v]);
  if (version < kServerSchemaVersion) {
    run("DELETE FROM production_records_schema");
    run("INSERT INTO production_records_schema (version) VALUES (" +
        std::to_string(kServerSchemaVersion) + ")");
  }
  run("COMMIT");
}

ServerLink::Result ServerLink::Exec(const std::string& sql, const std::vector<std::string>& texts,
                                    const std::vector<bool>& nulls, Clock::time_point deadline) {
  if (conn_ == nullptr) throw RecordsError("not connected to the records server");
  int sent = 0;
  if (texts.empty()) {
    sent = PQsendQuery(conn_, sql.c_str());
  } else {
    std::vector<const char*> values;
    for (size_t i = 0; i < texts.size(); ++i) {
      values.push_back(nulls[i] ? nullptr : texts[i].c_str());
    }
    sent = PQsendQueryParams(conn_, sql.c_str(), static_cast<int>(values.size()), nullptr,
                             values.data(), nullptr, nullptr, 0);
  }
  if (sent != 1) Fail(ErrorText(conn_));
  for (;;) {
    const int flushed = PQflush(conn_);
    if (flushed == 0) break;
    if (flushed < 0) Fail(ErrorText(conn_));
    Wait(true, deadline);
  }
  // Every result of the call; the first error, else the last result, is the answer.
  Result answer;
  for (;;) {
    while (PQisBusy(conn_)) {
      Wait(false, deadline);
      if (PQconsumeInput(conn_) != 1) Fail(ErrorText(conn_));
    }
    PGresult* r = PQgetResult(conn_);
    if (r == nullptr) break;
    const auto status = PQresultStatus(r);
    const bool error = status == PGRES_FATAL_ERROR || status == PGRES_BAD_RESPONSE;
    const bool answerIsError =
        answer.get() != nullptr && PQresultStatus(answer.get()) == PGRES_FATAL_ERROR;
    if (answerIsError && !error) {
      PQclear(r);
    } else {
      answer.result.reset(r);
    }
  }
  if (answer.get() == nullptr) Fail(ErrorText(conn_));
  if (PQstatus(conn_) == CONNECTION_BAD) Fail(ErrorText(conn_));
  return answer;
}

void ServerLink::Insert(const std::vector<ProductionRecord>& records, Clock::time_point deadline) {
  if (records.empty()) return;
  Open(deadline);
  std::string sql =
      "INSERT INTO production_records (" +
      detail::ColumnList([](const detail::Column& c) { return std::string(c.name); }) + ") VALUES ";
  std::vector<std::string> texts;
  std::vector<bool> nulls;
  for (size_t r = 0; r < records.size(); ++r) {
    sql += r == 0 ? "(" : ", (";
    const std::vector<SqlValue> values = detail::RecordValues(records[r]);
    for (size_t c = 0; c < values.size(); ++c) {
      if (const auto* i = values[c].AsInteger()) {
        texts.push_back(std::to_string(*i));
        nulls.push_back(false);
      } else if (const auto* t = values[c].AsText()) {
        texts.push_back(*t);
        nulls.push_back(false);
      } else {
        texts.emplace_back();
        nulls.push_back(true);
      }
      sql += (c == 0 ? "$" : ", $") + std::to_string(texts.size()) +
             "::" + ServerType(detail::kColumns[c]);
    }
    sql += ")";
  }
  sql += " ON CONFLICT (id) DO NOTHING";
  Result r = Exec(sql, texts, nulls, deadline);
  if (PQresultStatus(r.get()) != PGRES_COMMAND_OK) {
    throw RecordsError("the records server refused the records: " + ResultError(r.get()));
  }
}

std::vector<ProductionRecord> ServerLink::Query(const RecordFilter& filter,
                                                Clock::time_point deadline) {
  Open(deadline);
  const detail::Where where = detail::BuildWhere(
      filter, [](int n) { return "$" + std::to_string(n); },
      [](const std::string& p) { return p + "::timestamptz"; });
  std::vector<std::string> texts;
  std::vector<bool> nulls;
  for (const SqlValue& v : where.values) {
    if (const auto* i = v.AsInteger()) {
      texts.push_back(std::to_string(*i));
    } else {
      texts.push_back(*v.AsText());
    }
    nulls.push_back(false);
  }
  std::string sql = "SELECT " + detail::ColumnList(ReadColumn) + " FROM production_records" +
                    where.sql + " ORDER BY started_at DESC, id DESC";
  if (filter.limit > 0) sql += " LIMIT " + std::to_string(filter.limit);
  Result r = Exec(sql, texts, nulls, deadline);
  if (PQresultStatus(r.get()) != PGRES_TUPLES_OK) {
    throw RecordsError("the records server: " + ResultError(r.get()));
  }
  std::vector<ProductionRecord> records;
  const int rows = PQntuples(r.get());
  records.reserve(static_cast<size_t>(rows));
  for (int row = 0; row < rows; ++row) {
    std::vector<SqlValue> values;
    for (int c = 0; c < static_cast<int>(detail::kColumns.size()); ++c) {
      if (PQgetisnull(r.get(), row, c)) {
        values.emplace_back();
      } else {
        values.emplace_back(std::string(PQgetvalue(r.get(), row, c),
                                        static_cast<size_t>(PQgetlength(r.get(), row, c))));
      }
    }
    records.push_back(detail::RecordFromValues(values));
  }
  return records;
}

}  // namespace bq::records
