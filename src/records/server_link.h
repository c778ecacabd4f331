#pragma once
// The records server: a PostgreSQL database every bench writes to. Every call
// ends by its deadline, whatever the server and the network do, so a server
// that is down or slow costs a caller no more than the time it allows.

#include <atomic>
#include <chrono>
#include <string>
#include <vector>

#include "records/production_record.h"
#include "records/record_query.h"

struct pg_conn;

namespace bq::records {

// The server's name for people: host (or socket folder), port and database,
// never the password.
std::string ServerDisplayName(const std::string& conninfo);

class ServerLink {
 public:
  using Clock = std::chrono::steady_clock;

  // conninfo: a postgresql:// URI or a "host=... dbname=..." text. An abort
  // flag, when given, ends a pending call early (as a missed deadline).
  explicit ServerLink(std::string conninfo, const std::atomic<bool>* abort = nullptr);
  ~ServerLink();
  ServerLink(const ServerLink&) = delete;
  ServerLink& operator=(const ServerLink&) = delete;

  // Connects (when not connected) and brings the server's schema up to date.
  // These throw RecordsError with the reason, and drop the connection.
  void Open(Clock::time_point deadline);
  // Sends the records; ones the server already has are left as they are.
  void Insert(const std::vector<ProductionRecord>& records, Clock::time_point deadline);
  std::vector<ProductionRecord> Query(const RecordFilter& filter, Clock::time_point deadline);

  bool Connected() const { return conn_ != nullptr; }
  void Close();

 private:
  struct Result;
  Result Exec(const std::string& sql, const std::vector<std::string>& texts,
              const std::vector<bool>& nulls, Clock::time_point deadline);
  void Wait(bool write, Clock::time_point deadline);
  [[noreturn]] void Fail(const std::string& what);

  std::string conninfo_;
  const std::atomic<bool>* abort_;
  pg_conn* conn_ = nullptr;
};

}  // namespace bq::records
