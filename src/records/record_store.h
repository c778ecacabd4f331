#pragma once
// Where a command keeps its production records, and where readers find them.
//
// Every record goes first into the bench's own file, Registros.sqlite in the
// data folder. When a records server is named (BOOTQUARN_RECORDS, or
// [Registros] Servidor in BootQuarn.Ini), the kept records are also sent to
// it from a background thread; the ones it has not accepted yet stay queued
// in the file and go with a later send. Neither keeping nor sending ever
// throws or holds a command up: what goes wrong comes back as a warning text.
//
//   records::RecordStore store(records::RecordsConfigFor(paths.dataRoot, paths.settingsFile));
//   records::ProductionRecord r = records::StartRecord("write", "5.54");
//   ... fill r.port, r.device, r.file, r.phases ...
//   records::FinishRecord(r, records::RecordResult::kOk);
//   if (std::string w = store.Add(r); !w.empty()) ui.Warn(w);

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "records/production_record.h"
#include "records/record_query.h"

namespace bq::records {

class LocalStore;
class ServerLink;

// The environment variable that names the records server of a run.
inline constexpr const char* kRecordsVariable = "BOOTQUARN_RECORDS";
// The settings' key for the server.
inline constexpr const char* kRecordsSection = "Registros";
inline constexpr const char* kRecordsServerKey = "Servidor";
inline constexpr const char* kRecordsFileName = "Registros.sqlite";

struct RecordsConfig {
  std::string dataFolder;  // the folder of BootQuarn.Ini
  // A postgresql:// URI or a libpq "host=... dbname=..." text; empty: this bench only.
  std::string server;
  // One connection and send to the server, at most.
  std::chrono::milliseconds sendTimeout{3000};
  // What closing the store may spend on a last send of new records.
  std::chrono::milliseconds closeBudget{2000};
  // After a failed send, the next try waits this long (or the next Sync).
  std::chrono::milliseconds retryInterval{30000};
  // Reading the whole fleet's records from the server, at most.
  std::chrono::milliseconds queryTimeout{30000};
};

// The configuration of this computer: the server from BOOTQUARN_RECORDS when
// set, else from the settings file.
RecordsConfig RecordsConfigFor(const std::string& dataFolder, const std::string& settingsFile);

struct SyncReport {
  int64_t sent = 0;     // records the server accepted in this call
  int64_t waiting = 0;  // records still queued afterwards (-1: not known)
  std::string warning;  // empty when everything queued was sent
};

struct QueryReport {
  std::vector<ProductionRecord> records;  // newest first
  bool fleet = false;                     // from the server: every bench's records
  std::string source;                     // the file, or the server's name
  std::string warning;
};

class RecordStore {
 public:
  explicit RecordStore(RecordsConfig config);
  // Gives the sender at most closeBudget to pass on new records; what is
  // not sent by then stays queued.
  ~RecordStore();
  RecordStore(const RecordStore&) = delete;
  RecordStore& operator=(const RecordStore&) = delete;

  // Keeps the record (an empty id is filled with a fresh one); "" when kept,
  // else the warning to show. Safe to call from several threads.
  std::string Add(ProductionRecord& record);

  // Sends what is queued, within budget, and counts what still waits.
  SyncReport Sync(std::chrono::milliseconds budget);
  // From the server when one is named (after sending this bench's queue);
  // from the bench's file otherwise, or when the server cannot be reached.
  QueryReport Query(const RecordFilter& filter);
  // This bench's file only.
  QueryReport QueryLocal(const RecordFilter& filter);

  std::string LocalPath() const { return localPath_; }
  bool HasServer() const { return !config_.server.empty(); }
  // The server without its password, for messages.
  std::string ServerName() const;

 private:
  void WakeSender();
  void SenderLoop();
  // Sync over the given link, which stays connected; *serverError is the
  // server's reason when it could not be reached or refused.
  SyncReport SyncOver(ServerLink& link, std::chrono::milliseconds budget, std::string* serverError);
  // Sends every queued record; throws RecordsError.
  int64_t SendQueued(LocalStore& local, ServerLink& link);

  RecordsConfig config_;
  std::string localPath_;

  std::mutex localMutex_;
  std::unique_ptr<LocalStore> local_;

  std::mutex senderMutex_;
  std::condition_variable senderCv_;
  std::thread sender_;
  bool pending_ = false;
  bool stopping_ = false;
  bool senderDone_ = false;
  std::chrono::steady_clock::time_point nextAttempt_{};
  std::chrono::steady_clock::time_point stopDeadline_{};
  std::atomic<bool> abort_{false};
};

}  // namespace bq::records
