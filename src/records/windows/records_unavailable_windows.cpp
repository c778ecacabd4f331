// The Windows build has neither SQLite nor the PostgreSQL client for the
// target: the bench's records file and the records server are not built in.
// Every use says so, and the store hands that on as its warning, so a command
// runs as before and the operator is told that no record was kept.
#include "records/local_store.h"
#include "records/server_link.h"

namespace bq::records {

namespace {

constexpr const char* kNoLocalStore =
    "production records are not kept: this Windows build has no SQLite";
constexpr const char* kNoServer =
    "the records server cannot be reached: this Windows build has no PostgreSQL client";

}  // namespace

LocalStore::LocalStore(const std::string& path) : path_(path) {
  throw RecordsError(kNoLocalStore);
}
LocalStore::~LocalStore() = default;
void LocalStore::Insert(const ProductionRecord&) {
  throw RecordsError(kNoLocalStore);
}
void LocalStore::InsertAll(const std::vector<ProductionRecord>&) {
  throw RecordsError(kNoLocalStore);
}
std::vector<ProductionRecord> LocalStore::Unsent(size_t) {
  throw RecordsError(kNoLocalStore);
}
void LocalStore::MarkSent(const std::vector<std::string>&) {
  throw RecordsError(kNoLocalStore);
}
int64_t LocalStore::CountUnsent() {
  throw RecordsError(kNoLocalStore);
}
std::vector<ProductionRecord> LocalStore::Query(const RecordFilter&) {
  throw RecordsError(kNoLocalStore);
}
int LocalStore::SchemaVersion() {
  throw RecordsError(kNoLocalStore);
}

std::string ServerDisplayName(const std::string& conninfo) {
  // Without the client the text is not parsed; the password must not show.
  return conninfo.rfind("postgres", 0) == 0 ? "(a PostgreSQL server)" : "(a records server)";
}

ServerLink::ServerLink(std::string conninfo, const std::atomic<bool>* abort)
    : conninfo_(std::move(conninfo)), abort_(abort) {}
ServerLink::~ServerLink() = default;
void ServerLink::Open(Clock::time_point) {
  throw RecordsError(kNoServer);
}
void ServerLink::Insert(const std::vector<ProductionRecord>&, Clock::time_point) {
  throw RecordsError(kNoServer);
}
std::vector<ProductionRecord> ServerLink::Query(const RecordFilter&, Clock::time_point) {
  throw RecordsError(kNoServer);
}
void ServerLink::Close() {}

}  // namespace bq::records
