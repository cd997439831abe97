#pragma once
// Record streams on the monitors of a server's sinks, on one mainloop of their own, with the
// audio of one of them, the heard sink, handed out: the default sink (following it), or a
// chosen sink. Polled without blocking by the one thread that uses it.
//
// Following the default, every sink has a reader with short fragments for as long as this
// object lives. A null sink, or any sink left at its default latency, renders up to 2 s ahead
// and posts each block to its monitor when it renders it, so a stream opened on its monitor
// hears nothing until the next block; a sink with a low-latency reader renders in short
// blocks. So when another sink becomes the default, its reader already flows and is heard at
// once. The readers of the sinks not heard are drained at every poll. An owner that can lose a
// little at a switch (a level meter) has them corked instead: the server still keeps their
// sinks rendering in short blocks for them but sends them nothing to read and throw away, and
// a switch loses the time until the next poll uncorks the new sink's reader (a switching
// default lost 5 % of a recording's system sound that way, 40 ms a switch). A subscription
// tells of new and removed sinks and of a new default at once; a lost connection (the server
// restarted) is looked for again every 100 ms.
//
// A switch is cut where the server said so, not at a poll: what each reader held when the
// server's change arrived is noted, and the old sink is heard up to that point, the new one
// from there on. A stream that moves with the default sink is then heard throughout, but for
// about one fragment.
//
// Each reader has a connection of its own (on the shared mainloop), which also tells it of the
// server's changes, in order with its audio. PipeWire's pulse server hands three or more
// record streams of one connection over in bursts (a third of the 50 ms polls got nothing or
// twice as much, leaving gaps in the file); one stream per connection flows evenly there.
//
// With a chosen sink, only that one has a reader; it is opened again as soon as the sink is
// back. An owner that only wants every sink kept rendering in short blocks (streams limited to
// one sink input get nothing from a sink that renders 2 s ahead until its next block) hears
// none: all readers stay corked.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "pulse/PulseHandles.h"
#include "pulse/PulseRecordStream.h"

namespace zav::pulse {

class SinkMonitors {
 public:
  enum class OpenResult { kOk, kNoServer, kNoSink, kNoStream };
  // Which readers the server sends audio: every reader (a switch is heard from the server's
  // change on), only the heard sink's (the others corked), or none (nothing is handed out).
  enum class Flow { kEverySink, kHeardSinkOnly, kNone };

  // chosen: the name of the sink to hear; empty to hear the default sink wherever it goes.
  // cancel: ends every wait early when set (may be null).
  SinkMonitors(std::string chosen, const std::atomic<bool>* cancel, Flow flow = Flow::kEverySink)
      : chosen_(std::move(chosen)), cancel_(cancel), flow_(flow) {}
  SinkMonitors(const SinkMonitors&) = delete;
  SinkMonitors& operator=(const SinkMonitors&) = delete;

  // Connects, starts the readers and waits until the heard sink's reader delivers (with
  // Flow::kNone: until every reader is there).
  OpenResult Open(Deadline deadline);
  // Handles what the server sent meanwhile: sinks that came or went, another default sink, a
  // lost connection (looked for again at most every 100 ms, each attempt bounded). Drains the
  // readers that are not heard. Call it only while no piece is peeked.
  void Poll();

  // The next piece of the heard sink (see PeekStream), or after a switch, of the sink heard
  // before until the switch; -1 when there is no heard reader. Release it with Drop.
  int Peek(const void** data, std::size_t* bytes);
  void Drop();

  // The heard sink is there and its reader delivers.
  bool present() const;
  // The format of the last piece Peek found: of the reader it came from (the heard one's, or
  // the last one's, while there is none).
  const StreamFormat& format() const { return format_; }

 private:
  struct Reader {
    uint32_t index = 0;  // the sink's index: a sink loaded again is another sink
    std::string sink;
    std::string monitor;
    StreamFormat format;
    ContextPtr context;
    StreamPtr stream;  // after its context: ends first
    bool corked = false;  // what was last asked of the server
    Clock::time_point retryAt{};  // when a failed reader is started again
    uint64_t changesSeen = 0;      // the server's changes that reached its connection
    std::size_t heldAtChange = 0;  // bytes it still holds from before the last one
  };
  struct Events;  // the subscription's callback
  friend struct Events;

  bool Connect(Deadline deadline);
  // Reads the default sink and the sinks, then starts and ends readers to match. False when
  // the server did not answer by the deadline.
  bool Refresh(Deadline deadline);
  void StartReader(Reader& reader, bool corked);
  static bool Flowing(const Reader& reader);
  // Whether the reader's audio is handed out: the heard reader's and, until its part is out,
  // the one heard before a switch. Every other reader's is drained.
  bool HandsOut(const Reader& reader) const;
  // Whether the server should send the reader audio: with kHeardSinkOnly only what HandsOut.
  bool Flows(const Reader& reader) const;
  static void SetCorked(Reader& reader, bool corked);
  // Drops the reader's piece that was peeked (fragmentBytes long) or everything it holds.
  static void DropPeeked(Reader& reader, std::size_t fragmentBytes);
  static void DropHeld(Reader& reader);
  // Starts readers whose stream failed again, once their retry time has come.
  void RestartFailed(Clock::time_point now);
  // Hands out the reader of the sink of that name from now on.
  void Hear(const std::string& sink);
  Reader* FindReader(uint32_t index);
  const Reader* FindReader(uint32_t index) const;
  bool connected() const;
  void Disconnect();

  const std::string chosen_;
  const std::atomic<bool>* cancel_;
  const Flow flow_;
  Connection connection_;
  std::vector<std::unique_ptr<Reader>> readers_;  // after connection_: end before its mainloop
  static constexpr uint32_t kNoSink = UINT32_MAX;
  uint32_t heardIndex_ = kNoSink;  // the heard sink's index
  // After a switch: the sink heard before, and what of it is still to be handed out.
  uint32_t previousIndex_ = kNoSink;
  std::size_t previousBytes_ = 0;
  // What the newly heard sink held before the switch, to be dropped.
  std::size_t skipBytes_ = 0;
  StreamFormat format_{SampleType::kS32, 44100, 2};
  uint32_t peekedIndex_ = kNoSink;  // the reader of the piece handed out, until Drop
  std::size_t peekedBytes_ = 0;     // of it handed out
  std::size_t peekedFragment_ = 0;  // the whole fragment Drop drops
  bool refreshWanted_ = false;  // set by the subscription
  uint64_t serverChanges_ = 0;  // the server's changes that reached this connection
  Clock::time_point reconnectAt_{};
};

}  // namespace zav::pulse
