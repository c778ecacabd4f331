#pragma once
// A virtual boot loader on a real pseudo-terminal, a context whose settings point
// at it, and a recording operator.

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <thread>
#include <vector>

#include "app/context.h"
#include "recording_operator.h"
#include "serial/boot_port.h"
#include "sim_device_fixture.h"
#include "virtual_device.h"

namespace bq::test {

class DeviceFixture : public SimDeviceFixture {
 protected:
  // Opens the port at the device's rate under the short probe waits, so that a
  // missing reply costs about 110 ms.
  void OpenAtDeviceRate() {
    ASSERT_TRUE(OpenBootPort(station.ComPortQuarn, ctx.ui,
                             static_cast<uint16_t>(device->BaudRate()), ctx.settings.portName));
    ApplyReadTimeouts(station.ComPortQuarn, ProbeTimeouts);
  }

  // The request payloads the device received so far, after a short settle for
  // requests that need no reply.
  std::vector<std::vector<uint8_t>> ReceivedPayloads(size_t atLeast = 0) {
    if (atLeast) device->WaitForRequests(atLeast, std::chrono::milliseconds(1000));
    std::vector<std::vector<uint8_t>> payloads;
    for (const auto& r : device->Requests()) payloads.push_back(r.payload);
    return payloads;
  }

  // The image as the device holds it now, so compares succeed.
  void CopyDeviceMemoryIntoImage() {
    auto flash = device->Flash();
    auto eeprom = device->Eeprom();
    std::copy(flash.begin(), flash.end(), station.image->flash.begin());
    std::copy(eeprom.begin(), eeprom.end(), station.image->eeprom.begin());
  }
};

// A device set up by `setup` from the default options.
template <typename F>
sim::SimOptions Options(F setup) {
  sim::SimOptions options;
  setup(options);
  return options;
}

inline sim::Fault AtRequest(sim::FaultKind kind, uint64_t request) {
  sim::Fault fault;
  fault.kind = kind;
  fault.request = request;
  return fault;
}

inline sim::Fault AtAddress(sim::FaultKind kind, uint32_t address) {
  sim::Fault fault;
  fault.kind = kind;
  fault.address = address;
  return fault;
}

using Payloads = std::vector<std::vector<uint8_t>>;

inline std::vector<uint8_t> Concat(std::vector<uint8_t> head, const uint8_t* data, size_t n) {
  head.insert(head.end(), data, data + n);
  return head;
}

}  // namespace bq::test
