#pragma once
// The bench's own records: an SQLite file in the data folder, shared by every
// station (thread) and program of the computer. Each record carries a mark of
// whether the records server has it yet; the unmarked ones are the queue.

#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "records/production_record.h"
#include "records/record_query.h"

struct sqlite3;

namespace bq::records {

// A failure of a records store, with the reason.
class RecordsError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class LocalStore {
 public:
  // The schema version this program writes.
  static constexpr int kSchemaVersion = 1;

  // Opens the file, creating it and bringing an older schema up to date.
  // Throws RecordsError, also for a file of a newer schema than this one.
  explicit LocalStore(const std::string& path);
  ~LocalStore();
  LocalStore(const LocalStore&) = delete;
  LocalStore& operator=(const LocalStore&) = delete;

  // Keeps the record, not yet sent. A record whose id is already kept is
  // left as it is.
  void Insert(const ProductionRecord& record);
  // Several at once, in one transaction.
  void InsertAll(const std::vector<ProductionRecord>& records);

  // The oldest records not yet sent, at most limit of them.
  std::vector<ProductionRecord> Unsent(size_t limit);
  void MarkSent(const std::vector<std::string>& ids);
  int64_t CountUnsent();

  std::vector<ProductionRecord> Query(const RecordFilter& filter);
  int SchemaVersion();

 private:
  void Exec(const char* sql);
  void Migrate();

  sqlite3* db_ = nullptr;
  std::string path_;
};

}  // namespace bq::records
