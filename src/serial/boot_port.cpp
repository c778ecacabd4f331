#include "serial/boot_port.h"

#include <chrono>
#include <thread>

#include "shell/operator_interface.h"

namespace bq {

namespace {

void Sleep(int ms) {
  std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

}  // namespace

bool OpenBootPort(TComPortGPS& port, OperatorInterface& ui, uint16_t baud,
                  const std::string& portName) {
  if (port.IsOpen()) {
    CloseBootPort(port);
    Sleep(150);
  }
  port.SetBufferSizes(4000, 2000);
  port.SetDtrControl(true);
  port.SetRtsControl(true);
  port.SetBaudRate(baud);
  port.SetHighPriority(true);
  port.SetTimeouts(kOpenTimeouts);
  // Port names are device paths here; nothing to prefix.
  if (portName.empty()) {
    ui.ShowMessage(" Falta configurar porta");
    return false;
  }
  try {
    port.SetDeviceName(portName);
    port.Open();
    port.ResetDevice();
    port.PurgeInput();
    port.PurgeOutput();
    port.SetDTR();
    port.ClearRTS();
  } catch (const PortError&) {
    return false;
  }
  return true;
}

void CloseBootPort(TComPortGPS& port) {
  if (!port.IsOpen()) return;
  for (int waits = 0; waits < 11 && port.OutputCount() != 0; ++waits) Sleep(100);
  // Bytes already written still leave: a pseudo-terminal always counts an empty
  // output queue, and a command's last words (a bridge's closing run, a restart
  // request) must not be thrown away. Only what came in is discarded.
  if (port.OutputCount() == 0) {
    try {
      port.Flush();
    } catch (const PortError&) {
      // The device is gone; nothing left to deliver.
    }
  } else {
    port.PurgeOutput();  // output that never leaves is given up
  }
  port.ResetDevice();
  port.PurgeInput();
  port.Close();
}

bool ReadByteTimed(TComPortGPS& port, uint8_t& byte) {
  try {
    byte = port.ReadByte();
    return true;
  } catch (const PortError&) {
    return false;
  }
}

void ApplyReadTimeouts(TComPortGPS& port, const Timeouts& set) {
  Timeouts t = port.GetTimeouts();
  t.readInterval = set.readInterval;
  t.readMultiplier = set.readMultiplier;
  t.readConstant = set.readConstant;
  port.SetTimeouts(t);
}

}  // namespace bq
