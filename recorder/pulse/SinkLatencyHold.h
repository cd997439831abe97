#pragma once
// Corked record streams on the monitors of every sink of a connection. A sink that nobody
// reads with short fragments renders as far ahead as its latency allows (2 s for a sink left
// at its default) and hands a monitor stream opened later nothing of what it rendered before:
// a recording started then would miss up to 2 s of what plays. A corked stream is sent
// nothing, so holding one costs this process no wake-ups, yet the server counts its fragments
// and keeps the sink rendering at most that far ahead while something plays. An idle sink is
// still suspended as usual: corked streams do not count as use.
//
// Used on the thread of the connection's mainloop; the streams end with this object, which
// must end before the connection.

#include <pulse/context.h>

#include <cstdint>
#include <map>
#include <vector>

#include "pulse/PulseHandles.h"
#include "pulse/ServerQueries.h"

namespace zav::pulse {

class SinkLatencyHold {
 public:
  // How far ahead a held sink renders at most, and so what a start can miss of a sink that
  // already plays; the server wakes this often while the sink plays.
  static constexpr int kFragmentMs = 50;

  explicit SinkLatencyHold(pa_context* context) : context_(context) {}

  // Holds each of these sinks (the server's list, as it is now), lets go of the others, and
  // starts again a stream the server ended.
  void Match(const std::vector<SinkRecord>& sinks);

 private:
  pa_context* context_;
  std::map<uint32_t, StreamPtr> streams_;  // by sink index: a sink loaded again is another
};

}  // namespace zav::pulse
