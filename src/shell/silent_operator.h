#pragma once
// An operator interface that shows nothing and answers every question No, for
// runs where nobody watches (benchmarks, batch tools). Override what you need.

#include "shell/operator_interface.h"

namespace bq {

class SilentOperator : public OperatorInterface {
 public:
  void ShowStatus(const std::string&, bool) override {}
  void ShowMessage(const std::string&) override {}
  void ShowErrorBox(const std::string&) override {}
  Answer Confirm(const std::string&) override { return Answer::No; }
  void ProcessMessages() override {}
  void SetProgressMin(uint32_t) override {}
  void SetProgressMax(uint32_t) override {}
  void SetProgressPosition(uint32_t) override {}
  void SetDeviceCommandsEnabled(bool) override {}
};

}  // namespace bq
