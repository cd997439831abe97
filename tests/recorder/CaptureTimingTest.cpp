// The capture threads' timekeeping, as pure logic: a stalled stream is filled with silence
// and what it delivers late is dropped (RealTimeGate); a microphone on a clock of its own is
// kept in step with system sound (ClockDrift).

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>

#include "ClockDrift.h"
#include "RealTimeGate.h"

namespace zav {
namespace {

constexpr int kRate = 44100;
constexpr int kPollMs = 50;
constexpr int64_t kPollFrames = kRate * kPollMs / 1000;

TEST(RealTimeGate, FillsAStallWithSilenceAndDropsWhatArrivesLateForIt) {
  RealTimeGate gate(kRate, 500);
  gate.Restart(0);
  int64_t now = 0;
  for (; now < 1000; now += kPollMs) {
    EXPECT_EQ(gate.Late(now, kPollFrames), 0);
  }
  // Nothing for 3 s: silence from the last audio on, but only once the stall is noticed.
  const int64_t lastAudio = now - kPollMs;
  int64_t silence = 0;
  for (; now < 4000; now += kPollMs) {
    const int64_t due = gate.SilenceDue(now);
    if (now - lastAudio <= 500) {
      EXPECT_EQ(due, 0);
    }
    silence += due;
  }
  EXPECT_NEAR(static_cast<double>(silence), (now - kPollMs - lastAudio) * kRate / 1000.0, kRate / 1000.0);
  // The server resumes and hands over the 3 s it held back, then real time again.
  const int64_t backlog = 3 * kRate;
  const int64_t late = gate.Late(now, backlog);
  EXPECT_GT(late, backlog - kRate / 5) << "late audio was kept";
  EXPECT_LE(late, silence);
  for (now += kPollMs; now < 8000; now += kPollMs) EXPECT_EQ(gate.Late(now, kPollFrames), 0) << now;
  EXPECT_EQ(gate.SilenceDue(now), 0);
}

TEST(RealTimeGate, AStreamBackAtRealTimePaceLosesNothing) {
  // A restarted server: silence for the time it was away, then fresh audio at real-time pace.
  RealTimeGate gate(kRate, 500);
  gate.Restart(0);
  int64_t silence = 0;
  int64_t now = 0;
  for (; now <= 2000; now += kPollMs) silence += gate.SilenceDue(now);
  EXPECT_GT(silence, kRate);
  int64_t kept = 0;
  for (; now < 6000; now += kPollMs) kept += kPollFrames - gate.Late(now, kPollFrames);
  EXPECT_EQ(kept, (6000 - 2050) / kPollMs * kPollFrames);
  EXPECT_EQ(gate.owed(), 0);
}

TEST(RealTimeGate, ADelayedReaderNeverCountsAsAStall) {
  // The capture thread woke 400 ms late: its audio waited in the stream and is all there.
  RealTimeGate gate(kRate, 500);
  gate.Restart(0);
  EXPECT_EQ(gate.SilenceDue(400), 0);
  EXPECT_EQ(gate.Late(400, 8 * kPollFrames), 0);
}

// Two sources for `seconds`: system sound at the nominal rate, the microphone `speed` times as
// fast, both read every 50 ms a few milliseconds late; the microphone is corrected as
// ClockDrift says.
struct DriftRun {
  double largestOffset = 0;
  double lastCorrection = 0;
  double largestCorrection = 0;
};

DriftRun RunDrift(double speed, double seconds) {
  ClockDrift drift(kRate);
  DriftRun run;
  double micExact = 0;      // microphone samples produced (with corrections)
  int64_t micQueued = 0;
  int64_t speakerQueued = 0;
  double correction = 0;
  uint32_t noise = 7;
  auto jitterMs = [&noise] {
    noise = noise * 1664525u + 1013904223u;
    return static_cast<int64_t>(noise >> 29);  // 0..7 ms
  };
  for (int64_t now = 0; now < seconds * 1000; now += kPollMs) {
    // Audio arrives in 10 ms pieces: what has arrived by a read that comes a little late.
    const int64_t speakerTime = now + jitterMs();
    const int64_t speakerTotal = speakerTime / 10 * (kRate / 100);
    drift.OnSystemSound(speakerTime, speakerTotal - speakerQueued, now == 0);
    speakerQueued = speakerTotal;

    const int64_t micTime = now + jitterMs();
    const double step = kPollMs * kRate / 1000.0 * speed * (1 + correction);
    micExact += step;
    const int64_t micTotal = static_cast<int64_t>(micExact) / (kRate / 100) * (kRate / 100);
    const double next = drift.OnMicrophone(micTime, micTotal - micQueued, true);
    micQueued = micTotal;
    run.largestCorrection = std::max(run.largestCorrection, std::fabs(next));
    correction = next;
    const double offset = micExact / kRate - (now + kPollMs) / 1000.0;
    run.largestOffset = std::max(run.largestOffset, std::fabs(offset));
  }
  run.lastCorrection = correction;
  return run;
}

TEST(ClockDrift, KeepsAMicrophoneTwoPercentOffWithin50Ms) {
  for (double speed : {1.02, 0.98}) {
    const DriftRun run = RunDrift(speed, 120);
    EXPECT_LT(run.largestOffset, 0.05) << speed;
    // The learnt correction is the clock ratio.
    EXPECT_NEAR(run.lastCorrection, 1 / speed - 1, 0.002) << speed;
  }
}

TEST(ClockDrift, LeavesSourcesInStepAlmostAlone) {
  // The measurement's jitter must not wobble the microphone's pitch: a hundredth of a percent
  // is far below hearing (and below what a 1.5 s tone analysis notices).
  const DriftRun run = RunDrift(1.0, 60);
  EXPECT_LT(run.largestCorrection, 1e-4);
}

TEST(ClockDrift, NeitherCorrectsNorLearnsWhileSystemSoundIsAway) {
  ClockDrift drift(kRate);
  drift.OnSystemSound(0, 0, true);
  EXPECT_EQ(drift.OnMicrophone(0, 0, true), 0.0);
  // System sound stops; the microphone goes on alone for ten seconds.
  for (int64_t now = kPollMs; now < 10000; now += kPollMs) EXPECT_EQ(drift.OnMicrophone(now, kPollFrames, true), 0.0);
  // It starts again: the two are lined up afresh rather than "corrected" by ten seconds.
  drift.OnSystemSound(10000, kPollFrames, true);
  for (int64_t now = 10000; now < 12000; now += kPollMs) {
    drift.OnSystemSound(now, kPollFrames, false);
    EXPECT_EQ(drift.OnMicrophone(now, kPollFrames, true), 0.0);
  }
}

}  // namespace
}  // namespace zav
