#include "LevelLine.h"

#include <cmath>
#include <cstdio>

#include "LevelMeter.h"

namespace zav {
namespace {

double PowerOf(const SourceLevel& level) { return level.active ? DbToPower(level.rmsDb) : 0.0; }

void AppendLevel(std::string* line, const char* name, double meanPower) {
  char text[32];
  std::snprintf(text, sizeof text, "%s%s %.1f", line->empty() ? "" : " ", name, AmplitudeToDb(std::sqrt(meanPower)));
  *line += text;
}

}  // namespace

void LevelAverage::Add(const LevelReport& report) {
  micPower_ += PowerOf(report.microphone);
  speakerPower_ += PowerOf(report.systemSound);
  ++reports_;
}

std::string LevelAverage::TakeLine(bool microphone, bool systemSound) {
  const double count = reports_ > 0 ? reports_ : 1;
  std::string line;
  if (microphone) AppendLevel(&line, "mic", micPower_ / count);
  if (systemSound) AppendLevel(&line, "speaker", speakerPower_ / count);
  *this = LevelAverage{};
  return line;
}

}  // namespace zav
