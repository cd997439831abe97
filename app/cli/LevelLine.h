#pragma once
// zav-record --levels: the RMS level of each recorded source over one second, from the
// reports the recording sends (about 20 a second), as one line of text. Pure.

#include <string>

#include "Levels.h"

namespace zav {

class LevelAverage {
 public:
  // Adds one report's levels; an inactive source adds silence.
  void Add(const LevelReport& report);
  // "mic -12.3 speaker -18.0": the mean power of the reports since the last call, in dBFS with
  // one decimal, for the sources asked (the floor when nothing came); then starts afresh.
  std::string TakeLine(bool microphone, bool systemSound);

 private:
  double micPower_ = 0;
  double speakerPower_ = 0;
  int reports_ = 0;
};

}  // namespace zav
