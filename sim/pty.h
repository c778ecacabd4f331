#pragma once
// The device's end of the cable: a pseudo-terminal whose master the device
// reads and writes, plus a slave descriptor of its own so that a tool closing
// and reopening the port does not hang the line up.

#include <cstdint>
#include <string>

namespace bq::sim {

class Pty {
 public:
  Pty() = default;
  ~Pty() { Close(); }
  Pty(const Pty&) = delete;
  Pty& operator=(const Pty&) = delete;

  // Opens a raw pseudo-terminal at `rate`. Throws SimError with the OS error.
  void Open(uint32_t rate);
  void Close();
  bool IsOpen() const { return master_ >= 0; }

  int Master() const { return master_; }
  const std::string& SlavePath() const { return slavePath_; }

 private:
  int master_ = -1;
  int ownSlave_ = -1;
  std::string slavePath_;
};

// Points `link` at `target`, replacing an older link atomically (another
// device's too: that is how a board swap takes the port over). Throws SimError.
void PointLink(const std::string& link, const std::string& target);
// Removes `link` if it is a symlink to `target`; a link that another device
// has taken over, or anything else at that path, is left alone.
void RemoveLink(const std::string& link, const std::string& target);

}  // namespace bq::sim
