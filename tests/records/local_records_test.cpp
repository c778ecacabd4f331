// The bench's own records file: what goes in comes out, from many stations at
// once, whatever the texts hold, and across schema versions.
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <nlohmann/json.hpp>
#include <set>
#include <sstream>
#include <thread>

#include "records/file_digest.h"
#include "records/local_store.h"
#include "records/record_query.h"
#include "records/record_store.h"
#include "records/records_csv.h"
#include "records_fixture.h"

namespace bq::records {
namespace {

using namespace bq::records::testing;

class LocalRecords : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = ScratchFolder("bq_records");
    ASSERT_FALSE(folder_.empty());
  }
  void TearDown() override { fs::remove_all(folder_); }

  std::vector<ProductionRecord> All() {
    RecordStore store(LocalConfig(folder_));
    QueryReport report = store.QueryLocal({});
    EXPECT_EQ(report.warning, "");
    return report.records;
  }
  std::string FilePath() const { return folder_ + "/Registros.sqlite"; }

  std::string folder_;
};

TEST_F(LocalRecords, WhatIsKeptReadsBackTheSame) {
  std::vector<ProductionRecord> kept = {FullRecord(1234), BareRecord()};
  kept[1].startedAt = kept[1].endedAt = "2026-12-11T08:00:00.000Z";
  {
    RecordStore store(LocalConfig(folder_));
    for (ProductionRecord& r : kept) EXPECT_EQ(store.Add(r), "");
  }
  const std::vector<ProductionRecord> read = All();
  ASSERT_EQ(read.size(), 2u);
  EXPECT_EQ(read[0], kept[1]);  // newest first
  EXPECT_EQ(read[1], kept[0]);
  EXPECT_FALSE(read[1].device.hardwareVersion == std::nullopt);
  EXPECT_EQ(read[0].file.path, std::nullopt);
}

TEST_F(LocalRecords, AnEmptyIdIsFilledWithAFreshUuid) {
  ProductionRecord r = FullRecord(1);
  r.id.clear();
  RecordStore store(LocalConfig(folder_));
  EXPECT_EQ(store.Add(r), "");
  EXPECT_EQ(r.id.size(), 36u);
  EXPECT_EQ(r.id[14], '4');  // version 4
  EXPECT_NE(std::string("89ab").find(r.id[19]), std::string::npos);
  EXPECT_NE(NewRecordId(), NewRecordId());
}

TEST_F(LocalRecords, ARecordThatCannotBeKeptIsAWarningNotAnError) {
  struct Case {
    const char* name;
    std::function<void(ProductionRecord&, std::string& folder)> spoil;
  };
  const Case cases[] = {
      {"a file where the folder goes",
       [](ProductionRecord&, std::string& folder) {
         std::ofstream(folder + "/blocked") << "not a folder";
         folder += "/blocked/data";
       }},
      {"an id that is not a UUID", [](ProductionRecord& r, std::string&) { r.id = "1' OR '1"; }},
      {"a start time that is not UTC",
       [](ProductionRecord& r, std::string&) { r.startedAt = "10/12/2026 16:22"; }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string folder = folder_;
    ProductionRecord r = FullRecord(1);
    c.spoil(r, folder);
    RecordStore store(LocalConfig(folder));
    std::string warning;
    EXPECT_NO_THROW(warning = store.Add(r));
    EXPECT_NE(warning.find("Registros.sqlite"), std::string::npos) << warning;
  }
  EXPECT_TRUE(All().empty());
}

TEST_F(LocalRecords, EightStationsWritingAtOnceLoseNothing) {
  constexpr int kStations = 8, kEach = 40;
  std::vector<std::thread> stations;
  std::vector<std::string> warnings(kStations);
  for (int s = 0; s < kStations; ++s) {
    // Each station has a store of its own on the one data folder, as the
    // window's stations and a command-line run beside them do.
    stations.emplace_back([&, s] {
      RecordStore store(LocalConfig(folder_));
      for (int i = 0; i < kEach; ++i) {
        ProductionRecord r = FullRecord(s * 1000 + i, "station-" + std::to_string(s));
        warnings[s] += store.Add(r);
      }
    });
  }
  for (auto& t : stations) t.join();
  for (const std::string& w : warnings) EXPECT_EQ(w, "");
  const auto read = All();
  std::set<std::string> ids;
  std::set<int64_t> serials;
  for (const auto& r : read) {
    ids.insert(r.id);
    serials.insert(*r.device.serialNumber);
  }
  EXPECT_EQ(read.size(), size_t{kStations * kEach});
  EXPECT_EQ(ids.size(), size_t{kStations * kEach});
  EXPECT_EQ(serials.size(), size_t{kStations * kEach});
}

TEST_F(LocalRecords, TwoProgramsWritingAtOnceLoseNothing) {
  constexpr int kEach = 100;
  auto write = [this](int64_t base) {
    RecordStore store(LocalConfig(folder_));
    int lost = 0;
    for (int i = 0; i < kEach; ++i) {
      ProductionRecord r = FullRecord(base + i);
      if (!store.Add(r).empty()) ++lost;
    }
    return lost;
  };
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) ::_exit(write(100000) == 0 ? 0 : 1);
  EXPECT_EQ(write(0), 0);
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(All().size(), size_t{2 * kEach});
}

