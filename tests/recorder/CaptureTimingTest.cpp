// The recording's timekeeping, as pure logic: each source's audio is placed on the recording
// clock by its arrival, the encoder never writes ahead of the clock nor waits for a silent
// source for ever (Timeline), and a microphone on a clock of its own is kept on the
// recording's (ClockDrift).

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "ClockDrift.h"
#include "Timeline.h"

namespace zav {
namespace {

constexpr int kRate = 44100;
constexpr int kPollMs = 50;
constexpr int64_t kPollFrames = kRate * kPollMs / 1000;
constexpr int64_t kTolerance = kRate * kPlacementToleranceMs / 1000;

TEST(Timeline, PlacesEachPieceWhereItArrivedAndFollowsOnWithinTheTolerance) {
  // Pieces that arrive on time, or a little early or late, follow each other.
  EXPECT_EQ(PlaceArrival(0, kPollFrames, kPollFrames, kTolerance).silence, 0);
  const Placement jitter = PlaceArrival(10 * kPollFrames, 11 * kPollFrames + kTolerance / 2, kPollFrames, kTolerance);
  EXPECT_EQ(jitter.silence, 0);
  EXPECT_EQ(jitter.drop, 0);
  // Nothing came for two seconds (an idle sink, a stalled server): silence for that time.
  const Placement gap = PlaceArrival(kRate, 3 * kRate + kPollFrames, kPollFrames, kTolerance);
  EXPECT_EQ(gap.silence, 2 * kRate);
  EXPECT_EQ(gap.drop, 0);
  // A frozen server hands over the 2 s it held back, for time already filled with silence:
  // only what is newer than the source's end is kept.
  const Placement backlog = PlaceArrival(3 * kRate, 3 * kRate + kPollFrames, 2 * kRate, kTolerance);
  EXPECT_EQ(backlog.drop, 2 * kRate - kPollFrames);
  // A hole or backlog longer than the whole recording is dropped whole.
  const int64_t uptime = int64_t{2000} * kRate;
  EXPECT_EQ(PlaceArrival(kRate, kRate, uptime, kTolerance).drop, uptime);
}

TEST(Timeline, EncoderNeverWritesAheadOfTheClockAndWaitsForASilentSourceOnlyItsPatience) {
  constexpr int kFrame = 1024;
  const int64_t patience = kRate;  // a second
  // No source at all (silence only): a frame as soon as the clock has passed its end.
  EXPECT_FALSE(NextFrame(0, kFrame, kFrame - 1, {}).write);
  EXPECT_EQ(NextFrame(0, kFrame, kFrame - 1, {}).wakeAt, kFrame);
  EXPECT_TRUE(NextFrame(0, kFrame, kFrame, {}).write);

  // A source that covers the frame: written once the clock allows, never earlier, however
  // much the source holds.
  std::vector<TrackView> tracks{{100 * kFrame, patience, false}};
  EXPECT_FALSE(NextFrame(5 * kFrame, kFrame, 6 * kFrame - 1, tracks).write);
  EXPECT_TRUE(NextFrame(5 * kFrame, kFrame, 6 * kFrame, tracks).write);

  // A source that delivers nothing: waited for until the frame is its patience overdue.
  tracks = {{0, patience, false}};
  FrameDecision d = NextFrame(0, kFrame, kFrame + patience - 1, tracks);
  EXPECT_FALSE(d.write);
  EXPECT_EQ(d.wakeAt, kFrame + patience);
  d = NextFrame(0, kFrame, kFrame + patience, tracks);
  EXPECT_TRUE(d.write);
  EXPECT_TRUE(tracks[0].quiet);
  // Silent past its patience, it no longer holds the encoder back: frames follow the clock.
  tracks[0].end = kFrame;
  EXPECT_TRUE(NextFrame(kFrame, kFrame, 2 * kFrame, tracks).write);
  // Once it delivers again it is waited for again.
  tracks[0].end = 2 * kFrame + 10;
  EXPECT_FALSE(NextFrame(2 * kFrame, kFrame, 3 * kFrame + 100, tracks).write);
  EXPECT_FALSE(tracks[0].quiet);

  // Two sources: the one that covers the frame waits for the other.
  tracks = {{10 * kFrame, patience, false}, {0, patience, false}};
  EXPECT_FALSE(NextFrame(0, kFrame, 2 * kFrame, tracks).write);
}

// A microphone `speed` times as fast as the recording clock for `seconds`, read every 50 ms a
// few milliseconds late in 10 ms pieces, corrected as ClockDrift says.
struct DriftRun {
  double largestOffset = 0;
  double lastCorrection = 0;
  double largestCorrection = 0;
  double lowestLateOffset = 1;   // from 30 s on: how far the microphone's place still moves
  double highestLateOffset = -1;
};

DriftRun RunDrift(double speed, double seconds) {
  ClockDrift drift(kRate);
  DriftRun run;
  double micExact = 0;  // microphone samples produced (with corrections)
  double correction = 0;
  uint32_t noise = 7;
  for (int64_t now = 0; now < seconds * 1000; now += kPollMs) {
    noise = noise * 1664525u + 1013904223u;
    const int64_t readAt = now + static_cast<int64_t>(noise >> 29);  // 0..7 ms late
    micExact += kPollMs * kRate / 1000.0 * speed * (1 + correction);
    const int64_t queued = static_cast<int64_t>(micExact) / (kRate / 100) * (kRate / 100);
    const double next = drift.Update(readAt * kRate / 1000, queued, true, now == 0);
    run.largestCorrection = std::max(run.largestCorrection, std::fabs(next));
    correction = next;
    const double offset = micExact / kRate - (now + kPollMs) / 1000.0;
    run.largestOffset = std::max(run.largestOffset, std::fabs(offset));
    if (now >= 30000) {
      run.lowestLateOffset = std::min(run.lowestLateOffset, offset);
      run.highestLateOffset = std::max(run.highestLateOffset, offset);
    }
  }
  run.lastCorrection = correction;
  return run;
}

TEST(ClockDrift, KeepsAMicrophoneThreePercentOffOnTheClockAndLeavesOneOnTimeAlone) {
  for (double speed : {1.03, 0.97}) {
    const DriftRun run = RunDrift(speed, 120);
    EXPECT_LT(run.largestOffset, 0.08) << speed;
    // The learnt correction is the clock ratio.
    EXPECT_NEAR(run.lastCorrection, 1 / speed - 1, 0.002) << speed;
    // Once it is learnt, the microphone's audio keeps its place on the clock: an echo
    // canceller loses its hold on an echo path that moves.
    EXPECT_LT(run.highestLateOffset - run.lowestLateOffset, 0.001) << speed;
  }
  // The measurement's jitter must not wobble the pitch of a microphone on time.
  EXPECT_LT(RunDrift(1.0, 60).largestCorrection, 1e-4);
}

}  // namespace
}  // namespace zav
