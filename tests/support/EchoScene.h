#pragma once
// A call on speakers, generated, and the measures taken on a recording of it.
//
// Two talkers: the far end (what the computer plays) and the near end (the person at the
// microphone), as speech-like signals: voiced syllables (pulses at a gliding pitch through
// three vowel formants) with unvoiced onsets, words of two to five syllables, pauses between
// words. The far end talks lower (about 120 Hz) than the near end (about 210 Hz). A scene has
// three sections: the far end alone, the near end alone, both at once (double talk).
//
// The measures place the scene in a recording by cross-correlation and look at a section of
// it: its level, or one talker's part of it (the gain by which its known signal appears, so
// that the other talker and what is left of the echo do not count).

#include <string>
#include <vector>

namespace zav::test {

struct EchoScene {
  int rate = 44100;
  double farAloneSeconds = 0;
  double nearAloneSeconds = 0;
  double bothSeconds = 0;
  std::vector<float> far;   // silent while the near end talks alone
  std::vector<float> near;  // silent while the far end talks alone

  double seconds() const { return farAloneSeconds + nearAloneSeconds + bothSeconds; }
  double nearFrom() const { return farAloneSeconds; }
  double bothFrom() const { return farAloneSeconds + nearAloneSeconds; }
};

// A scene at `rate`; each talker's active level is about -20 dBFS RMS.
EchoScene MakeEchoScene(double farAloneSeconds, double nearAloneSeconds, double bothSeconds, int rate = 44100);

// The call of the echo tests and the echo benchmark: the far end alone for 5 s, the near end
// alone for 3 s, both for 4 s.
EchoScene MakeCallScene();

// How a call is measured: the echo from kConvergedSeconds on (after the canceller's
// convergence), each talker's section from kGuardSeconds after its start (so that echo tails
// and the canceller's settling stay out).
inline constexpr double kConvergedSeconds = 2;
inline constexpr double kGuardSeconds = 0.5;

// Writes mono samples as a 16-bit stereo WAV. False when the file cannot be written.
bool WriteWav(const std::string& path, const std::vector<float>& samples, int rate);

// Where `signal` starts in `recorded`, in samples, looked for in [0, maxLag]: the lag of the
// largest cross-correlation. -1 when recorded is too short.
long FindOffset(const std::vector<float>& recorded, const std::vector<float>& signal, size_t maxLag);

// The seconds [from, to) of a scene that starts at `offset` in the recording, as sample indexes
// of the scene.
struct SceneSpan {
  long offset = 0;
  double from = 0;
  double to = 0;
  int rate = 44100;
};

// The gain, in dB, by which `signal` appears in recorded over the span (its projection).
double GainDb(const std::vector<float>& recorded, const std::vector<float>& signal, const SceneSpan& span);
// The level of recorded over the span, in dB of power (dBFS of RMS).
double LevelDb(const std::vector<float>& recorded, const SceneSpan& span);

}  // namespace zav::test
