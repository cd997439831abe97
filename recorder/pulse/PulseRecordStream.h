#pragma once
// One libpulse record stream on a connection of its own, polled without blocking by the one
// thread that uses it (the capture threads wake every few tens of milliseconds and take what
// has arrived). The stream is never moved by the server: when its source goes away it ends,
// and the owner decides where to record next.
//
// Every wait for the server ends by a deadline and soon after the cancel flag given to the
// constructor is set, so a thread that reconnects to a frozen server can still be stopped.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include <pulse/def.h>

#include "pulse/PulseHandles.h"
#include "pulse/ServerQueries.h"

namespace zav::pulse {

// The name this program's connections give the server.
inline constexpr char kClientName[] = "ZAV audio recorder";

enum class SampleType { kS16, kS32, kFloat32 };

struct StreamFormat {
  SampleType type = SampleType::kS16;
  int sampleRate = 44100;
  int channels = 2;
  int frameBytes() const;
};

// Asks the server for a record stream from source (a server source name) in format, with
// fragments of fragmentMs. The server never moves it: when its source goes away it fails.
// Does not wait: the stream is ready once WaitStreamReady (or its state) says so. Null when
// the request was refused at once. With onlySinkInput, source is a sink's monitor and the
// stream carries that one sink input's sound alone. A stream started corked receives nothing
// until CorkStream uncorks it, yet its fragments still set how far ahead its source's sink renders.
StreamPtr StartRecordStream(pa_context* context, const std::string& source, const StreamFormat& format,
                            int fragmentMs, const char* name, uint32_t onlySinkInput = PA_INVALID_INDEX,
                            bool startCorked = false);
// Asks the server to stop (corked) or resume sending a ready stream's audio; does not wait.
void CorkStream(pa_stream* stream, bool corked);

// The next piece of a ready stream, without waiting: 0 with *data and *bytes (data null for a
// hole, to be read as silence; bytes 0 when nothing is waiting), -1 when the stream failed.
// A piece with bytes > 0 must be released with pa_stream_drop.
int PeekStream(pa_stream* stream, const void** data, std::size_t* bytes);
// Drops everything that has arrived on the stream.
void DropArrived(pa_stream* stream);

class RecordStream {
 public:
  // cancel: ends every wait early when set (may be null).
  explicit RecordStream(const std::atomic<bool>* cancel) : cancel_(cancel) {}

  // Connects to the server unless a usable connection exists. False when it could not.
  bool Connect(Deadline deadline);
  // Connects the stream to source (a server source name) in format, asking the server for
  // fragments of fragmentMs. Replaces a stream that was open. False when it did not start.
  bool Open(const std::string& source, const StreamFormat& format, int fragmentMs, const char* name,
            Deadline deadline);
  // Ends the stream, then the connection.
  void Close();

  // Handles what the server sent meanwhile, without waiting.
  void Pump();
  // The connection works (it may have no stream).
  bool connected() const;
  // The stream is delivering.
  bool ready() const;

  // The next piece of audio: 0 with *data and *bytes (data null for a hole, to be read as
  // silence; bytes 0 when nothing is waiting), -1 when the stream failed. Release it with Drop.
  int Peek(const void** data, std::size_t* bytes);
  void Drop();
  // Drops everything that has arrived.
  void DropAll();

  // Why the last request failed, in the server library's words.
  std::string ErrorText() const;

  Requests MakeRequests(Deadline deadline) const { return Requests(connection_, deadline, cancel_); }
  const StreamFormat& format() const { return format_; }
  pa_context* context() const { return connection_.context.get(); }

 private:
  const std::atomic<bool>* cancel_;
  Connection connection_;
  StreamPtr stream_;
  StreamFormat format_;
  bool peeked_ = false;
};

}  // namespace zav::pulse
