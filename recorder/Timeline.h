#pragma once
// The rule that keeps a recording as long as the time it ran, for every source and format:
// each source's audio goes where the recording clock says it was heard, silence fills what a
// source did not deliver, and the encoder never writes ahead of the clock. Pure; positions are
// samples at the output rate on the recording clock (RecordingClock).
//
// A capture source places each piece of audio by the time it arrived (PlaceArrival): a piece
// that starts after the source's end leaves a gap of silence (the device delivered nothing
// meanwhile: an idle sink, a stalled server), a piece that starts before it holds audio for
// time already covered (a frozen server handing over what it held back, a hole or backlog far
// longer than the time that passed) and loses that part. Within the tolerance, pieces follow
// each other, so that the jitter of arrival times never cuts audio.
//
// The encoder writes a frame once the clock has passed its end and every source either covers
// it or has been silent past its patience (NextFrame).

#include <algorithm>
#include <cstdint>
#include <limits>
#include <span>

namespace zav {

// How far an arrival may stray from the end of what its source delivered before it counts as
// a gap or an overlap: a poll period and a packet, with room for a busy machine's late wake-ups.
inline constexpr int kPlacementToleranceMs = 150;

// A capture thread that wakes this much later than it asked to was held with the rest of the
// machine (a stall), and so, most likely, was the sound server: what the server captured
// meanwhile is on its way, some of it arrived, most not yet. Placed as it comes, its first
// part would leave a gap and the rest would count as overlap and be cut, losing the stall's
// audio. So the thread holds what it takes (StallHold) until the backlog is in, and places it
// all in one piece.
inline constexpr int kStalledWakeMs = 100;
// The longest a capture thread holds its audio after a stall.
inline constexpr int kMaxStallHoldMs = 500;

inline bool WokeAfterStall(int64_t askedMs, int64_t nowMs) { return nowMs - askedMs > kStalledWakeMs; }

// Whether a capture thread holds what it gathered for its next poll: from a poll that woke
// more than kStalledWakeMs late, for as long as each poll still brings more than two polls'
// worth of audio (the backlog still coming), at most kMaxStallHoldMs. A machine that is merely
// slow wakes late now and then, and its next poll brings no backlog: it still delivers.
class StallHold {
 public:
  // askedMs, nowMs: when this poll was to wake and when it did; broughtMs: the audio it took;
  // pollMs: the poll period.
  bool Hold(int64_t askedMs, int64_t nowMs, int64_t broughtMs, int pollMs) {
    const bool hold = held_ == 0 ? WokeAfterStall(askedMs, nowMs)
                                 : broughtMs > 2 * pollMs && (held_ + 1) * pollMs <= kMaxStallHoldMs;
    held_ = hold ? held_ + 1 : 0;
    return hold;
  }

 private:
  int held_ = 0;  // polls held so far
};

// After a stall, seen by any of the recorder's threads, the encoder writes nothing for this
// long, and again from each poll a capture thread holds (StallHold): until the backlog is
// placed, a source that has not covered its time would otherwise be taken for a silent one
// (past its patience, as a frozen server is) and its audio cut when it comes.
inline constexpr int kStallCatchUpMs = 150;

struct Placement {
  int64_t silence = 0;  // samples of silence before the piece
  int64_t drop = 0;     // samples cut from the start of the piece
};

// A piece of `count` samples that arrived when the clock stood at arrivalEnd, for a source
// whose audio so far ends at trackEnd.
inline Placement PlaceArrival(int64_t trackEnd, int64_t arrivalEnd, int64_t count, int64_t tolerance) {
  const int64_t start = arrivalEnd - count;
  if (start - trackEnd > tolerance) return {start - trackEnd, 0};
  if (trackEnd - start > tolerance) return {0, std::min(count, trackEnd - start)};
  return {};
}

// One source as the encoder sees it.
struct TrackView {
  int64_t end = 0;       // where the source's audio ends (what it delivered, placed)
  int64_t patience = 0;  // how long, in samples, the encoder waits for it before silence stands in
  bool quiet = false;    // it fell silent past its patience and has delivered nothing since
};

struct FrameDecision {
  bool write = false;
  // When write is false: the clock position at which to look again (Pause and Stop wake the
  // encoder earlier, and with forAudio so does a delivery).
  int64_t wakeAt = 0;
  // The frame is due and a source that has not covered it is waited for, until its patience
  // ends; otherwise the frame is not due yet.
  bool forAudio = false;
};

// Whether the frame [written, written + frameSize) can be written now that the clock stands at
// `clock`. Updates the tracks' quiet flags: a track that delivered is no longer quiet; a track
// that does not cover a frame written now is.
inline FrameDecision NextFrame(int64_t written, int frameSize, int64_t clock, std::span<TrackView> tracks) {
  const int64_t frameEnd = written + frameSize;
  for (TrackView& t : tracks) {
    if (t.end > written) t.quiet = false;
  }
  if (frameEnd > clock) return {false, frameEnd};
  FrameDecision decision{true, 0};
  int64_t wakeAt = std::numeric_limits<int64_t>::max();
  for (const TrackView& t : tracks) {
    if (t.quiet || t.end >= frameEnd || clock - frameEnd >= t.patience) continue;
    decision.write = false;
    wakeAt = std::min(wakeAt, frameEnd + t.patience);
  }
  if (!decision.write) {
    decision.wakeAt = wakeAt;
    decision.forAudio = true;
    return decision;
  }
  for (TrackView& t : tracks) {
    if (t.end < frameEnd) t.quiet = true;
  }
  return decision;
}

}  // namespace zav
