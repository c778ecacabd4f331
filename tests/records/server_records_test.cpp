// Records sent to a real PostgreSQL server, started here from the Debian
// binaries in a scratch folder and reached through a Unix socket only; and a
// server that never answers, which must cost a command nothing.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <pwd.h>
#include <sqlite3.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <memory>
#include <nlohmann/json.hpp>
#include <set>
#include <thread>

#include "records/record_store.h"
#include "records_fixture.h"

namespace bq::records {
namespace {

using namespace bq::records::testing;
using namespace std::chrono_literals;
using SteadyClock = std::chrono::steady_clock;

const std::string kPgBin = "/usr/lib/postgresql/15/bin";

// The output of a shell command line, or empty when it fails.
std::string Output(const std::string& command) {
  std::string text;
  FILE* p = ::popen(command.c_str(), "r");
  if (p == nullptr) return text;
  char buffer[4096];
  size_t n = 0;
  while ((n = std::fread(buffer, 1, sizeof buffer, p)) > 0) text.append(buffer, n);
  if (::pclose(p) != 0) return "";
  return text;
}

// One PostgreSQL server for the suite. initdb refuses to run as root, so a
// root test runs the server as the postgres user, who owns the scratch folder.
class PgServer {
 public:
  static bool Available() {
    return fs::exists(kPgBin + "/initdb") && fs::exists(kPgBin + "/pg_ctl");
  }

  bool Init() {
    folder_ = ScratchFolder("bq_pg");
    if (folder_.empty()) return false;
    if (::getuid() == 0) {
      const passwd* pw = ::getpwnam("postgres");
      if (pw == nullptr || ::chown(folder_.c_str(), pw->pw_uid, pw->pw_gid) != 0) return false;
      asUser_ = "runuser -u postgres -- ";
    }
    return Run(kPgBin + "/initdb -D " + folder_ + "/data -A trust -U postgres -E UTF8 " +
               "--no-sync --no-instructions > " + folder_ + "/initdb.log 2>&1") &&
           Start();
  }
  bool Start() {
    return Run(kPgBin + "/pg_ctl -D " + folder_ + "/data -l " + folder_ + "/server.log -w " +
               "-o \"-c listen_addresses='' -k " + folder_ + " -c fsync=off\" start > /dev/null");
  }
  bool Stop() {
    return Run(kPgBin + "/pg_ctl -D " + folder_ + "/data -m fast -w stop > /dev/null");
  }
  void Remove() {
    Stop();
    fs::remove_all(folder_);
  }

  std::string Conninfo(const std::string& db) const {
    return "host=" + folder_ + " dbname=" + db + " user=postgres";
  }
  // A database of its own for a test.
  std::string NewDatabase() {
    const std::string name = "records_" + std::to_string(++databases_);
    return Sql("postgres", "CREATE DATABASE " + name) ? name : "";
  }
  bool Sql(const std::string& db, const std::string& sql) {
    return Run("psql -q -h " + folder_ + " -U postgres -d " + db + " -c \"" + sql +
               "\" > /dev/null");
  }
  // One value from a query, or -1.
  long Number(const std::string& db, const std::string& sql) {
    const std::string text =
        Output("psql -tA -h " + folder_ + " -U postgres -d " + db + " -c \"" + sql + "\"");
    return text.empty() ? -1 : std::stol(text);
  }

 private:
  bool Run(const std::string& command) { return std::system((asUser_ + command).c_str()) == 0; }

  std::string folder_;
  std::string asUser_;
  int databases_ = 0;
};

class ServerRecords : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (!PgServer::Available()) return;
    server_ = new PgServer;
    if (!server_->Init()) {
      delete server_;
      server_ = nullptr;
    }
  }
  static void TearDownTestSuite() {
    if (server_ != nullptr) server_->Remove();
    delete server_;
    server_ = nullptr;
  }

  void SetUp() override {
    if (!PgServer::Available()) {
      GTEST_SKIP() << "the PostgreSQL server binaries are not in " << kPgBin
                   << " (Debian package postgresql)";
    }
    ASSERT_NE(server_, nullptr) << "the PostgreSQL server did not start";
    db_ = server_->NewDatabase();
    ASSERT_FALSE(db_.empty());
    home_ = ScratchFolder("bq_bench");
    ASSERT_FALSE(home_.empty());
  }
  void TearDown() override {
    if (!home_.empty()) fs::remove_all(home_);
  }

