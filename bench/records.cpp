// What a production record costs: the time one Add adds to a command with the
// bench's SQLite file alone and with a PostgreSQL server named, the server's
// own pace of taking queued records, and a device's history (`history
// --serial N`) over 1,000,000 records in each store. Prints figures only.
//
// The PostgreSQL half starts a scratch server from /usr/lib/postgresql/15/bin
// (as the postgres user when run as root) and is left out without it. An
// argument sets another table size: bench_records 20000.

#include <pwd.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "records/local_store.h"
#include "records/production_record.h"
#include "records/record_store.h"

namespace {

namespace fs = std::filesystem;
using namespace bq::records;
using Clock = std::chrono::steady_clock;

constexpr int kAdds = 500;
int kBigTable = 1'000'000;  // argv[1] sets another size
constexpr int kQueries = 20;
const std::string kPgBin = "/usr/lib/postgresql/15/bin";

double Ms(Clock::duration d) {
  return std::chrono::duration<double, std::milli>(d).count();
}

std::string Scratch(const char* prefix) {
  std::string pattern = std::string("/tmp/") + prefix + "_XXXXXX";
  return ::mkdtemp(pattern.data());
}

ProductionRecord Sample(int64_t n) {
  ProductionRecord r = StartRecord("write", "5.54");
  r.bench = "bench-" + std::to_string(n % 8);
  const auto start = *ParseUtcTimestamp("2026-01-01T00:00:00.000Z") + std::chrono::seconds(30 * n);
  r.startedAt = UtcTimestamp(start);
  r.endedAt = UtcTimestamp(start + std::chrono::seconds(42));
  r.port = "/dev/ttyUSB0";
  r.portById = "/dev/serial/by-id/usb-FTDI_FT232R_A1B2C3-if00-port0";
  r.device = {n % 60000, 3, 5, 7, 0x0202, 4};
  r.file = {"/srv/firmware/P07_V3_07.kfx",
            "9f86d081884c7d659a2feaa0c55ad015a3bf4f1b2b0b822cd15d6c15b0f00a08",
            n % 60000,
            3,
            7,
            7};
  r.result = RecordResult::kOk;
  r.phases = {{"erase", r.startedAt, r.startedAt, 0, 2.5},
              {"write", r.startedAt, r.endedAt, 131072, 38.75}};
  return r;
}

struct Figures {
  double median = 0, worst = 0;
};

Figures Summarise(std::vector<double> ms) {
  std::sort(ms.begin(), ms.end());
  return {ms[ms.size() / 2], ms.back()};
}

// kAdds records, each one Add, as a command would keep them.
Figures TimeAdds(const RecordsConfig& config) {
  RecordStore store(config);
  std::vector<double> ms;
  for (int i = 0; i < kAdds; ++i) {
    ProductionRecord r = Sample(i);
    const auto start = Clock::now();
    const std::string warning = store.Add(r);
    ms.push_back(Ms(Clock::now() - start));
    if (!warning.empty()) std::printf("  warning: %s\n", warning.c_str());
  }
  return Summarise(ms);
}

Figures TimeQueries(RecordStore& store) {
  std::vector<double> ms;
  for (int i = 0; i < kQueries; ++i) {
    RecordFilter filter;
    filter.serialNumber = 1000 + i * 997;
    const auto start = Clock::now();
    const QueryReport report = store.Query(filter);
    ms.push_back(Ms(Clock::now() - start));
    if (!report.warning.empty()) std::printf("  warning: %s\n", report.warning.c_str());
  }
  return Summarise(ms);
}

// The whole program: start, read, print, end.
double TimeCli(const std::string& dataHome, const std::string& server) {
  std::string command = "XDG_DATA_HOME=" + dataHome + " BOOTQUARN_RECORDS='" + server + "' " +
                        BQ_BIN_DIR "/bootquarn-cli history --serial 4242 > /dev/null";
  std::vector<double> ms;
  for (int i = 0; i < 5; ++i) {
    const auto start = Clock::now();
    if (std::system(command.c_str()) != 0) std::printf("  the history command failed\n");
    ms.push_back(Ms(Clock::now() - start));
  }
  return Summarise(ms).median;
}

class PgServer {
 public:
  bool Start() {
    if (!fs::exists(kPgBin + "/initdb")) return false;
    folder_ = Scratch("bq_bench_pg");
    if (::getuid() == 0) {
      const passwd* pw = ::getpwnam("postgres");
      if (pw == nullptr || ::chown(folder_.c_str(), pw->pw_uid, pw->pw_gid) != 0) return false;
      asUser_ = "runuser -u postgres -- ";
    }
    // The server as a bench's would be: every commit on the disk.
    return Run(kPgBin + "/initdb -D " + folder_ + "/data -A trust -U postgres -E UTF8 " +
               "--no-instructions > /dev/null") &&
           Run(kPgBin + "/pg_ctl -D " + folder_ + "/data -l " + folder_ + "/log -w " +
               "-o \"-c listen_addresses='' -k " + folder_ + "\" start > /dev/null");
  }
  ~PgServer() {
    if (folder_.empty()) return;
    Run(kPgBin + "/pg_ctl -D " + folder_ + "/data -m fast -w stop > /dev/null");
    fs::remove_all(folder_);
  }
  std::string Conninfo() const { return "host=" + folder_ + " dbname=postgres user=postgres"; }
  bool Sql(const std::string& sql) {
    return Run("psql -q -h " + folder_ + " -U postgres -d postgres -c \"" + sql + "\" > /dev/null");
  }

