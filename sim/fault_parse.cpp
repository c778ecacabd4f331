// The command-line form of a fault.
#include <cctype>
#include <limits>
#include <stdexcept>
#include <string>

#include "sim_options.h"

namespace bq::sim {
namespace {

struct KindName {
  const char* name;
  FaultKind kind;
};

constexpr KindName kKinds[] = {
    {"drop", FaultKind::kDropReply},      {"corrupt", FaultKind::kCorruptReply},
    {"wrongcode", FaultKind::kWrongCode}, {"unplug", FaultKind::kUnplug},
    {"failwrite", FaultKind::kFailWrite}, {"corruptwrite", FaultKind::kCorruptWrite},
};

[[noreturn]] void Malformed(const std::string& text) {
  throw std::invalid_argument("malformed fault '" + text +
                              "' (expected KIND@REQUEST, unplug@REQUEST+MS or "
                              "failwrite:ADDRESS*TIMES, each after an optional DEVICE:)");
}

// A whole unsigned number in decimal, or hexadecimal with 0x.
unsigned long long Number(const std::string& digits, const std::string& text) {
  if (digits.empty() || digits[0] == '-' || digits[0] == '+') Malformed(text);
  size_t used = 0;
  unsigned long long value = 0;
  try {
    value = std::stoull(digits, &used, 0);
  } catch (const std::exception&) {
    Malformed(text);
  }
  if (used != digits.size()) Malformed(text);
  return value;
}

FaultKind KindOf(const std::string& name, const std::string& text) {
  for (const auto& k : kKinds) {
    if (name == k.name) return k.kind;
  }
  Malformed(text);
}

}  // namespace

Fault ParseFault(const std::string& text) {
  const size_t at = text.find_first_of("@:");
  if (at == std::string::npos) Malformed(text);
  Fault fault;
  fault.kind = KindOf(text.substr(0, at), text);
  std::string rest = text.substr(at + 1);
  if (text[at] == '@') {
    if (fault.kind == FaultKind::kUnplug) {
      const size_t plus = rest.find('+');
      if (plus != std::string::npos) {
        fault.replugAfterMs = static_cast<int>(Number(rest.substr(plus + 1), text));
        rest.resize(plus);
      }
    }
    fault.request = Number(rest, text);
    return fault;
  }
  if (fault.kind != FaultKind::kFailWrite && fault.kind != FaultKind::kCorruptWrite) {
    Malformed(text);
  }
  const size_t star = rest.find('*');
  if (star != std::string::npos) {
    fault.times = static_cast<unsigned>(Number(rest.substr(star + 1), text));
    rest.resize(star);
  }
  fault.address = static_cast<uint32_t>(Number(rest, text));
  return fault;
}

// A fault's kind starts with a letter, so a leading run of digits before ':'
// can only be a device number.
DeviceFault ParseDeviceFault(const std::string& text) {
  size_t digits = 0;
  while (digits < text.size() && std::isdigit(static_cast<unsigned char>(text[digits]))) ++digits;
  DeviceFault result;
  std::string rest = text;
  if (digits > 0) {
    if (digits >= text.size() || text[digits] != ':') Malformed(text);
    unsigned long long device = 0;  // decimal: a leading 0 is not octal here
    for (size_t i = 0; i < digits; ++i) {
      device = device * 10 + static_cast<unsigned>(text[i] - '0');
      if (device > std::numeric_limits<unsigned>::max()) Malformed(text);
    }
    result.device = static_cast<unsigned>(device);
    rest = text.substr(digits + 1);
  }
  try {
    result.fault = ParseFault(rest);
  } catch (const std::invalid_argument&) {
    Malformed(text);
  }
  return result;
}

}  // namespace bq::sim
