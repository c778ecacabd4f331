#pragma once
// The production record of a device command: one per command, on every path
// (done, refused, declined, cancelled, failed, device lost), kept beside the
// production log in the bench's records store.
//
//   AttemptRecord attempt(st, "erase");
//   return attempt.Run([&] { ... NoteResult(st, RecordResult::kOk); ... });
//
// A command run inside another (the write of a Zircon upgrade) adds what it
// learns to the outer command's record instead of keeping one of its own.

#include <cstdint>
#include <optional>
#include <string>

#include "records/production_record.h"

namespace bq::records {
class RecordStore;
}

namespace bq {

class Station;
struct Context;
struct DeviceIdentity;
struct FirmwareHeader;

class AttemptRecord {
 public:
  AttemptRecord(Station& st, std::string command);
  // Keeps the record: it ends as noted, or as failed when nothing was noted.
  ~AttemptRecord();
  AttemptRecord(const AttemptRecord&) = delete;
  AttemptRecord& operator=(const AttemptRecord&) = delete;

  // Runs the command; an error that ends it (the port gone) is noted as its
  // failure and passed on.
  template <typename Body>
  auto Run(Body body) -> decltype(body()) {
    try {
      return body();
    } catch (const std::exception& e) {
      Failed(e.what());
      throw;
    }
  }

  records::ProductionRecord& record() { return record_; }
  void SetResult(records::RecordResult result) { result_ = result; }

 private:
  void Failed(const std::string& message);
  // lastError: the last error box shown while the command ran.
  void Keep(const std::string& lastError);

  Station& st_;
  bool owner_;
  records::ProductionRecord record_;
  std::optional<records::RecordResult> result_;
};

// The process's records store, opened on first use; null without a data
// folder (a context made for a test keeps no records).
records::RecordStore* RecordStoreOf(Context& ctx);

// What the running command learnt, for its record; nothing when none is kept.
void NoteDevice(Station& st, const DeviceIdentity& device);
void NoteFile(Station& st, const std::string& path, const FirmwareHeader& header);
void NoteResult(Station& st, records::RecordResult result);
// A failure: where it stopped and why (the last error box when no message).
void NoteFailure(Station& st, std::optional<std::string> phase, std::optional<uint32_t> address,
                 std::optional<std::string> message);

}  // namespace bq
