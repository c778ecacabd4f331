#pragma once
// The cable finder ("Qual Porta?"): finds the port of a USB serial cable by
// comparing the ports present before and after the operator plugs it in.
// A pure state machine; the dialog feeds it clicks and one-second ticks and
// paints what View() says.

#include <cstdint>
#include <string>
#include <vector>

namespace bq {

class PortLister;

struct FinderColour {
  uint8_t r = 0, g = 0, b = 0;
  friend bool operator==(const FinderColour&, const FinderColour&) = default;
};

inline constexpr FinderColour kFinderBlack{0, 0, 0};
inline constexpr FinderColour kFinderGreen{0, 128, 0};
inline constexpr FinderColour kFinderRed{255, 0, 0};

// The button that should take the focus (only while the dialog is visible).
enum class FinderFocus { None, CaboDesconectado, CaboConectado, Ok };

// What the dialog shows: lbPasso's text and colour, the buttons' visibility.
struct CableFinderView {
  std::string text;
  FinderColour colour = kFinderBlack;
  bool caboDesconectadoVisible = true;  // botCaboDesconectado
  bool caboConectadoVisible = false;    // btnCaboCONECTADO
  bool okVisible = false;               // botOk
  FinderFocus focus = FinderFocus::None;
};

inline constexpr const char* kFinderNothingFound = "x-x";
inline constexpr int kFinderCountdown = 5;

class CableFinder {
 public:
  explicit CableFinder(PortLister& lister);

  // Step 1 with empty snapshots; also "Reiciar Procura". Leaves the timer as it is.
  void Reset();
  // "Clique Aqui quando cabo desconectado": restarts the timer, counts down in step 2.
  void CaboDesconectadoClick();
  // "Clique Aqui quando cabo CONECTADO": looks for the new port in step 4.
  void CaboConectadoClick();
  // One tick of the one-second timer; ignored while the timer is stopped.
  void Tick();

  int Step() const { return step_; }
  int Countdown() const { return countdown_; }
  const std::string& FoundName() const { return foundName_; }
  const std::vector<std::string>& Before() const { return before_; }
  const std::vector<std::string>& After() const { return after_; }
  const CableFinderView& View() const { return view_; }

  bool TimerRunning() const { return timerRunning_; }
  // Grows each time the timer must start again from zero (its next tick 1000 ms later).
  unsigned TimerRestarts() const { return timerRestarts_; }

  // The new port between two snapshots, compared without regard to case; empty
  // unless exactly one port was added and none removed.
  static std::string FindAddedPort(const std::vector<std::string>& before,
                                   const std::vector<std::string>& after);
  static std::string StepText(int step, int countdown, const std::string& foundName);

 private:
  void ShowStep();

  PortLister& lister_;
  int step_ = 1;
  int countdown_ = 0;
  std::vector<std::string> before_;
  std::vector<std::string> after_;
  std::string foundName_ = kFinderNothingFound;
  CableFinderView view_;
  bool timerRunning_ = true;  // the timer ticks from the dialog's creation
  unsigned timerRestarts_ = 0;
};

}  // namespace bq
