#include "pulse/SinkLatencyHold.h"

#include <pulse/stream.h>

#include <algorithm>

#include "pulse/PulseRecordStream.h"

namespace zav::pulse {

void SinkLatencyHold::Match(const std::vector<SinkRecord>& sinks) {
  std::erase_if(streams_, [&](const auto& held) {
    const bool listed = std::any_of(sinks.begin(), sinks.end(), [&](const SinkRecord& s) { return s.index == held.first; });
    return !listed || !PA_STREAM_IS_GOOD(pa_stream_get_state(held.second.get()));
  });
  for (const SinkRecord& sink : sinks) {
    if (sink.monitorName.empty() || sink.sampleRate <= 0 || streams_.count(sink.index) > 0) continue;
    StreamPtr stream = StartRecordStream(context_, sink.monitorName, {SampleType::kS16, sink.sampleRate, 2}, kFragmentMs,
                                         "system sound (standby)", PA_INVALID_INDEX, /*startCorked=*/true);
    if (stream) streams_.emplace(sink.index, std::move(stream));
  }
}

}  // namespace zav::pulse