TEST_F(LocalRecords, FiltersPickTheirRecordsAndHostileTextsStayTexts) {
  const std::string hostilePath = "/srv/a'); DROP TABLE production_records; --.kfx";
  {
    RecordStore store(LocalConfig(folder_));
    ProductionRecord a = FullRecord(10, "O'Brien's bench");
    a.file.path = hostilePath;
    ProductionRecord b = FullRecord(11, "bench-b");
    b.startedAt = "2026-12-12T09:00:00.000Z";
    b.endedAt = "2026-12-12T09:00:40.000Z";
    b.result = RecordResult::kCancelled;
    b.file.productCode = 9;
    ProductionRecord c = FullRecord(12, "bench-b");
    c.device.serialNumber = 99;  // written as 12 over a device that was 99
    c.startedAt = c.endedAt = "2026-12-13T23:59:59.999Z";
    for (ProductionRecord* r : {&a, &b, &c}) ASSERT_EQ(store.Add(*r), "");
  }
  struct Case {
    const char* name;
    RecordFilter filter;
    std::vector<int64_t> fileSerials;  // what comes back, newest first
  };
  auto filter = [](auto set) {
    RecordFilter f;
    set(f);
    return f;
  };
  const Case cases[] = {
      {"no filter", {}, {12, 11, 10}},
      {"the device's serial", filter([](auto& f) { f.serialNumber = 99; }), {12}},
      {"the file's serial", filter([](auto& f) { f.serialNumber = 12; }), {12}},
      {"since, included",
       filter([](auto& f) { f.since = DateBound("2026-12-12", false); }),
       {12, 11}},
      {"until a date takes the day",
       filter([](auto& f) { f.until = DateBound("2026-12-12", true); }),
       {11, 10}},
      {"until a time excludes it",
       filter([](auto& f) { f.until = DateBound("2026-12-12T09:00:00", true); }),
       {10}},
      {"result", filter([](auto& f) { f.result = "cancelled"; }), {11}},
      {"product of the file", filter([](auto& f) { f.productCode = 9; }), {11}},
      {"bench with a quote", filter([](auto& f) { f.bench = "O'Brien's bench"; }), {10}},
      {"limit", filter([](auto& f) { f.limit = 1; }), {12}},
      {"a bench that is SQL", filter([](auto& f) { f.bench = "x' OR '1'='1"; }), {}},
      {"a result that is SQL",
       filter([](auto& f) { f.result = "ok'; DELETE FROM production_records; --"; }),
       {}},
  };
  RecordStore store(LocalConfig(folder_));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const QueryReport report = store.QueryLocal(c.filter);
    EXPECT_EQ(report.warning, "");
    std::vector<int64_t> serials;
    for (const auto& r : report.records) serials.push_back(*r.file.serialNumber);
    EXPECT_EQ(serials, c.fileSerials);
  }
  const auto all = All();
  ASSERT_EQ(all.size(), 3u);
  EXPECT_EQ(all[2].file.path, hostilePath);
}

