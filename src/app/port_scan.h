#pragma once
// "Procura Porta" and "Procura Porta ( Sensor Zircon ou Zircon Box )": walk the
// port list until a probe answers, select that port and name it.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace bq {

class Station;

enum class ScanResult { None, QuarnBootLoader, Arvex, Delmo, ZirconBoxAmarelo, SensorZircon };

const char* ScanResultName(ScanResult result);

// A listed port the scan could not open, and the system's reason.
struct SkippedPort {
  std::string port;
  std::string reason;
};

struct ScanOutcome {
  ScanResult result = ScanResult::None;
  std::string port;  // the entry selected at the end (the last one when nothing answered)
  std::optional<uint16_t> baudRate;  // the rate the device answered at
  int portsListed = 0;               // entries in the refreshed list
  // Ports that would not open (held by another program, gone, ...): not
  // scanned, and named in the not-found box after its text.
  std::vector<SkippedPort> skipped;

  int PortsScanned() const { return portsListed - static_cast<int>(skipped.size()); }
};

// "could not open PORT: REASON", the line that names a skipped port.
std::string SkippedPortText(const SkippedPort& skipped);

// Boot loader on every port, then a Delmo, then an Arvex. Saves the settings
// and tells the operator. A port error ends the scan and propagates; the port
// is closed however it ends.
ScanOutcome ScanPorts(Station& st);
// ZirconBox Amarelo, then (after a pause) Sensor Zircon, port by port.
ScanOutcome ScanZirconPorts(Station& st);

// The handlers: lbAviso shown and botProcuraPorta hidden while the scan runs;
// an error ends the scan without a message.
void botProcuraPortaClick(Station& st);
void btnProcuraPortaSensorZirconClick(Station& st);

}  // namespace bq
