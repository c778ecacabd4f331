#pragma once
// Production records as CSV, for a spreadsheet: one header line, then one
// line per record, with the columns of the record.

#include <ostream>
#include <string>
#include <vector>

#include "records/production_record.h"

namespace bq::records {

// Comma-separated, CR LF line ends, fields quoted where they need it (RFC
// 4180). A text that a spreadsheet would take for a formula (one starting
// with =, +, -, @, a tab or a CR) is written with a leading apostrophe.
void WriteRecordsCsv(std::ostream& out, const std::vector<ProductionRecord>& records);

// One field as WriteRecordsCsv writes a text.
std::string CsvField(const std::string& text);

}  // namespace bq::records
