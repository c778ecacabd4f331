// bootquarn-cli history [filters] [--json | --csv] [--summary]: the production
// records, newest first. With a records server named, every bench's records;
// otherwise this bench's own.
#include <cstdio>
#include <iostream>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "cli/cli_commands.h"
#include "cli/cli_session.h"
#include "cli/i18n.h"
#include "records/record_json.h"
#include "records/record_query.h"
#include "records/record_store.h"
#include "records/records_csv.h"
#include "shell/app_paths.h"

namespace bq::cli {

namespace {

using records::ProductionRecord;

struct HistoryOptions {
  std::optional<int64_t> serial;
  std::optional<std::string> since;
  std::optional<std::string> until;
  std::optional<std::string> result;
  std::optional<int64_t> product;
  std::optional<std::string> bench;
  size_t limit = 0;
  bool json = false;
  bool csv = false;
  bool summary = false;
};

std::string Padded(std::string text, size_t width) {
  if (text.size() < width) text.append(width - text.size(), ' ');
  return text;
}

std::string TwoDigits(int64_t value) {
  char text[24];
  std::snprintf(text, sizeof text, "%02lld", static_cast<long long>(value));
  return text;
}

std::string BaseName(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// One line: when, bench, command, result, device, file, and what failed.
std::string HumanLine(const ProductionRecord& r) {
  std::string line = r.startedAt + "  " + Padded(r.bench, 12) + "  " + Padded(r.command, 14) +
                     "  " + Padded(records::ResultText(r.result), 9);
  const auto& d = r.device;
  const auto& f = r.file;
  std::string serial = d.serialNumber ? std::to_string(*d.serialNumber) : "?";
  if (f.serialNumber && f.serialNumber != d.serialNumber) {
    serial += " -> " + std::to_string(*f.serialNumber);
  }
  line += "  NS " + serial;
  if (const auto product = records::ProductOf(r)) line += "  P" + TwoDigits(*product);
  if (f.version && f.revision) {
    line += "  V" + std::to_string(*f.version) + "." + TwoDigits(*f.revision);
  }
  if (!r.port.empty()) line += "  " + r.port;
  if (f.path) line += "  " + BaseName(*f.path);
  if (r.failure.phase || r.failure.message) {
    line += "  [";
    if (r.failure.phase) line += *r.failure.phase;
    if (r.failure.address) {
      char address[24];
      std::snprintf(address, sizeof address, " @%06llX",
                    static_cast<unsigned long long>(*r.failure.address));
      line += address;
    }
    if (r.failure.message) line += (r.failure.phase ? ": " : "") + *r.failure.message;
    line += "]";
  }
  return line;
}

std::string SecondsText(double seconds) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f s", seconds);
  return text;
}

void PrintSummary(const std::vector<records::ProductSummary>& summary) {
  const char* results[] = {"ok", "refused", "declined", "cancelled", "failed"};
  std::cout << Padded(_("product"), 8);
  for (const char* r : results) std::cout << "  " << Padded(r, 9);
  std::cout << "  " << Padded(_("total"), 7) << "  " << _("median write") << '\n';
  for (const auto& s : summary) {
    std::cout << Padded(s.productCode ? "P" + TwoDigits(*s.productCode) : "?", 8);
    for (const char* r : results) {
      const auto it = s.byResult.find(r);
      std::cout << "  " << Padded(std::to_string(it == s.byResult.end() ? 0 : it->second), 9);
    }
    std::cout << "  " << Padded(std::to_string(s.total), 7) << "  ";
    if (s.medianWriteSeconds) {
      std::cout << Fill(_("%1 (%2 writes)"),
                        {SecondsText(*s.medianWriteSeconds), std::to_string(s.writes)});
    } else {
      std::cout << "-";
    }
    std::cout << '\n';
  }
}

nlohmann::json SummaryJson(const std::vector<records::ProductSummary>& summary) {
  nlohmann::json list = nlohmann::json::array();
  for (const auto& s : summary) {
    list.push_back(
        {{"productCode", s.productCode ? nlohmann::json(*s.productCode) : nlohmann::json()},
         {"byResult", s.byResult},
         {"total", s.total},
         {"medianWriteSeconds",
          s.medianWriteSeconds ? nlohmann::json(*s.medianWriteSeconds) : nlohmann::json()},
         {"writes", s.writes}});
  }
  return list;
}

int RunHistory(const HistoryOptions& o) {
  records::RecordFilter filter;
  filter.serialNumber = o.serial;
  filter.result = o.result;
  filter.productCode = o.product;
  filter.bench = o.bench;
  filter.limit = o.limit;
  if (o.since) filter.since = records::DateBound(*o.since, false);
  if (o.until) filter.until = records::DateBound(*o.until, true);

  const AppPaths paths = DefaultAppPaths();
  records::RecordStore store(records::RecordsConfigFor(paths.dataRoot, paths.settingsFile));
  const records::QueryReport report = store.Query(filter);
  std::vector<std::string> warnings;
  if (!report.warning.empty()) {
    warnings.push_back(report.warning);
    std::cerr << report.warning << '\n';
  }

  nlohmann::json object = {{"source", report.source}, {"fleet", report.fleet}};
  if (o.summary) {
    const auto summary = records::Summarise(report.records);
    if (o.json) {
      object["summary"] = SummaryJson(summary);
    } else {
      PrintSummary(summary);
    }
  } else if (o.csv) {
    records::WriteRecordsCsv(std::cout, report.records);
  } else if (o.json) {
    nlohmann::json list = nlohmann::json::array();
    for (const ProductionRecord& r : report.records) list.push_back(records::RecordToJson(r));
    object["records"] = list;
  } else {
    for (const ProductionRecord& r : report.records) std::cout << HumanLine(r) << '\n';
    if (report.records.empty()) std::cerr << _("No production record found.") << '\n';
  }
  if (o.json) {
    object["warnings"] = warnings;
    std::cout << DumpJson(object) << '\n';
  }
  std::cout << std::flush;
  return kExitOk;
}

std::string CheckDate(const std::string& text) {
  return records::DateBound(text, false)
             ? std::string()
             : std::string(_("not a date: use YYYY-MM-DD or YYYY-MM-DDTHH:MM[:SS] (UTC)"));
}

}  // namespace

void AddHistoryCommand(CLI::App& app, int* exitCode) {
  auto* cmd = app.add_subcommand("history", _("List the production records, newest first"));
  auto o = std::make_shared<HistoryOptions>();
  cmd->add_option_function<int64_t>(
         "--serial", [o](const int64_t& n) { o->serial = n; },
         _("Only the records of this serial number (the device's before, or the file's)"))
      ->check(
          [](const std::string& text) {
            const bool digits = !text.empty() && text.size() <= 18 &&
                                text.find_first_not_of("0123456789") == std::string::npos;
            return digits ? std::string() : std::string(_("not a serial number"));
          },
          "N");
  cmd->add_option_function<std::string>(
         "--since", [o](const std::string& d) { o->since = d; },
         _("Only records started on or after this date or time (UTC)"))
      ->check(CheckDate, "DATE");
  cmd->add_option_function<std::string>(
         "--until", [o](const std::string& d) { o->until = d; },
         _("Only records started before this time, or on or before this date (UTC)"))
      ->check(CheckDate, "DATE");
  cmd->add_option_function<std::string>(
         "--result", [o](const std::string& r) { o->result = r; },
         _("Only records with this result"))
      ->check(CLI::IsMember({"ok", "refused", "declined", "cancelled", "failed"}));
  cmd->add_option_function<int64_t>(
         "--product", [o](const int64_t& p) { o->product = p; },
         _("Only records of this product code (the file's, or the device's)"))
      ->check(CLI::Range(0, 255));
  cmd->add_option_function<std::string>(
      "--bench", [o](const std::string& b) { o->bench = b; },
      _("Only records of this bench (its computer's host name)"));
  cmd->add_option("--limit", o->limit, _("At most this many records"))
      ->check(CLI::NonNegativeNumber);
  auto* json = cmd->add_flag("--json", o->json,
                             _("Print {\"records\": [...], \"source\", \"fleet\", \"warnings\"} "
                               "on stdout"));
  auto* csv = cmd->add_flag("--csv", o->csv, _("Print the records as CSV on stdout"));
  auto* summary = cmd->add_flag(
      "--summary", o->summary,
      _("Count the records by product and result, with the median write time per product"));
  json->excludes(csv);
  csv->excludes(summary);
  cmd->callback([exitCode, o] {
    try {
      *exitCode = RunHistory(*o);
    } catch (const std::exception& e) {
      std::cerr << Fill(_("Cannot read the production records: %1."), {e.what()}) << '\n';
      *exitCode = kExitFailure;
    }
  });
}

}  // namespace bq::cli
