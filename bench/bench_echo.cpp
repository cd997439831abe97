// bench_echo: the signals of the echo benchmark and its measures (bench/echo.sh).
//
//   bench_echo scene DIR             writes DIR/far.wav (what the computer plays) and
//                                    DIR/near.wav (the person at the microphone)
//   bench_echo talk SECONDS FILE     writes FILE: the far end talking for SECONDS
//   bench_echo measure mic FILE      a microphone-only recording of the scene
//   bench_echo measure both FILE     a Both-mode recording of the scene
//
// The scene is the echo tests' call (MakeCallScene in tests/support/EchoScene.h): the far
// end alone, the near end alone, both (double talk); the echo is measured after the
// canceller's convergence, each talker's section from a little after its start.
//
// "measure" prints key=value pairs (dB):
//   mic:  echo      level of the far-end section (the echo; nothing else plays then)
//         near      the near end's gain while it talks alone (the gain by which its signal
//                   appears: neither the echo nor a distortion of it counts)
//         dt_near   the same in double talk
//         dt_level  the level in double talk against the near end's own level there (what is
//                   heard of the near end, with what is left of the echo)
//   both: far       level of the far-end section of the mixed file
//         far_gain  the far end's gain in it

#include <cstdio>
#include <cstdlib>
#include <string>

#include "AudioFile.h"
#include "EchoScene.h"

namespace {

using namespace zav::test;

constexpr size_t kMaxLagSeconds = 5;  // the scene starts within this of the recording

int Usage() {
  std::fprintf(stderr, "usage: bench_echo scene DIR | talk SECONDS FILE | measure mic|both FILE\n");
  return 2;
}

EchoScene Scene() { return MakeCallScene(); }

int WriteScene(const std::string& dir) {
  const EchoScene scene = Scene();
  if (!WriteWav(dir + "/far.wav", scene.far, scene.rate) || !WriteWav(dir + "/near.wav", scene.near, scene.rate)) {
    std::fprintf(stderr, "bench_echo: cannot write into %s\n", dir.c_str());
    return 1;
  }
  std::printf("seconds=%.1f\n", scene.seconds());
  return 0;
}

int WriteTalk(const std::string& seconds, const std::string& path) {
  const double length = std::atof(seconds.c_str());
  if (length <= 0) return Usage();
  const EchoScene talk = MakeEchoScene(length, 0, 0);
  if (!WriteWav(path, talk.far, talk.rate)) {
    std::fprintf(stderr, "bench_echo: cannot write %s\n", path.c_str());
    return 1;
  }
  return 0;
}

int Measure(const std::string& kind, const std::string& path) {
  const DecodedAudio audio = DecodeFile(path);
  if (!audio.ok) {
    std::fprintf(stderr, "bench_echo: %s: %s\n", path.c_str(), audio.error.c_str());
    return 1;
  }
  const EchoScene scene = Scene();
  const std::vector<float>& recorded = audio.left;
  const size_t maxLag = kMaxLagSeconds * static_cast<size_t>(audio.sampleRate);
  if (kind == "mic") {
    const long offset = FindOffset(recorded, scene.near, maxLag);
    const auto span = [&](double from, double to) { return SceneSpan{offset, from, to, scene.rate}; };
    const SceneSpan doubleTalk = span(scene.bothFrom() + kGuardSeconds, scene.seconds());
    std::printf("offset=%.3f echo=%.2f near=%.2f dt_near=%.2f dt_level=%.2f\n",
                static_cast<double>(offset) / scene.rate, LevelDb(recorded, span(kConvergedSeconds, scene.nearFrom())),
                GainDb(recorded, scene.near, span(scene.nearFrom() + kGuardSeconds, scene.bothFrom())),
                GainDb(recorded, scene.near, doubleTalk),
                LevelDb(recorded, doubleTalk) - LevelDb(scene.near, SceneSpan{0, doubleTalk.from, doubleTalk.to, scene.rate}));
    return 0;
  }
  if (kind == "both") {
    const long offset = FindOffset(recorded, scene.far, maxLag);
    const SceneSpan far{offset, kConvergedSeconds, scene.nearFrom(), scene.rate};
    std::printf("offset=%.3f far=%.2f far_gain=%.2f\n", static_cast<double>(offset) / scene.rate, LevelDb(recorded, far),
                GainDb(recorded, scene.far, far));
    return 0;
  }
  return Usage();
}

}  // namespace

int main(int argc, char** argv) {
  const std::string command = argc > 1 ? argv[1] : "";
  if (command == "scene" && argc == 3) return WriteScene(argv[2]);
  if (command == "talk" && argc == 4) return WriteTalk(argv[2], argv[3]);
  if (command == "measure" && argc == 4) return Measure(argv[2], argv[3]);
  return Usage();
}