  RecordsConfig Config(const std::string& home) const {
    RecordsConfig config = LocalConfig(home + "/Quarn/BootQuarn");
    config.server = server_->Conninfo(db_);
    config.retryInterval = 100ms;
    return config;
  }
  long OnServer() { return server_->Number(db_, "SELECT count(*) FROM production_records"); }
  long DistinctOnServer() {
    return server_->Number(db_, "SELECT count(DISTINCT id) FROM production_records");
  }
  // Waits for the server to hold n records.
  bool ArriveOnServer(long n) {
    const auto deadline = SteadyClock::now() + 20s;
    while (SteadyClock::now() < deadline) {
      if (OnServer() == n) return true;
      std::this_thread::sleep_for(20ms);
    }
    return false;
  }

  static PgServer* server_;
  std::string db_;
  std::string home_;
};

PgServer* ServerRecords::server_ = nullptr;

TEST_F(ServerRecords, RecordsArriveAsTheyWereKept) {
  std::vector<ProductionRecord> kept = {FullRecord(1), FullRecord(2), BareRecord()};
  kept[1].bench = "O'Brien's bench";
  kept[1].file.path = "/srv/x'); DROP TABLE production_records; --.kfx";
  kept[2].startedAt = kept[2].endedAt = "2026-12-11T00:00:00.001Z";
  RecordStore store(Config(home_));
  for (ProductionRecord& r : kept) ASSERT_EQ(store.Add(r), "");
  ASSERT_TRUE(ArriveOnServer(3));  // sent in the background, nothing asked
  EXPECT_EQ(store.Sync(5s).waiting, 0);

  const QueryReport report = store.Query({});
  EXPECT_EQ(report.warning, "");
  EXPECT_TRUE(report.fleet);
  ASSERT_EQ(report.records.size(), 3u);
  EXPECT_EQ(report.records[0], kept[2]);
  for (const ProductionRecord& r : report.records) {
    EXPECT_EQ(r, r.id == kept[0].id ? kept[0] : r.id == kept[1].id ? kept[1] : kept[2]);
  }
  RecordFilter bench;
  bench.bench = "O'Brien's bench";
  EXPECT_EQ(store.Query(bench).records.size(), 1u);
}

TEST_F(ServerRecords, AServerStoppedMidRunLosesNothingAndGetsNothingTwice) {
  {
    RecordStore store(Config(home_));
    for (int i = 0; i < 3; ++i) {
      ProductionRecord r = FullRecord(i);
      ASSERT_EQ(store.Add(r), "");
    }
    ASSERT_TRUE(ArriveOnServer(3));
    ASSERT_TRUE(server_->Stop());
    for (int i = 3; i < 7; ++i) {
      ProductionRecord r = FullRecord(i);
      const auto start = SteadyClock::now();
      EXPECT_EQ(store.Add(r), "");
      EXPECT_LT(SteadyClock::now() - start, 1s) << "a write waited on the server";
    }
    const SyncReport down = store.Sync(2s);
    EXPECT_NE(down.warning, "");
    EXPECT_EQ(down.waiting, 4);
  }
  ASSERT_TRUE(server_->Start());
  RecordStore later(Config(home_));
  const SyncReport up = later.Sync(10s);
  EXPECT_EQ(up.warning, "");
  EXPECT_EQ(up.sent, 4);
  EXPECT_EQ(up.waiting, 0);
  EXPECT_EQ(OnServer(), 7);

  // A bench that stopped after the server took its records but before it
  // marked them sends them again; the server keeps one of each.
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open((home_ + "/Quarn/BootQuarn/Registros.sqlite").c_str(), &db), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(db, "UPDATE production_records SET sent = 0", nullptr, nullptr, nullptr),
            SQLITE_OK);
  sqlite3_close(db);
  const SyncReport again = later.Sync(10s);
  EXPECT_EQ(again.warning, "");
  EXPECT_EQ(again.waiting, 0);
  EXPECT_EQ(OnServer(), 7);
  EXPECT_EQ(DistinctOnServer(), 7);
}

