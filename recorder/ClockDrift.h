#pragma once
// Keeps the microphone in step with system sound in Both mode.
//
// A microphone and a sound card run on clocks of their own (0.01-0.1 % apart is common, more
// for USB and Bluetooth headsets). The encoder takes the same number of samples from each
// source, so without a correction the microphone drifts away from system sound, and its FIFO
// slowly fills or runs dry. The speaker thread reports the system sound it queues and the
// microphone thread the microphone samples it queues, both counted at the output rate; the
// microphone thread gets back how much to stretch or shrink the microphone. The control is
// proportional-integral on the offset between the two counts: the integral learns the ratio
// of the two clocks, the proportional part removes an offset over a few seconds.
//
// Thread-safe: called by the speaker and microphone threads.

#include <cstdint>
#include <mutex>

namespace zav {

class ClockDrift {
 public:
  // The largest correction: a fraction of the samples added or removed.
  static constexpr double kMaxCorrection = 0.03;

  explicit ClockDrift(int rate) : rate_(rate) {}

  // System sound: `samples` queued by nowMs, everything that had arrived. restarted: it flows
  // again after a time without any (the encoder mixed silence meanwhile), so the two sources
  // are lined up afresh.
  void OnSystemSound(int64_t nowMs, int64_t samples, bool restarted);
  // Microphone: `samples` queued by nowMs, everything that had arrived. heard: the microphone
  // delivered audio in this poll (a stalled one is counted, not measured). Returns the
  // correction to apply from now on: the fraction of samples to add (negative: to remove),
  // within +-kMaxCorrection.
  double OnMicrophone(int64_t nowMs, int64_t samples, bool heard);

  // How far the microphone is ahead of system sound, in seconds, smoothed.
  double offsetSeconds() const;

 private:
  double CorrectionLocked() const;

  mutable std::mutex mutex_;
  const int rate_;
  int64_t speakerSamples_ = 0;
  int64_t speakerAtMs_ = -1;  // when system sound was last reported
  int64_t micSamples_ = 0;
  int64_t lastMicMs_ = -1;
  bool lined_ = false;        // the reference counts below are set
  int64_t micReference_ = 0;
  double speakerReference_ = 0;
  int64_t settleUntilMs_ = 0;  // the reference is settled by then
  double settleSum_ = 0;       // offsets seen while settling, seconds
  int settleCount_ = 0;
  double offset_ = 0;         // seconds, smoothed
  double integral_ = 0;       // of the offset, seconds x seconds
};

}  // namespace zav
