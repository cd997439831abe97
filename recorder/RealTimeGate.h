#pragma once
// Keeps a capture stream on the wall clock across stalls: a sound server that is frozen or
// restarting, a device that went away. Time without any audio is filled with silence, and
// audio that arrives late for time already filled (a frozen server that resumes delivers
// what it held back all at once) is dropped, so the recording is never longer than the time
// it ran. Counts frames at the stream's rate. Pure; used by one capture thread.

#include <algorithm>
#include <cstdint>

namespace zav {

class RealTimeGate {
 public:
  // stallMs: how long a stream may deliver nothing before its time is filled with silence.
  RealTimeGate(int rate, int stallMs) : rate_(rate), stallMs_(stallMs) {}

  // Audio flows afresh (start, resume after a pause): nothing is owed, nothing is late.
  void Restart(int64_t nowMs) {
    lastAudioMs_ = nowMs;
    filled_ = 0;
    owed_ = 0;
    resumeMs_ = -1;
  }

  // Frames of silence due now: after a stall, the time since the last audio less what was
  // filled already.
  int64_t SilenceDue(int64_t nowMs) {
    if (nowMs - lastAudioMs_ <= stallMs_) return 0;
    const int64_t due = (nowMs - lastAudioMs_) * rate_ / 1000 - filled_;
    if (due <= 0) return 0;
    filled_ += due;
    owed_ += due;
    resumeMs_ = -1;
    return due;
  }

  // `frames` arrived at nowMs: how many of them, from the first, are late and must be dropped.
  // After a stall the stream may deliver no faster than real time (plus a little slack) until
  // what was filled with silence is paid back or kLateWindowMs have passed.
  int64_t Late(int64_t nowMs, int64_t frames) {
    lastAudioMs_ = nowMs;
    filled_ = 0;
    if (owed_ == 0) return 0;
    if (resumeMs_ < 0) {
      resumeMs_ = nowMs;
      admitted_ = 0;
    }
    if (nowMs - resumeMs_ > kLateWindowMs) {
      owed_ = 0;
      return 0;
    }
    const int64_t allowance = std::max<int64_t>((nowMs - resumeMs_ + kSlackMs) * rate_ / 1000 - admitted_, 0);
    const int64_t late = std::clamp<int64_t>(frames - allowance, 0, owed_);
    owed_ -= late;
    admitted_ += frames - late;
    return late;
  }

  // At the end: frames of silence for the time since the last audio that no silence filled
  // yet (what a device holding its audio back still had when the stream ended).
  int64_t SilenceToEnd(int64_t nowMs) {
    const int64_t due = std::max<int64_t>((nowMs - lastAudioMs_) * rate_ / 1000 - filled_, 0);
    filled_ += due;
    return due;
  }

  // Silence filled that late audio has not paid back yet.
  int64_t owed() const { return owed_; }

 private:
  // Audio in flight when the stream resumed (a fragment, a poll period) is not late.
  static constexpr int64_t kSlackMs = 100;
  // What a resumed server held back arrives within this time; later audio is never dropped.
  static constexpr int64_t kLateWindowMs = 2000;

  int rate_;
  int stallMs_;
  int64_t lastAudioMs_ = 0;
  int64_t filled_ = 0;    // silence filled since the last audio
  int64_t owed_ = 0;      // silence filled that late audio may still pay back
  int64_t resumeMs_ = -1;  // when audio came back after the last stall
  int64_t admitted_ = 0;  // frames kept since then
};

}  // namespace zav
