#include "boot/boot_connection.h"

#include "serial/boot_port.h"

namespace bq {

BaudDetection DetectBootBaudRate(BootLink link, const std::string& portName,
                                 uint16_t preferredRate) {
  const bool slowFirst = preferredRate == kSlowBootRate;
  BaudDetection result;
  for (uint16_t rate :
       {slowFirst ? kSlowBootRate : kFastBootRate, slowFirst ? kFastBootRate : kSlowBootRate}) {
    if (!OpenBootPort(link.port, link.ui, rate, portName)) return result;
    ApplyReadTimeouts(link.port, ProbeTimeouts);
    result.probed = true;
    if (auto version = ReadBootVersion(link)) {
      result.rate = rate;
      result.version = *version;
      // Reopening puts back the open's time-outs and clears the buffers.
      result.reopened = OpenBootPort(link.port, link.ui, rate, portName);
      return result;
    }
  }
  return result;
}

}  // namespace bq
