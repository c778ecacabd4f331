#pragma once
// A record as JSON: the form of `history --json` and of the phases list kept
// in the stores.

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "records/production_record.h"

namespace bq::records {

// Field names in camelCase; a value not known is null.
nlohmann::json RecordToJson(const ProductionRecord& record);

// The phases as a JSON list of {name, start, end, bytes, seconds}, and back.
// Reading skips what is not such an object.
std::string PhasesToJson(const std::vector<RecordPhase>& phases);
std::vector<RecordPhase> PhasesFromJson(const std::string& text);

// The text with every byte that is not part of valid UTF-8 replaced by U+FFFD.
std::string ValidUtf8(const std::string& text);

}  // namespace bq::records
