#pragma once
// A port lister whose answers the test sets: the port list's names, and the
// snapshots of present ports handed out one per call (the last one repeats).

#include <deque>
#include <string>
#include <vector>

#include "serial/port_list.h"

namespace bq::test {

class FakePortLister : public PortLister {
 public:
  std::vector<std::string> ports;
  std::deque<std::vector<std::string>> snapshots;
  int snapshotCalls = 0;

  std::vector<std::string> ListPorts() override { return ports; }
  std::vector<std::string> ListPresentPorts() override {
    ++snapshotCalls;
    if (snapshots.empty()) return {};
    std::vector<std::string> next = snapshots.front();
    if (snapshots.size() > 1) snapshots.pop_front();
    return next;
  }
};

}  // namespace bq::test
