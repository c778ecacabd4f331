#pragma once
// Probes that ask a port, at an accessory's own line rate, whether an accessory
// of one kind sits on it. Each opens the port and leaves it open, whatever it
// found; the caller closes it. None shows a message.

#include <cstdint>
#include <string>

#include "boot/boot_link.h"
#include "discovery/link_frame.h"

namespace bq {

// True when reply holds text, the letters a to z compared without case.
bool ReplyHolds(const Bytes& reply, const std::string& text);

// The Delmo's version query at kQxBaud: true when the reply holds "ver".
bool ProbeVersionReply(BootLink link, const std::string& portName);

// The bridge's 'N' and 'P' runs at baud: true when the reply holds "ponte_1".
// Unless keepState, the 'N' run goes once more at the end, answered or not,
// so that the bridge is left as it was found.
bool ProbeBridge(BootLink link, const std::string& portName, bool keepState, uint16_t baud);

// How an Arvex (or a device that answers the version query) was sent to boot mode.
enum class ArvexAnswer { None, Bridge, VersionQuery };

// The bridge probe keeping its state, then the 'O' run; when the bridge stays
// silent, the version query, then the QX boot-entry frame. No answer to either
// is awaited. The port is left open.
ArvexAnswer SendArvexToBoot(BootLink link, const std::string& portName);

}  // namespace bq
