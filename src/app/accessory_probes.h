#pragma once
// The accessory probes as the operator's commands use them: a probe that
// answers stores its rate in the settings and shows it as the rate found.

#include <cstdint>
#include <optional>
#include <string>

#include "discovery/accessory_identity.h"

namespace bq {

class Station;

// The Delmo's version query on the settings' port; the port is left open.
bool ProbeVersionReply(Station& st);
// The bridge runs on the settings' port; the port is left open.
bool ProbeBridge(Station& st, bool keepState, uint16_t baud);

// Opens portName at baud, reads the accessory's identity under the device
// command lock and logs it in the link data log, then closes the port. The
// settings' rate is what it was before, however the read ends.
std::optional<AccessoryIdentity> ReadAccessoryIdentity(Station& st, const std::string& portName,
                                                       bool prefixKE, uint16_t baud);
// The identity as the link data log shows it.
std::string AccessoryIdentityText(const Station& st, const AccessoryIdentity& id);
// The product-name list's entry for a code; empty past the list.
std::string AccessoryProductName(const Station& st, uint8_t productCode);

// ZirconBox Amarelo: "KE" frames at 9600 baud.
bool ProbeZirconBox(Station& st, const std::string& portName);
// Sensor Zircon: "NK" frames at 4545 baud.
bool ProbeZirconSensor(Station& st, const std::string& portName);

// A probe answered at baud: the settings hold it and the window shows it.
void RecordFoundRate(Station& st, uint16_t baud);

}  // namespace bq
