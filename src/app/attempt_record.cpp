#include "app/attempt_record.h"

#include <mutex>

#include "app/context.h"
#include "app/startup.h"
#include "app/station.h"
#include "boot/device_identity.h"
#include "image/firmware_image.h"
#include "records/file_digest.h"
#include "records/record_store.h"
#include "serial/port_list.h"
#include "shell/utilities.h"

namespace bq {
namespace {

using records::RecordResult;

}  // namespace

records::RecordStore* RecordStoreOf(Context& ctx) {
  std::lock_guard lock(ctx.recordsMutex);
  if (!ctx.recordStore && !ctx.paths.dataRoot.empty()) {
    ctx.recordStore = std::make_unique<records::RecordStore>(
        records::RecordsConfigFor(ctx.paths.dataRoot, ctx.paths.settingsFile));
  }
  return ctx.recordStore.get();
}

namespace {

// The port's /dev/serial/by-id name, when the system made one.
std::string ByIdNameOf(Context& ctx, const std::string& port) {
  static const std::string kById = "/dev/serial/by-id/";
  if (port.rfind(kById, 0) == 0) return port;
  std::lock_guard lock(ctx.recordsMutex);  // one lister for every station
  // The system's own list: a front end's may know the names alone.
  static const std::unique_ptr<PortLister> system = MakeSystemPortLister();
  for (const PortInfo& info : system->DescribePorts()) {
    if (info.path == port) return info.byId;
  }
  return {};
}

AttemptRecord* Running(Station& st) {
  return st.attempt;
}

}  // namespace

AttemptRecord::AttemptRecord(Station& st, std::string command)
    : st_(st), owner_(st.attempt == nullptr) {
  if (!owner_) return;
  record_ = records::StartRecord(std::move(command), VersionText(kProgramVersion));
  record_.port = st.portName;
  st_.attempt = this;
  st_.tap.NoteInto(&record_);
}

AttemptRecord::~AttemptRecord() {
  if (!owner_) return;
  const std::string lastError = st_.tap.LastError();
  st_.tap.NoteInto(nullptr);
  st_.attempt = nullptr;
  try {
    Keep(lastError);
  } catch (const std::exception&) {
    // A record is never worth ending the program for; the store says why it
    // could not keep one through its warning.
  }
}

void AttemptRecord::Failed(const std::string& message) {
  AttemptRecord* owner = owner_ ? this : st_.attempt;
  if (owner == nullptr) return;
  owner->result_ = RecordResult::kFailed;
  if (!owner->record_.failure.message) owner->record_.failure.message = message;
}

void AttemptRecord::Keep(const std::string& lastError) {
  const RecordResult result = result_.value_or(RecordResult::kFailed);
  if (result != RecordResult::kOk && !record_.failure.message && !lastError.empty())
    record_.failure.message = lastError;
  records::FinishRecord(record_, result);
  st_.lastResult = result;
  st_.lastFailure = record_.failure.message.value_or("");
  records::RecordStore* store = RecordStoreOf(st_.ctx);
  if (store == nullptr) return;
  record_.portById = ByIdNameOf(st_.ctx, record_.port);
  if (const std::string warning = store->Add(record_); !warning.empty())
    st_.ui.ShowWarning(warning);
}

void NoteDevice(Station& st, const DeviceIdentity& device) {
  AttemptRecord* a = Running(st);
  if (a == nullptr) return;
  records::RecordDevice& d = a->record().device;
  d.serialNumber = device.serialNumber;
  d.firmwareVersion = device.firmwareVersion;
  d.firmwareRevision = device.firmwareRevision;
  d.productCode = device.productCode;
  if (device.bootLoaderVersion != 0) d.bootLoaderVersion = device.bootLoaderVersion;
  if (device.hardwareVersion != 0 || device.bootLoaderVersion != 0)
    d.hardwareVersion = device.hardwareVersion;
}

void NoteFile(Station& st, const std::string& path, const FirmwareHeader& header) {
  AttemptRecord* a = Running(st);
  if (a == nullptr) return;
  records::RecordFile& f = a->record().file;
  f.path = path;
  std::string ignored;
  f.sha256 = records::FileSha256(path, &ignored);
  f.serialNumber = header.serialNumber;
  f.version = header.version;
  f.revision = header.revision;
  f.productCode = header.productCode;
}

void NoteResult(Station& st, RecordResult result) {
  if (AttemptRecord* a = Running(st)) a->SetResult(result);
}

void NoteFailure(Station& st, std::optional<std::string> phase, std::optional<uint32_t> address,
                 std::optional<std::string> message) {
  AttemptRecord* a = Running(st);
  if (a == nullptr) return;
  a->SetResult(RecordResult::kFailed);
  records::RecordFailure& f = a->record().failure;
  const auto& phases = a->record().phases;
  if (!phase && !phases.empty()) phase = phases.back().name;
  f.phase = phase;
  if (address) f.address = *address;
  if (message) f.message = message;
}

}  // namespace bq