 private:
  bool Run(const std::string& c) { return std::system((asUser_ + c).c_str()) == 0; }
  std::string folder_, asUser_;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1) kBigTable = std::max(std::atoi(argv[1]), kAdds + 6000);
  std::printf("Production records: %d adds each, history over %d records\n\n", kAdds, kBigTable);

  // ---- the bench's file alone
  const std::string local = Scratch("bq_bench_records");
  const std::string data = local + "/Quarn/BootQuarn";
  RecordsConfig config;
  config.dataFolder = data;
  const Figures sqliteAdd = TimeAdds(config);
  std::printf("SQLite, one Add:                  median %7.3f ms, worst %7.3f ms\n",
              sqliteAdd.median, sqliteAdd.worst);

  {
    LocalStore store(data + "/Registros.sqlite");
    const auto start = Clock::now();
    std::vector<ProductionRecord> batch;
    for (int64_t n = kAdds; n < kBigTable; ++n) {
      batch.push_back(Sample(n));
      if (batch.size() == 10000 || n + 1 == kBigTable) {
        store.InsertAll(batch);
        store.MarkSent({});
        batch.clear();
      }
    }
    std::printf("SQLite, filled to %d records in %.1f s\n", kBigTable,
                Ms(Clock::now() - start) / 1000);
  }
  {
    RecordStore store(config);
    const Figures q = TimeQueries(store);
    std::printf("SQLite, history --serial N:       median %7.3f ms, worst %7.3f ms (library)\n",
                q.median, q.worst);
  }
  std::printf("SQLite, bootquarn-cli history --serial N: %.1f ms (whole program)\n\n",
              TimeCli(local, ""));
  fs::remove_all(local);

  // ---- with a records server
  PgServer server;
  if (!server.Start()) {
    std::printf("PostgreSQL: no server binaries in %s, left out\n", kPgBin.c_str());
    return 0;
  }
  const std::string benchHome = Scratch("bq_bench_records_pg");
  RecordsConfig withServer;
  withServer.dataFolder = benchHome + "/Quarn/BootQuarn";
  withServer.server = server.Conninfo();
  const Figures pgAdd = TimeAdds(withServer);
  std::printf("PostgreSQL named, one Add:        median %7.3f ms, worst %7.3f ms\n", pgAdd.median,
              pgAdd.worst);
  {
    // The server's pace: records queued while it was away, sent in one go.
    LocalStore store(withServer.dataFolder + "/Registros.sqlite");
    std::vector<ProductionRecord> queued;
    for (int64_t n = kAdds; n < kAdds + 5000; ++n) queued.push_back(Sample(n));
    store.InsertAll(queued);
    RecordStore sender(withServer);
    const auto start = Clock::now();
    const SyncReport sync = sender.Sync(std::chrono::seconds(60));
    const double ms = Ms(Clock::now() - start);
    std::printf("PostgreSQL, records sync of %lld:  %.3f ms per record (%lld waiting after)\n",
                static_cast<long long>(sync.sent), ms / static_cast<double>(sync.sent),
                static_cast<long long>(sync.waiting));
  }
  {
    const auto start = Clock::now();
    const std::string fill =
        "INSERT INTO production_records (id, started_at, ended_at, bench, port, port_by_id,"
        " device_serial, device_firmware_version, device_firmware_revision, device_product,"
        " device_boot_loader, device_hardware, file_path, file_sha256, file_serial, file_version,"
        " file_revision, file_product, result, phases, program_version, command)"
        " SELECT gen_random_uuid(), timestamptz '2026-01-01' + n * interval '30 s',"
        " timestamptz '2026-01-01' + n * interval '30 s' + interval '42 s', 'bench-' || n % 8,"
        " '/dev/ttyUSB0', '', n % 60000, 3, 5, 7, 514, 4, '/srv/firmware/P07_V3_07.kfx',"
        " repeat('a', 64), n % 60000, 3, 7, 7, 'ok', '[]', '5.54', 'write'"
        " FROM generate_series(1, " +
        std::to_string(kBigTable - kAdds - 5000) + ") AS n; ANALYZE production_records";
    if (!server.Sql(fill)) std::printf("  filling the server failed\n");
    std::printf("PostgreSQL, filled to %d records in %.1f s\n", kBigTable,
                Ms(Clock::now() - start) / 1000);
  }
  {
    RecordStore store(withServer);
    const Figures q = TimeQueries(store);
    std::printf(
        "PostgreSQL, history --serial N:   median %7.3f ms, worst %7.3f ms (library, "
        "connection included)\n",
        q.median, q.worst);
  }
  std::printf("PostgreSQL, bootquarn-cli history --serial N: %.1f ms (whole program)\n",
              TimeCli(benchHome, server.Conninfo()));
  fs::remove_all(benchHome);
  return 0;
}
