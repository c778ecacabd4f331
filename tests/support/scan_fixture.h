#pragma once
// Virtual devices on pseudo-terminals, listed as the machine's ports in a
// chosen order, and a context whose scans walk them.

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "app/context.h"
#include "app/station.h"
#include "recording_operator.h"
#include "serial/boot_port.h"
#include "virtual_device.h"

namespace bq::test {

// The port list a scan walks: exactly these names, in this order.
class ListedPorts : public PortLister {
 public:
  explicit ListedPorts(std::vector<std::string>* ports) : ports_(ports) {}
  std::vector<std::string> ListPorts() override { return *ports_; }
  std::vector<std::string> ListPresentPorts() override { return *ports_; }

 private:
  std::vector<std::string>* ports_;
};

class ScanFixture : public ::testing::Test {
 protected:
  ScanFixture() {
    ctx.portLister = std::make_unique<ListedPorts>(&ports);
    ctx.productNameList = {"P0", "P1", "P2"};
    const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
    ctx.paths.settingsFile =
        ::testing::TempDir() + "scan_" + test->name() + "_" + std::to_string(::getpid()) + ".ini";
  }
  void TearDown() override {
    CloseBootPort(station.ComPortQuarn);
    for (auto& d : devices) d->Stop();
  }

  // A device of that personality, its port appended to the list.
  sim::VirtualDevice& AddDevice(sim::Personality personality) {
    sim::SimOptions options;
    options.personality = personality;
    options.serialNumber = 0x1234;
    options.productCode = 2;
    devices.push_back(std::make_unique<sim::VirtualDevice>(options));
    devices.back()->Start();
    ports.push_back(devices.back()->PortPath());
    return *devices.back();
  }

  // Selects the entry of port as the operator would, without opening it.
  void SelectPort(const std::string& port) {
    ctx.portList->Clear();
    for (const auto& p : ports) ctx.portList->Add(p);
    for (int i = 0; i < ctx.portList->Count(); ++i) {
      if (ctx.portList->Item(i) == port) ctx.portList->Select(i);
    }
    ctx.settings.portName = port;
  }

  // The letters of the control runs the device heard, in order.
  static std::string Runs(const sim::VirtualDevice& device) {
    std::string runs;
    for (const auto& r : device.Requests()) {
      if (r.kind == sim::RequestKind::kLetterRun) runs += static_cast<char>(r.command);
    }
    return runs;
  }

  static double SecondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  }

  RecordingOperator ui;
  Context ctx{ui, AppPaths{}};
  Station station{ctx, ui};
  std::vector<std::string> ports;
  std::vector<std::unique_ptr<sim::VirtualDevice>> devices;
};

}  // namespace bq::test
