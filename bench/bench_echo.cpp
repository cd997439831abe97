// bench_echo: the signals of the echo benchmark and its measures (bench/echo.sh).
//
//   bench_echo scene DIR             writes DIR/far.wav (what the computer plays) and
//                                    DIR/near.wav (the person at the microphone)
//   bench_echo talk SECONDS FILE     writes FILE: the far end talking for SECONDS
//   bench_echo measure mic FILE      a microphone-only recording of the scene
//   bench_echo measure both FILE     a Both-mode recording of the scene
//   bench_echo timing FILE RAW [near]
//                                    how steady the microphone's timing is in FILE against
//                                    RAW, a plain capture of the same microphone made at the
//                                    same time; "near": from the near end's start on only (a
//                                    cancelled recording is not like the raw one before that)
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
//         echo_1s   the echo's level in each second of the far-end section after convergence
//                   (comma-separated), for the weakest second's ERLE
//   both: far       level of the far-end section of the mixed file
//         far_gain  the far end's gain in it
//   timing: spread    the largest minus the smallest delay of FILE behind RAW over half-second
//                     windows in which the two are alike (ms, to a hundredth of a sample)
//           windows   how many windows were alike (correlation 0.7 or more)
//           (each window's delay goes to standard error)

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "AudioFile.h"
#include "EchoScene.h"

namespace {

using namespace zav::test;

constexpr size_t kMaxLagSeconds = 5;  // the scene starts within this of the recording

int Usage() {
  std::fprintf(stderr, "usage: bench_echo scene DIR | talk SECONDS FILE | measure mic|both FILE | timing FILE RAW [near]\n");
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
    std::string seconds;
    for (double from = kConvergedSeconds; from + 1 <= scene.nearFrom(); from += 1)
      seconds += (seconds.empty() ? "" : ",") + std::to_string(LevelDb(recorded, span(from, from + 1)));
    std::printf("echo_1s=%s\n", seconds.c_str());
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

// The normalised correlation of a[from, from + length) with b shifted by lag.
double Correlation(const std::vector<float>& a, const std::vector<float>& b, size_t from, size_t length, long lag) {
  double ab = 0, aa = 0, bb = 0;
  for (size_t i = from; i < from + length; ++i) {
    const long j = static_cast<long>(i) + lag;
    if (j < 0 || static_cast<size_t>(j) >= b.size()) return 0;
    ab += a[i] * b[static_cast<size_t>(j)];
    aa += a[i] * a[i];
    bb += b[static_cast<size_t>(j)] * b[static_cast<size_t>(j)];
  }
  return aa > 0 && bb > 0 ? ab / std::sqrt(aa * bb) : 0;
}

int Timing(const std::string& path, const std::string& rawPath, bool nearOnly) {
  const DecodedAudio file = DecodeFile(path);
  const DecodedAudio raw = DecodeFile(rawPath);
  if (!file.ok || !raw.ok || file.sampleRate != raw.sampleRate) {
    std::fprintf(stderr, "bench_echo: %s and %s must be readable at one rate\n", path.c_str(), rawPath.c_str());
    return 1;
  }
  const EchoScene scene = Scene();
  const size_t maxLag = kMaxLagSeconds * static_cast<size_t>(file.sampleRate);
  const long inFile = FindOffset(file.left, scene.near, maxLag);
  const long inRaw = FindOffset(raw.left, scene.near, maxLag);
  const long lag = inFile - inRaw;  // file[i + lag] is raw[i]
  const int rate = file.sampleRate;
  const size_t window = static_cast<size_t>(rate) / 2;
  const long search = rate / 50;  // 20 ms either way
  double smallest = 1e9, largest = -1e9;
  int windows = 0;
  const size_t end = std::min(raw.left.size(), static_cast<size_t>(inRaw) + static_cast<size_t>(scene.seconds() * rate));
  const size_t first = static_cast<size_t>(inRaw) + (nearOnly ? static_cast<size_t>(scene.nearFrom() * rate) : 0);
  for (size_t from = first; from + window <= end; from += window) {
    long best = 0;
    double bestValue = -1;
    std::vector<double> values(static_cast<size_t>(2 * search + 1));
    for (long d = -search; d <= search; ++d) {
      const double c = Correlation(raw.left, file.left, from, window, lag + d);
      values[static_cast<size_t>(d + search)] = c;
      if (c > bestValue) {
        bestValue = c;
        best = d;
      }
    }
    if (bestValue < 0.7) continue;
    // Between samples: the vertex of the parabola through the peak and its neighbours.
    double fraction = 0;
    if (best > -search && best < search) {
      const double l = values[static_cast<size_t>(best + search - 1)], c = bestValue,
                   r = values[static_cast<size_t>(best + search + 1)];
      if (l - 2 * c + r < 0) fraction = 0.5 * (l - r) / (l - 2 * c + r);
    }
    const double delayMs = (static_cast<double>(best) + fraction) * 1000.0 / rate;
    std::fprintf(stderr, "window %.1f s: %.3f ms (correlation %.2f)\n",
                 static_cast<double>(from - static_cast<size_t>(inRaw)) / rate, delayMs, bestValue);
    smallest = std::min(smallest, delayMs);
    largest = std::max(largest, delayMs);
    ++windows;
  }
  std::printf("spread=%.3f windows=%d\n", windows > 0 ? largest - smallest : -1.0, windows);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string command = argc > 1 ? argv[1] : "";
  if (command == "scene" && argc == 3) return WriteScene(argv[2]);
  if (command == "talk" && argc == 4) return WriteTalk(argv[2], argv[3]);
  if (command == "measure" && argc == 4) return Measure(argv[2], argv[3]);
  if (command == "timing" && (argc == 4 || (argc == 5 && std::string(argv[4]) == "near")))
    return Timing(argv[2], argv[3], argc == 5);
  return Usage();
}