TEST_F(LocalRecords, TheCommandLineTakesOnlyANumberAsSerial) {
  {
    RecordStore store(LocalConfig(folder_ + "/Quarn/BootQuarn"));
    ProductionRecord r = FullRecord(5);
    ASSERT_EQ(store.Add(r), "");
  }
  const ProgramRun bad = RunCli({"history", "--serial", "5 OR 1=1"}, folder_);
  EXPECT_EQ(bad.status, 2) << bad.err;
  const ProgramRun good = RunCli({"history", "--serial", "5", "--json"}, folder_);
  ASSERT_EQ(good.status, 0) << good.err;
  const auto report = nlohmann::json::parse(good.out);
  EXPECT_EQ(report["records"].size(), 1u);
  EXPECT_EQ(report["records"][0]["device"]["serialNumber"], 5);
  EXPECT_EQ(report["fleet"], false);
}

TEST_F(LocalRecords, HumanHistoryIsOneLinePerRecordNewestFirst) {
  {
    RecordStore store(LocalConfig(folder_ + "/Quarn/BootQuarn"));
    ProductionRecord older = FullRecord(1);
    ProductionRecord newer = FullRecord(2);
    newer.startedAt = newer.endedAt = "2026-12-11T00:00:00.000Z";
    newer.result = RecordResult::kFailed;
    newer.failure = {"write", 0x1F800, "no answer"};
    ASSERT_EQ(store.Add(older), "");
    ASSERT_EQ(store.Add(newer), "");
  }
  const ProgramRun run = RunCli({"history"}, folder_);
  ASSERT_EQ(run.status, 0) << run.err;
  std::istringstream lines(run.out);
  std::string first, second, third;
  std::getline(lines, first);
  std::getline(lines, second);
  EXPECT_FALSE(std::getline(lines, third));
  EXPECT_EQ(first.rfind("2026-12-11T00:00:00.000Z", 0), 0u) << first;
  EXPECT_NE(first.find("[write @01F800: no answer]"), std::string::npos) << first;
  EXPECT_NE(second.find("NS 1"), std::string::npos) << second;
}

TEST_F(LocalRecords, SummaryCountsByProductWithTheMedianWriteTime) {
  std::vector<ProductionRecord> records;
  for (int seconds : {30, 50, 40, 1000}) {
    ProductionRecord r = FullRecord(seconds);
    r.startedAt = "2026-12-10T10:00:00.000Z";
    r.endedAt = UtcTimestamp(*ParseUtcTimestamp(r.startedAt) + std::chrono::seconds(seconds));
    if (seconds == 1000) r.result = RecordResult::kFailed;  // not a write that counts
    records.push_back(r);
  }
  ProductionRecord other = BareRecord();
  records.push_back(other);
  const auto summary = Summarise(records);
  ASSERT_EQ(summary.size(), 2u);
  EXPECT_EQ(summary[0].productCode, 7);
  EXPECT_EQ(summary[0].total, 4);
  EXPECT_EQ(summary[0].byResult.at("ok"), 3);
  EXPECT_EQ(summary[0].byResult.at("failed"), 1);
  EXPECT_EQ(summary[0].medianWriteSeconds, 40.0);
  EXPECT_EQ(summary[1].productCode, std::nullopt);
  EXPECT_EQ(summary[1].medianWriteSeconds, std::nullopt);
}

TEST_F(LocalRecords, AFileWithoutTheSchemaIsBroughtUpToDate) {
  // A version 0 file: something else already made it, the records are new.
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(FilePath().c_str(), &db), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(db, "CREATE TABLE notes (text TEXT); INSERT INTO notes VALUES ('kept')",
                         nullptr, nullptr, nullptr),
            SQLITE_OK);
  sqlite3_close(db);

  RecordStore store(LocalConfig(folder_));
  ProductionRecord r = FullRecord(1);
  EXPECT_EQ(store.Add(r), "");
  EXPECT_EQ(All().size(), 1u);
  LocalStore local(FilePath());
  EXPECT_EQ(local.SchemaVersion(), LocalStore::kSchemaVersion);
}

TEST_F(LocalRecords, AFileOfANewerProgramIsLeftAlone) {
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(FilePath().c_str(), &db), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(db, "CREATE TABLE production_records (id TEXT); PRAGMA user_version = 99",
                         nullptr, nullptr, nullptr),
            SQLITE_OK);
  sqlite3_close(db);

  RecordStore store(LocalConfig(folder_));
  ProductionRecord r = FullRecord(1);
  EXPECT_NE(store.Add(r).find("newer"), std::string::npos);
  EXPECT_THROW(LocalStore{FilePath()}, RecordsError);
  ASSERT_EQ(sqlite3_open(FilePath().c_str(), &db), SQLITE_OK);
  sqlite3_stmt* s = nullptr;
  ASSERT_EQ(sqlite3_prepare_v2(db, "PRAGMA user_version", -1, &s, nullptr), SQLITE_OK);
  ASSERT_EQ(sqlite3_step(s), SQLITE_ROW);
  EXPECT_EQ(sqlite3_column_int(s, 0), 99);
  sqlite3_finalize(s);
  sqlite3_close(db);
}

