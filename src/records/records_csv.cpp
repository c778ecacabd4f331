#include "records/records_csv.h"

#include <cstdio>

#include "records/record_json.h"

namespace bq::records {

namespace {

std::string Number(const std::optional<int64_t>& value) {
  return value ? std::to_string(*value) : std::string();
}

std::string Text(const std::optional<std::string>& value) {
  return value ? CsvField(*value) : std::string();
}

std::string Seconds(double seconds) {
  char text[32];
  std::snprintf(text, sizeof text, "%.3f", seconds);
  return text;
}

}  // namespace

std::string CsvField(const std::string& text) {
  std::string value = text;
  if (!value.empty() && (value[0] == '=' || value[0] == '+' || value[0] == '-' || value[0] == '@' ||
                         value[0] == '\t' || value[0] == '\r')) {
    value.insert(value.begin(), '\'');
  }
  if (value.find_first_of(",\"\r\n") == std::string::npos) return value;
  std::string quoted = "\"";
  for (char c : value) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  return quoted + "\"";
}

void WriteRecordsCsv(std::ostream& out, const std::vector<ProductionRecord>& records) {
  out << "id,started_at,ended_at,seconds,bench,port,port_by_id,command,result,"
         "device_serial,device_firmware_version,device_firmware_revision,device_product,"
         "device_boot_loader,device_hardware,file_path,file_sha256,file_serial,file_version,"
         "file_revision,file_product,failure_phase,failure_address,failure_message,phases,"
         "program_version\r\n";
  for (const ProductionRecord& r : records) {
    const auto seconds = DurationSeconds(r);
    out << CsvField(r.id) << ',' << CsvField(r.startedAt) << ',' << CsvField(r.endedAt) << ','
        << (seconds ? Seconds(*seconds) : "") << ',' << CsvField(r.bench) << ',' << CsvField(r.port)
        << ',' << CsvField(r.portById) << ',' << CsvField(r.command) << ',' << ResultText(r.result)
        << ',' << Number(r.device.serialNumber) << ',' << Number(r.device.firmwareVersion) << ','
        << Number(r.device.firmwareRevision) << ',' << Number(r.device.productCode) << ','
        << Number(r.device.bootLoaderVersion) << ',' << Number(r.device.hardwareVersion) << ','
        << Text(r.file.path) << ',' << Text(r.file.sha256) << ',' << Number(r.file.serialNumber)
        << ',' << Number(r.file.version) << ',' << Number(r.file.revision) << ','
        << Number(r.file.productCode) << ',' << Text(r.failure.phase) << ','
        << Number(r.failure.address) << ',' << Text(r.failure.message) << ','
        << CsvField(PhasesToJson(r.phases)) << ',' << CsvField(r.programVersion) << "\r\n";
  }
}

}  // namespace bq::records
