#pragma once
// A Context whose port talks to a pseudo-terminal peer.

#include <gtest/gtest.h>

#include "pty_peer.h"
#include "recording_operator.h"
#include "serial/boot_port.h"
#include "shell/context.h"

namespace bq::test {

class PortFixture : public ::testing::Test {
 protected:
  void OpenPort(uint16_t baud = 38400) { ASSERT_TRUE(OpenBootPort(ctx, baud, peer.SlaveName())); }
  TComPortGPS& port() { return ctx.ComPortQuarn; }

  RecordingOperator ui;
  Context ctx{ui, AppPaths{}};
  PtyPeer peer;
};

}  // namespace bq::test
