#pragma once
// A device's boot loader played behind a pseudo-terminal, on a thread of its
// own, optionally behind an accessory's application (SimOptions::personality)
// that must be switched into boot mode first. Tools open PortPath() like any
// serial port; tests inspect the device's memories and the requests it
// received through the accessors below. Every public member is safe to call
// from any thread.
//
// Swapping the board on a port: start a second device with the same linkPath.
// It points the link at itself, so the next open of the port reaches it; the
// first device leaves the link alone from then on, also when it stops.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

#include "accessory.h"
#include "sim_options.h"

namespace bq::sim {

// A failure to set the device up (pseudo-terminal, symlink), with the OS error.
class SimError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// What became of one received request.
enum class RequestOutcome {
  kAnswered,   // a reply went out (possibly mangled by a reply fault)
  kSilent,     // no reply by design: ResetRun, or a command this loader does not know
  kDropped,    // a drop fault swallowed the reply
  kUnplugged,  // an unplug fault struck at this request
};

// One request as the device understood it: a boot frame, or whatever the
// accessory's application recognised (a link or QX frame, a control run).
struct Request {
  uint64_t index = 0;  // 0-based count of valid requests of every kind since Start
  RequestKind kind = RequestKind::kBootFrame;
  uint8_t command = 0;           // payload byte 0 (0 for an empty payload); a run's letter
  std::vector<uint8_t> payload;  // the whole payload, command code included; a run's letters
  std::vector<uint8_t> reply;    // the reply payload (or text) as intended, before reply faults
  RequestOutcome outcome = RequestOutcome::kAnswered;
  bool entersBoot = false;  // the accessory restarted into its boot loader on this request
  std::chrono::steady_clock::time_point time;  // when its last byte was read
};

struct DeviceIdentityView {
  uint16_t serialNumber = 0;
  uint8_t firmwareVersion = 0;
  uint8_t firmwareRevision = 0;
  uint8_t productCode = 0;
};

struct SimStats {
  uint64_t bytesReceived = 0;       // everything read from the line
  uint64_t bytesWrongRate = 0;      // read while the line ran at another rate: discarded
  uint64_t badChecksums = 0;        // complete frames dropped for their checksum or check byte
  uint64_t ignoredOutsideBoot = 0;  // bytes received while an application that hears nothing runs
  uint64_t repliesSent = 0;
  uint64_t unplugs = 0;
};

class VirtualDevice {
 public:
  explicit VirtualDevice(SimOptions options);
  ~VirtualDevice();  // stops the device
  VirtualDevice(const VirtualDevice&) = delete;
  VirtualDevice& operator=(const VirtualDevice&) = delete;

  // Opens the pseudo-terminal and starts answering. Throws SimError.
  void Start();
  // Stops the thread and closes the pseudo-terminal (removes the symlink).
  void Stop();

  // The port a tool opens: the symlink when one is configured, else the slave.
  std::string PortPath() const;
  // The current slave device, e.g. /dev/pts/7 (empty while unplugged).
  std::string SlavePath() const;

  std::vector<uint8_t> Flash() const;   // 0x20000 bytes
  std::vector<uint8_t> Eeprom() const;  // 4096 bytes
  // Replaces part of the flash as if the device had been programmed elsewhere.
  void LoadFlash(uint32_t address, const std::vector<uint8_t>& bytes);
  uint8_t ProductCode() const;
  DeviceIdentityView Identity() const;
  uint16_t BootLoaderVersion() const;
  uint32_t BaudRate() const;

  std::vector<Request> Requests() const;
  // Waits until at least `count` requests have been received; false on time-out.
  bool WaitForRequests(size_t count, std::chrono::milliseconds timeout) const;
  SimStats Stats() const;

  bool InBootMode() const;
  // Waits until the device runs its boot loader; false on time-out.
  bool WaitForBootMode(std::chrono::milliseconds timeout) const;
  // As the operator holding the boot button while the device restarts.
  void EnterBootMode();
  // Pulls the cable: the tool sees a hang-up; the symlink disappears unless
  // another device has taken it over.
  void Unplug();
  // Plugs the device back in: a new pseudo-terminal, the symlink pointed at
  // it, boot mode (an accessory too: it was being programmed).
  void Replug();
  bool Plugged() const;

  // Called on the device's thread after each request (for a program's log).
  void SetRequestObserver(std::function<void(const Request&)> observer);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace bq::sim
