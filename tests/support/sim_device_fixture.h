#pragma once
// A virtual boot loader on a pseudo-terminal, a context whose settings point at
// it, and a recording operator: the starting point of every device test.

#include <gtest/gtest.h>

#include <memory>

#include "app/context.h"
#include "app/station.h"
#include "recording_operator.h"
#include "serial/boot_port.h"
#include "virtual_device.h"

namespace bq::test {

class SimDeviceFixture : public ::testing::Test {
 protected:
  void TearDown() override {
    CloseBootPort(station.ComPortQuarn);
    if (device) device->Stop();
  }

  sim::VirtualDevice& StartDevice(sim::SimOptions options = {}) {
    device = std::make_unique<sim::VirtualDevice>(std::move(options));
    device->Start();
    ctx.settings.portName = device->PortPath();
    ctx.settings.baudRate = static_cast<uint16_t>(device->BaudRate());
    return *device;
  }

  RecordingOperator ui;
  Context ctx{ui, AppPaths{}};
  Station station{ctx, ui};
  std::unique_ptr<sim::VirtualDevice> device;
};

}  // namespace bq::test
