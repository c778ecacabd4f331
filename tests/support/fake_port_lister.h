#pragma once
// A port lister whose answers the test sets: the port list's names, and the
// snapshots of present ports handed out one per call (the last one repeats),
// and, when set, what is known about each listed port.

#include <deque>
#include <string>
#include <vector>

#include "serial/port_list.h"

namespace bq::test {

class FakePortLister : public PortLister {
 public:
  std::vector<std::string> ports;
  std::deque<std::vector<std::string>> snapshots;
  std::vector<PortInfo> infos;  // empty: ports, names only
  int snapshotCalls = 0;

  std::vector<std::string> ListPorts() override { return ports; }
  std::vector<PortInfo> DescribePorts() override {
    return infos.empty() ? PortLister::DescribePorts() : infos;
  }
  std::vector<std::string> ListPresentPorts() override {
    ++snapshotCalls;
    if (snapshots.empty()) return {};
    std::vector<std::string> next = snapshots.front();
    if (snapshots.size() > 1) snapshots.pop_front();
    return next;
  }
};

}  // namespace bq::test
