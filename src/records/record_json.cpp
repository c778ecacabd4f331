#include "records/record_json.h"

namespace bq::records {

namespace {

template <typename T>
nlohmann::json OrNull(const std::optional<T>& value) {
  return value ? nlohmann::json(*value) : nlohmann::json(nullptr);
}

nlohmann::json PhasesJson(const std::vector<RecordPhase>& phases) {
  nlohmann::json list = nlohmann::json::array();
  for (const RecordPhase& p : phases) {
    list.push_back({{"name", p.name},
                    {"start", p.start},
                    {"end", p.end},
                    {"bytes", p.bytes},
                    {"seconds", p.seconds}});
  }
  return list;
}

// Length of the UTF-8 sequence starting at s[i], or 0 when it is not valid.
size_t SequenceLength(const std::string& s, size_t i) {
  const auto byte = [&](size_t k) { return static_cast<unsigned char>(s[k]); };
  const unsigned char c = byte(i);
  if (c < 0x80) return 1;
  size_t n = 0;
  uint32_t min = 0;
  uint32_t cp = 0;
  if ((c & 0xE0) == 0xC0) {
    n = 2, min = 0x80, cp = c & 0x1F;
  } else if ((c & 0xF0) == 0xE0) {
    n = 3, min = 0x800, cp = c & 0x0F;
  } else if ((c & 0xF8) == 0xF0) {
    n = 4, min = 0x10000, cp = c & 0x07;
  } else {
    return 0;
  }
  if (i + n > s.size()) return 0;
  for (size_t k = 1; k < n; ++k) {
    if ((byte(i + k) & 0xC0) != 0x80) return 0;
    cp = (cp << 6) | (byte(i + k) & 0x3F);
  }
  if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
  return n;
}

}  // namespace

std::string ValidUtf8(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    const size_t n = SequenceLength(text, i);
    if (n == 0) {
      out += "\xEF\xBF\xBD";
      ++i;
    } else if (n == 1 && text[i] == '\0') {
      out += "\xEF\xBF\xBD";  // a text field ends at a NUL on the server
      ++i;
    } else {
      out.append(text, i, n);
      i += n;
    }
  }
  return out;
}

nlohmann::json RecordToJson(const ProductionRecord& r) {
  return {{"id", r.id},
          {"startedAt", r.startedAt},
          {"endedAt", r.endedAt},
          {"bench", r.bench},
          {"port", r.port},
          {"portById", r.portById.empty() ? nlohmann::json(nullptr) : nlohmann::json(r.portById)},
          {"device",
           {{"serialNumber", OrNull(r.device.serialNumber)},
            {"firmwareVersion", OrNull(r.device.firmwareVersion)},
            {"firmwareRevision", OrNull(r.device.firmwareRevision)},
            {"productCode", OrNull(r.device.productCode)},
            {"bootLoaderVersion", OrNull(r.device.bootLoaderVersion)},
            {"hardwareVersion", OrNull(r.device.hardwareVersion)}}},
          {"file",
           {{"path", OrNull(r.file.path)},
            {"sha256", OrNull(r.file.sha256)},
            {"serialNumber", OrNull(r.file.serialNumber)},
            {"version", OrNull(r.file.version)},
            {"revision", OrNull(r.file.revision)},
            {"productCode", OrNull(r.file.productCode)}}},
          {"result", ResultText(r.result)},
          {"failure",
           {{"phase", OrNull(r.failure.phase)},
            {"address", OrNull(r.failure.address)},
            {"message", OrNull(r.failure.message)}}},
          {"phases", PhasesJson(r.phases)},
          {"programVersion", r.programVersion},
          {"command", r.command}};
}

std::string PhasesToJson(const std::vector<RecordPhase>& phases) {
  return PhasesJson(phases).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

std::vector<RecordPhase> PhasesFromJson(const std::string& text) {
  std::vector<RecordPhase> phases;
  const nlohmann::json list = nlohmann::json::parse(text, nullptr, false);
  if (!list.is_array()) return phases;
  for (const auto& item : list) {
    if (!item.is_object()) continue;
    RecordPhase p;
    if (auto it = item.find("name"); it != item.end() && it->is_string()) p.name = *it;
    if (auto it = item.find("start"); it != item.end() && it->is_string()) p.start = *it;
    if (auto it = item.find("end"); it != item.end() && it->is_string()) p.end = *it;
    if (auto it = item.find("bytes"); it != item.end() && it->is_number()) {
      p.bytes = it->get<int64_t>();
    }
    if (auto it = item.find("seconds"); it != item.end() && it->is_number()) {
      p.seconds = it->get<double>();
    }
    phases.push_back(std::move(p));
  }
  return phases;
}

}  // namespace bq::records
