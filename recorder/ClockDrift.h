#pragma once
// Keeps a microphone on the recording clock.
//
// A microphone runs on a clock of its own (0.01-0.1 % off is common, a few percent for some
// USB and Bluetooth headsets). Placed on the recording clock as it is, a fast one would have
// its excess cut and a slow one gaps filled, in pieces. The microphone thread reports after
// each poll where its audio ends and where the clock stands, and gets back how much to stretch
// or shrink what it queues next.
//
// The correction is the ratio of the two clocks, measured apart from the correction itself:
// the audio the source delivered before stretching, fitted against the clock over the last
// half minute. A small pull on top brings an offset beyond the measurement's jitter back,
// without overshoot. So once the ratio is known the microphone's audio keeps a steady place on
// the clock, which an echo canceller needs (its echo path must stand still). A source within
// the jitter of on time is never corrected.
//
// Used by one thread (the microphone's).

#include <cstdint>

namespace zav {

class ClockDrift {
 public:
  // The largest correction: a fraction of the samples added or removed.
  static constexpr double kMaxCorrection = 0.05;

  explicit ClockDrift(int rate) : rate_(rate) {}

  // After a poll: the clock stands at clockSamples, the source's audio ends at sourceSamples.
  // heard: the source delivered audio in this poll (a stalled one is not measured). realigned:
  // its audio was placed afresh (a gap or a cut), so the two are lined up again. Returns the
  // correction to apply from now on: the fraction of samples to add (negative: to remove),
  // within +-kMaxCorrection.
  double Update(int64_t clockSamples, int64_t sourceSamples, bool heard, bool realigned);

 private:
  // A least-squares line through points weighted down with age, kept relative to the newest
  // point so that the sums stay small however long the recording.
  struct Fit {
    double weight = 0, x = 0, y = 0, xx = 0, xy = 0;
    void Add(double dx, double dy, double keep);  // a point dx, dy after the newest
    bool Spans(double seconds) const;
    double Slope() const;
  };

  const int rate_;
  int64_t lastClock_ = -1;
  bool lined_ = false;         // the references below are set
  int64_t sourceReference_ = 0;
  double clockReference_ = 0;
  int64_t settleUntil_ = 0;    // clock position by which the reference is settled
  double settleSum_ = 0;       // offsets seen while settling, seconds
  int settleCount_ = 0;
  double offset_ = 0;          // seconds, smoothed
  int64_t lastSource_ = 0;     // where the source's audio ended at the last heard poll
  int64_t lastHeardClock_ = -1;  // -1: never heard
  Fit fit_;                    // the source's audio before correction against the clock
  bool engaged_ = false;       // the offset once went beyond the jitter
  double ratio_ = 0;           // the correction that keeps pace with the source
  double correction_ = 0;
};

}  // namespace zav