TEST(RecordTexts, DateBounds) {
  struct Case {
    const char* text;
    bool upper;
    std::optional<std::string> bound;
  };
  const Case cases[] = {
      {"2026-12-10", false, "2026-12-10T00:00:00.000Z"},
      {"2026-12-10", true, "2026-12-11T00:00:00.000Z"},
      {"2026-12-31", true, "2027-01-01T00:00:00.000Z"},
      {"2026-12-10T16:22", true, "2026-12-10T16:22:00.000Z"},
      {"2026-12-10 16:22:46Z", false, "2026-12-10T16:22:46.000Z"},
      {"2026-12-10T16:22:46.5", false, "2026-12-10T16:22:46.500Z"},
      {"2026-02-30", false, std::nullopt},
      {"2026-12-10T25:00", false, std::nullopt},
      {"yesterday", false, std::nullopt},
      {"2026-12-10' OR 1=1", false, std::nullopt},
  };
  for (const Case& c : cases) EXPECT_EQ(DateBound(c.text, c.upper), c.bound) << c.text;
}

TEST(RecordTexts, CsvQuotesWhatItMustAndDefusesFormulas) {
  EXPECT_EQ(CsvField("plain"), "plain");
  EXPECT_EQ(CsvField("a,b"), "\"a,b\"");
  EXPECT_EQ(CsvField("say \"hi\""), "\"say \"\"hi\"\"\"");
  EXPECT_EQ(CsvField("two\nlines"), "\"two\nlines\"");
  EXPECT_EQ(CsvField("=HYPERLINK(\"x\")"), "\"'=HYPERLINK(\"\"x\"\")\"");
  EXPECT_EQ(CsvField("@SUM(A1)"), "'@SUM(A1)");

  std::ostringstream out;
  ProductionRecord r = FullRecord(1234);
  r.file.path = "/srv/a,b.kfx";
  WriteRecordsCsv(out, {r, BareRecord()});
  std::istringstream lines(out.str());
  std::string header, first, second;
  std::getline(lines, header);
  std::getline(lines, first);
  std::getline(lines, second);
  EXPECT_EQ(header.rfind("id,started_at,ended_at,seconds,", 0), 0u);
  EXPECT_EQ(first.rfind(r.id + ",2026-12-10T16:22:46.123Z,2026-12-10T16:23:28.456Z,42.333,", 0), 0u)
      << first;
  EXPECT_NE(first.find(",\"/srv/a,b.kfx\","), std::string::npos);
  EXPECT_NE(second.find(",failed,,,,,,,,,,,,,connect,,the device did not answer,"),
            std::string::npos)
      << second;
}

TEST(RecordTexts, FileDigestIsTheSha256OfItsBytes) {
  const std::string folder = ScratchFolder("bq_digest");
  std::ofstream(folder + "/f") << "abc";
  std::string error;
  EXPECT_EQ(FileSha256(folder + "/f", &error),
            "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  EXPECT_EQ(FileSha256(folder + "/missing", &error), std::nullopt);
  EXPECT_NE(error, "");
  fs::remove_all(folder);
}

TEST(RecordTexts, TextsThatAreNotUtf8AreKeptReadable) {
  const std::string folder = ScratchFolder("bq_utf8");
  ProductionRecord r = FullRecord(1);
  r.file.path = std::string("/srv/fw_\xE7\xE3o.kfx");  // Latin-1 bytes
  {
    RecordStore store(LocalConfig(folder));
    ASSERT_EQ(store.Add(r), "");
  }
  RecordStore store(LocalConfig(folder));
  const auto read = store.QueryLocal({}).records;
  ASSERT_EQ(read.size(), 1u);
  EXPECT_EQ(read[0].file.path, "/srv/fw_\xEF\xBF\xBD\xEF\xBF\xBDo.kfx");
  fs::remove_all(folder);
}

}  // namespace
}  // namespace bq::records
