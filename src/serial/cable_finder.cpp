#include "serial/cable_finder.h"

#include <algorithm>
#include <cctype>

#include "serial/port_list.h"
#include "shell/utilities.h"

namespace bq {
namespace {

bool Holds(const std::vector<std::string>& list, const std::string& name) {
  return std::any_of(list.begin(), list.end(),
                     [&](const std::string& item) { return EqualsIgnoringCase(item, name); });
}

}  // namespace

CableFinder::CableFinder(PortLister& lister) : lister_(lister) {
  Reset();
}

void CableFinder::Reset() {
  step_ = 1;
  ShowStep();
  before_.clear();
  after_.clear();
  foundName_ = kFinderNothingFound;
}

void CableFinder::CaboDesconectadoClick() {
  timerRunning_ = true;
  ++timerRestarts_;
  step_ = 2;
  countdown_ = kFinderCountdown;
  ShowStep();
}

void CableFinder::CaboConectadoClick() {
  step_ = 4;
  countdown_ = kFinderCountdown;
  ShowStep();
}

void CableFinder::Tick() {
  if (!timerRunning_) return;
  if (step_ == 2) {
    --countdown_;
    ShowStep();
    if (countdown_ <= 0) {
      before_ = lister_.ListPresentPorts();
      step_ = 3;
      ShowStep();
    }
  } else if (step_ == 4) {
    --countdown_;
    ShowStep();
    after_ = lister_.ListPresentPorts();
    std::string added = FindAddedPort(before_, after_);
    if (!added.empty()) {
      foundName_ = added;
      timerRunning_ = false;
      step_ = 5;
      ShowStep();
    }
    if (countdown_ <= 0 && step_ == 4) {
      step_ = 6;
      ShowStep();
    }
  }
}

std::string CableFinder::FindAddedPort(const std::vector<std::string>& before,
                                       const std::vector<std::string>& after) {
  for (const auto& name : before) {
    if (!Holds(after, name)) return {};  // a port went away: the comparison proves nothing
  }
  std::vector<std::string> added;
  for (const auto& name : after) {
    if (!Holds(before, name) && !Holds(added, name)) added.push_back(name);
  }
  return added.size() == 1 ? added.front() : std::string();
}

std::string CableFinder::StepText(int step, int countdown, const std::string& foundName) {
  switch (step) {
    case 1:
      return "Passo 1 : Desconecte o cabo serial do computador.";
    case 2:
      return "Passo 2 : aguarde " + std::to_string(countdown) + " segundo(s)...";
    case 3:
      return "Passo 3 : Agora CONECTE o cabo serial.";
    case 4:
      return "Passo 4 : procurando cabo (" + std::to_string(countdown) + ")...";
    case 5:
      return "Cabo encontrado na porta serial " + foundName;
    case 6:
      return "Falha: não encontrou cabo!";
    default:
      return "Passo indefinido";
  }
}

void CableFinder::ShowStep() {
  view_.text = StepText(step_, countdown_, foundName_);
  view_.focus = FinderFocus::None;
  bool known = step_ >= 1 && step_ <= 6;
  view_.caboDesconectadoVisible = step_ == 1;
  if (known) view_.caboConectadoVisible = step_ == 3;
  switch (step_) {
    case 1:
      view_.colour = kFinderBlack;
      view_.okVisible = false;
      view_.focus = FinderFocus::CaboDesconectado;
      break;
    case 3:
      view_.focus = FinderFocus::CaboConectado;
      break;
    case 5:
      view_.colour = kFinderGreen;
      view_.okVisible = true;
      view_.focus = FinderFocus::Ok;
      break;
    case 6:
      view_.colour = kFinderRed;
      break;
    default:
      break;
  }
}

}  // namespace bq
