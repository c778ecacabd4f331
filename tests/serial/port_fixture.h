#pragma once
// The serial port talking to a pseudo-terminal peer.

#include <gtest/gtest.h>

#include "pty_peer.h"
#include "recording_operator.h"
#include "serial/boot_port.h"

namespace bq::test {

class PortFixture : public ::testing::Test {
 protected:
  void OpenPort(uint16_t baud = 38400) {
    ASSERT_TRUE(OpenBootPort(port_, ui, baud, peer.SlaveName()));
  }
  TComPortGPS& port() { return port_; }

  RecordingOperator ui;
  TComPortGPS port_{MakeDefaultSerialBackend()};
  PtyPeer peer;
};

}  // namespace bq::test
