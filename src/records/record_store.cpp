#include "records/record_store.h"

#include <cstdlib>
#include <filesystem>
#include <regex>
#include <system_error>

#include "records/local_store.h"
#include "records/server_link.h"
#include "shell/ini_file.h"
#include "shell/translation.h"

namespace bq::records {

namespace {

namespace fs = std::filesystem;
using SteadyClock = std::chrono::steady_clock;

constexpr size_t kSendBatch = 200;

bool IsRecordId(const std::string& id) {
  static const std::regex uuid("^[0-9a-f]{8}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{12}$",
                               std::regex::icase);
  return std::regex_match(id, uuid);
}

// text with %1, %2, ... replaced by the values.
std::string Filled(const char* text, const std::vector<std::string>& values) {
  std::string out;
  for (const char* p = text; *p != '\0'; ++p) {
    if (p[0] == '%' && p[1] >= '1' && p[1] <= '9' && size_t(p[1] - '1') < values.size()) {
      out += values[size_t(p[1] - '1')];
      ++p;
    } else {
      out += *p;
    }
  }
  return out;
}

std::string NotKept(const std::string& path, const std::string& reason) {
  return Filled(_("Production record not kept in %1: %2"), {path, reason});
}

std::string Unreadable(const std::string& path, const std::string& reason) {
  return Filled(_("Cannot read the production records in %1: %2"), {path, reason});
}

}  // namespace

RecordsConfig RecordsConfigFor(const std::string& dataFolder, const std::string& settingsFile) {
  RecordsConfig config;
  config.dataFolder = dataFolder;
  if (const char* env = std::getenv(kRecordsVariable); env != nullptr && *env != '\0') {
    config.server = env;
    return config;
  }
  TIniFileQuarn ini(settingsFile);
  std::string error;
  if (ini.Load(&error) == TIniFileQuarn::LoadResult::Ok)
    config.server = ini.ReadString(kRecordsSection, kRecordsServerKey, "");
  return config;
}

RecordStore::RecordStore(RecordsConfig config) : config_(std::move(config)) {
  fs::path folder(config_.dataFolder);
  localPath_ = (folder / kRecordsFileName).string();
}

RecordStore::~RecordStore() {
  std::unique_lock lock(senderMutex_);
  if (!sender_.joinable()) return;
  stopping_ = true;
  stopDeadline_ = SteadyClock::now() + config_.closeBudget;
  senderCv_.notify_all();
  if (!senderCv_.wait_until(lock, stopDeadline_, [this] { return senderDone_; })) {
    // A send still under way ends at its next step; its records stay queued.
    abort_.store(true);
  }
  lock.unlock();
  sender_.join();
}

std::string RecordStore::ServerName() const {
  return config_.server.empty() ? std::string() : ServerDisplayName(config_.server);
}

std::string RecordStore::Add(ProductionRecord& record) {
  if (record.id.empty()) record.id = NewRecordId();
  if (!IsRecordId(record.id)) return NotKept(localPath_, "the id " + record.id + " is not a UUID");
  if (!ParseUtcTimestamp(record.startedAt) || !ParseUtcTimestamp(record.endedAt)) {
    return NotKept(localPath_, "the start or end time is not a UTC timestamp");
  }
  try {
    std::lock_guard lock(localMutex_);
    if (!local_) {
      std::error_code ec;
      fs::create_directories(config_.dataFolder, ec);
      local_ = std::make_unique<LocalStore>(localPath_);
    }
    local_->Insert(record);
  } catch (const std::exception& e) {
    return NotKept(localPath_, e.what());
  }
  if (HasServer()) WakeSender();
  return "";
}

void RecordStore::WakeSender() {
  std::lock_guard lock(senderMutex_);
  pending_ = true;
  if (!sender_.joinable()) {
    sender_ = std::thread([this] { SenderLoop(); });
  }
  senderCv_.notify_all();
}

int64_t RecordStore::SendQueued(LocalStore& local, ServerLink& link) {
  int64_t sent = 0;
  for (;;) {
    const std::vector<ProductionRecord> batch = local.Unsent(kSendBatch);
    if (batch.empty()) break;
    link.Insert(batch, SteadyClock::now() + config_.sendTimeout);
    // Marked only once the server has them: a failure here sends them again,
    // and the server keeps one copy.
    std::vector<std::string> ids;
    for (const ProductionRecord& r : batch) ids.push_back(r.id);
    local.MarkSent(ids);
    sent += static_cast<int64_t>(batch.size());
    if (batch.size() < kSendBatch) break;
  }
  return sent;
}

void RecordStore::SenderLoop() {
  std::unique_ptr<LocalStore> local;
  ServerLink link(config_.server, &abort_);
  std::unique_lock lock(senderMutex_);
  for (;;) {
    // Wait for new records, but not before the pause after a failure ends.
    while (!stopping_) {
      if (pending_ && SteadyClock::now() >= nextAttempt_) break;
      if (pending_) {
        senderCv_.wait_until(lock, nextAttempt_);
      } else {
        senderCv_.wait(lock);
      }
    }
    // At the close, send new records once more, unless the server just failed.
    if (stopping_ && (!pending_ || SteadyClock::now() < nextAttempt_)) break;
    pending_ = false;
    lock.unlock();
    bool failed = false;
    try {
      if (!local) local = std::make_unique<LocalStore>(localPath_);
      SendQueued(*local, link);
    } catch (const std::exception&) {
      // The records stay queued for the next try or `records sync`.
      failed = true;
      link.Close();
    }
    lock.lock();
    if (failed) {
      pending_ = true;
      nextAttempt_ = SteadyClock::now() + config_.retryInterval;
    }
  }
  senderDone_ = true;
  senderCv_.notify_all();
}

SyncReport RecordStore::Sync(std::chrono::milliseconds budget) {
  ServerLink link(config_.server);
  std::string serverError;
  return SyncOver(link, budget, &serverError);
}

SyncReport RecordStore::SyncOver(ServerLink& link, std::chrono::milliseconds budget,
                                 std::string* serverError) {
  SyncReport report;
  std::unique_ptr<LocalStore> local;
  std::error_code ec;
  if (fs::exists(localPath_, ec)) {
    try {
      local = std::make_unique<LocalStore>(localPath_);
    } catch (const std::exception& e) {
      report.waiting = -1;
      report.warning = Unreadable(localPath_, e.what());
      return report;
    }
  }
  if (!HasServer()) {
    report.warning = _("No records server is named.");
  } else {
    const auto deadline = SteadyClock::now() + budget;
    auto attempt = [&] { return std::min(deadline, SteadyClock::now() + config_.sendTimeout); };
    try {
      // Connected even with nothing to send: the report says whether the
      // server can be reached.
      link.Open(attempt());
      while (local) {
        const std::vector<ProductionRecord> batch = local->Unsent(kSendBatch);
        if (batch.empty()) break;
        link.Insert(batch, attempt());
        std::vector<std::string> ids;
        for (const ProductionRecord& r : batch) ids.push_back(r.id);
        local->MarkSent(ids);
        report.sent += static_cast<int64_t>(batch.size());
      }
    } catch (const std::exception& e) {
      *serverError = e.what();
      report.warning =
          Filled(_("The records server %1 did not take the records: %2"), {ServerName(), e.what()});
    }
  }
  try {
    report.waiting = local ? local->CountUnsent() : 0;
  } catch (const std::exception&) {
    report.waiting = -1;
  }
  return report;
}

QueryReport RecordStore::QueryLocal(const RecordFilter& filter) {
  QueryReport report;
  report.source = localPath_;
  std::error_code ec;
  if (!fs::exists(localPath_, ec)) return report;  // no record kept on this bench yet
  try {
    LocalStore local(localPath_);
    report.records = local.Query(filter);
  } catch (const std::exception& e) {
    report.warning = Unreadable(localPath_, e.what());
  }
  return report;
}

QueryReport RecordStore::Query(const RecordFilter& filter) {
  if (!HasServer()) return QueryLocal(filter);
  auto fallBack = [&](const std::string& reason) {
    QueryReport local = QueryLocal(filter);
    local.warning = Filled(_("The records server %1 cannot be read (%2); showing this "
                             "bench's records only"),
                           {ServerName(), reason}) +
                    (local.warning.empty() ? "" : ". " + local.warning);
    return local;
  };
  // This bench's latest records first, so that the answer holds them too; a
  // server that cannot take them cannot answer either.
  ServerLink link(config_.server);
  std::string serverError;
  const SyncReport sync = SyncOver(link, config_.sendTimeout, &serverError);
  if (!serverError.empty()) return fallBack(serverError);
  QueryReport report;
  report.fleet = true;
  report.source = ServerName();
  report.warning = sync.warning;  // the bench's own file could not be read
  try {
    report.records = link.Query(filter, SteadyClock::now() + config_.queryTimeout);
    return report;
  } catch (const std::exception& e) {
    return fallBack(e.what());
  }
}

}  // namespace bq::records