TEST_F(ServerRecords, HistoryShowsEveryBenchsRecords) {
  const std::string other = ScratchFolder("bq_bench_b");
  {
    RecordStore a(Config(home_));
    RecordStore b(Config(other));
    ProductionRecord ra = FullRecord(1, "bench-a");
    ProductionRecord rb = FullRecord(2, "bench-b");
    rb.startedAt = "2026-12-10T17:00:00.000Z";
    rb.endedAt = "2026-12-10T17:00:30.000Z";
    ASSERT_EQ(a.Add(ra), "");
    ASSERT_EQ(b.Add(rb), "");
  }
  // Whatever the closes did not send, bench b's own sync does.
  const std::vector<std::string> env = {"BOOTQUARN_RECORDS=" + server_->Conninfo(db_)};
  const ProgramRun sync = RunCli({"records", "sync", "--json"}, other, env);
  ASSERT_EQ(sync.status, 0) << sync.err;
  EXPECT_EQ(nlohmann::json::parse(sync.out)["waiting"], 0);

  const ProgramRun all = RunCli({"history", "--json"}, home_, env);
  ASSERT_EQ(all.status, 0) << all.err;
  const auto report = nlohmann::json::parse(all.out);
  EXPECT_EQ(report["fleet"], true);
  EXPECT_EQ(report["warnings"].size(), 0u);
  ASSERT_EQ(report["records"].size(), 2u);
  EXPECT_EQ(report["records"][0]["bench"], "bench-b");
  EXPECT_EQ(report["records"][1]["bench"], "bench-a");

  const ProgramRun one = RunCli({"history", "--bench", "bench-b", "--csv"}, home_, env);
  ASSERT_EQ(one.status, 0) << one.err;
  EXPECT_EQ(std::count(one.out.begin(), one.out.end(), '\n'), 2) << one.out;

  const ProgramRun summary =
      RunCli({"history", "--summary", "--since", "2026-12-10", "--json"}, home_, env);
  ASSERT_EQ(summary.status, 0) << summary.err;
  const auto counted = nlohmann::json::parse(summary.out)["summary"];
  ASSERT_EQ(counted.size(), 1u);
  EXPECT_EQ(counted[0]["total"], 2);
  EXPECT_EQ(counted[0]["byResult"]["ok"], 2);
  fs::remove_all(other);
}

// A TCP port that takes connections and never says a word.
class SilentServer {
 public:
  SilentServer() {
    fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    if (::bind(fd_, reinterpret_cast<sockaddr*>(&address), size) == 0 && ::listen(fd_, 16) == 0 &&
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &size) == 0) {
      port_ = ntohs(address.sin_port);
    }
  }
  ~SilentServer() { ::close(fd_); }
  int Port() const { return port_; }

 private:
  int fd_ = -1;
  int port_ = 0;
};

TEST(UnansweringServer, NeverHoldsACommandUp) {
  SilentServer silent;
  ASSERT_NE(silent.Port(), 0);
  const std::string home = ScratchFolder("bq_silent");
  RecordsConfig config = LocalConfig(home);
  config.server = "postgresql://bench@127.0.0.1:" + std::to_string(silent.Port()) + "/records";
  config.sendTimeout = 300ms;
  config.closeBudget = 300ms;
  config.queryTimeout = 300ms;
  {
    auto owned = std::make_unique<RecordStore>(config);
    RecordStore& store = *owned;
    ProductionRecord r = FullRecord(1);
    auto start = SteadyClock::now();
    EXPECT_EQ(store.Add(r), "");
    EXPECT_LT(SteadyClock::now() - start, 250ms);

    start = SteadyClock::now();
    const SyncReport sync = store.Sync(300ms);
    EXPECT_LT(SteadyClock::now() - start, 2s);
    EXPECT_NE(sync.warning.find("did not answer in time"), std::string::npos) << sync.warning;
    EXPECT_EQ(sync.waiting, 1);

    const QueryReport read = store.Query({});
    EXPECT_FALSE(read.fleet);
    EXPECT_NE(read.warning.find("this bench's records only"), std::string::npos);
    EXPECT_EQ(read.records.size(), 1u);

    ProductionRecord another = FullRecord(2);
    EXPECT_EQ(store.Add(another), "");
    start = SteadyClock::now();
    owned.reset();  // the close's last send gives up by its budget
    EXPECT_LT(SteadyClock::now() - start, 1s);
  }
  RecordStore store(LocalConfig(home));
  EXPECT_EQ(store.Sync(1s).waiting, 2);  // still queued for a later send
  fs::remove_all(home);
}

TEST(UnansweringServer, SyncSaysWhenNothingCanBeSent) {
  struct Case {
    const char* name;
    std::vector<std::string> env;
    const char* said;
  };
  const Case cases[] = {
      {"no server named", {}, "No records server is named"},
      {"a server that is not there, nothing queued",
       {"BOOTQUARN_RECORDS=host=/nonexistent/socket dbname=records password=s3cret"},
       "postgresql:///nonexistent/socket/records did not take the records"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string home = ScratchFolder("bq_sync");
    const ProgramRun run = RunCli({"records", "sync", "--json"}, home, c.env);
    EXPECT_EQ(run.status, 1);
    const auto report = nlohmann::json::parse(run.out);
    ASSERT_EQ(report["warnings"].size(), 1u);
    const std::string warning = report["warnings"][0];
    EXPECT_NE(warning.find(c.said), std::string::npos) << warning;
    EXPECT_EQ(warning.find("s3cret"), std::string::npos) << "the password is shown";
    EXPECT_EQ(report["waiting"], 0);
    fs::remove_all(home);
  }
}

}  // namespace
}  // namespace bq::records
