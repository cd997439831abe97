#include "pulse/SinkMonitors.h"

#include <glog/logging.h>
#include <pulse/pulseaudio.h>

#include <algorithm>

#include "pulse/ServerQueries.h"

namespace zav::pulse {
namespace {

using namespace std::chrono_literals;
// A lost server is looked for this often; a restarted one is heard again this soon.
constexpr auto kReconnectEvery = 100ms;
// Each attempt to reach the server again, and each look at its sinks, ends by then.
constexpr auto kRequestTimeout = 500ms;
// A reader whose stream failed while its sink is still there is started again after this.
constexpr auto kRetryFailedReader = 1000ms;
// How long a switch waits for the server's change to reach the readers' own connections.
constexpr auto kChangeReachesReaders = 50ms;
// Short fragments keep the sink rendering in short blocks, so its monitor is heard at once.
constexpr int kFragmentMs = 10;
// Stereo at the sink's rate whatever its layout: the server mixes 5.1, 7.1 or 16 channels
// down (and a mono sink up) better than a guess at an unusual layout would.
constexpr int kCaptureChannels = 2;

bool IsReady(const StreamPtr& stream) { return stream && pa_stream_get_state(stream.get()) == PA_STREAM_READY; }

// Bytes the stream holds now, in whole frames.
std::size_t HeldBytes(const StreamPtr& stream, const StreamFormat& format) {
  if (!IsReady(stream)) return 0;
  const std::size_t readable = pa_stream_readable_size(stream.get());
  if (readable == static_cast<std::size_t>(-1)) return 0;
  const auto frame = static_cast<std::size_t>(format.frameBytes());
  return readable / frame * frame;
}

}  // namespace

struct SinkMonitors::Events {
  // New and removed sinks and every server change (a new default sink) call for a new look;
  // a sink's changes (volume, state) do not.
  static void OnServer(pa_context*, pa_subscription_event_type_t event, uint32_t, void* userdata) {
    auto* self = static_cast<SinkMonitors*>(userdata);
    const auto facility = event & PA_SUBSCRIPTION_EVENT_FACILITY_MASK;
    const auto type = event & PA_SUBSCRIPTION_EVENT_TYPE_MASK;
    if (facility == PA_SUBSCRIPTION_EVENT_SERVER) {
      ++self->serverChanges_;
      self->refreshWanted_ = true;
    } else if (facility == PA_SUBSCRIPTION_EVENT_SINK && type != PA_SUBSCRIPTION_EVENT_CHANGE) {
      self->refreshWanted_ = true;
    }
  }
  // On a reader's own connection: what it holds when a server change arrives came before it.
  static void OnReader(pa_context*, pa_subscription_event_type_t event, uint32_t, void* userdata) {
    auto* reader = static_cast<Reader*>(userdata);
    if ((event & PA_SUBSCRIPTION_EVENT_FACILITY_MASK) != PA_SUBSCRIPTION_EVENT_SERVER) return;
    reader->heldAtChange = HeldBytes(reader->stream, reader->format);
    ++reader->changesSeen;
  }
};

SinkMonitors::OpenResult SinkMonitors::Open(Deadline deadline) {
  if (!Connect(deadline) || !Refresh(deadline)) return OpenResult::kNoServer;
  if (flow_ == Flow::kNone) {
    // Every sink in short blocks before the owner's own streams start.
    for (const std::unique_ptr<Reader>& reader : readers_) {
      if (reader->stream) WaitStreamReady(connection_.mainloop.get(), reader->stream.get(), deadline, cancel_);
    }
    return readers_.empty() ? OpenResult::kNoSink : OpenResult::kOk;
  }
  const Reader* heard = FindReader(heardIndex_);
  if (heard == nullptr) return OpenResult::kNoSink;
  if (!heard->stream || !WaitStreamReady(connection_.mainloop.get(), heard->stream.get(), deadline, cancel_))
    return OpenResult::kNoStream;
  return OpenResult::kOk;
}

bool SinkMonitors::connected() const {
  return connection_.context && pa_context_get_state(connection_.context.get()) == PA_CONTEXT_READY;
}

void SinkMonitors::Disconnect() {
  readers_.clear();  // before the mainloop they live on
  heardIndex_ = previousIndex_ = peekedIndex_ = kNoSink;
  previousBytes_ = skipBytes_ = peekedBytes_ = 0;
  refreshWanted_ = false;
  connection_ = {};
}

bool SinkMonitors::Connect(Deadline deadline) {
  Disconnect();
  if (!pulse::Connect(kClientName, deadline, &connection_, cancel_)) return false;
  pa_context* context = connection_.context.get();
  // Subscribed before the first look, so that no change after it goes unseen.
  pa_context_set_subscribe_callback(context, Events::OnServer, this);
  const auto mask = static_cast<pa_subscription_mask_t>(PA_SUBSCRIPTION_MASK_SINK | PA_SUBSCRIPTION_MASK_SERVER);
  if (!Requests(connection_, deadline, cancel_).Run(pa_context_subscribe(context, mask, nullptr, nullptr))) {
    Disconnect();
    return false;
  }
  return true;
}

bool SinkMonitors::Refresh(Deadline deadline) {
  refreshWanted_ = false;
  const Requests requests(connection_, deadline, cancel_);
  ServerDefaults defaults;
  std::vector<SinkRecord> sinks;
  if (!QueryDefaults(requests, &defaults) || !QuerySinks(requests, &sinks)) {
    refreshWanted_ = true;  // looked at again at the next poll
    return false;
  }
  const auto wanted = [this](const SinkRecord& sink) {
    return (chosen_.empty() || sink.name == chosen_) && !sink.monitorName.empty() && sink.sampleRate > 0;
  };
  std::erase_if(readers_, [&](const std::unique_ptr<Reader>& reader) {
    return std::none_of(sinks.begin(), sinks.end(),
                        [&](const SinkRecord& sink) { return sink.index == reader->index && wanted(sink); });
  });
  const std::string heard = flow_ == Flow::kNone ? std::string() : chosen_.empty() ? defaults.sinkName : chosen_;
  for (const SinkRecord& sink : sinks) {
    if (!wanted(sink) || FindReader(sink.index) != nullptr) continue;
    auto reader = std::make_unique<Reader>();
    reader->index = sink.index;
    reader->sink = sink.name;
    reader->monitor = sink.monitorName;
    reader->format = {SampleType::kS32, sink.sampleRate, kCaptureChannels};
    StartReader(*reader, /*corked=*/flow_ != Flow::kEverySink && sink.name != heard);
    readers_.push_back(std::move(reader));
  }
  if (flow_ != Flow::kNone) Hear(heard);
  return true;
}

void SinkMonitors::StartReader(Reader& reader, bool corked) {
  reader.stream.reset();
  reader.context.reset();
  // Its connection hears of the changes from now on.
  reader.changesSeen = serverChanges_;
  reader.heldAtChange = 0;
  const Deadline deadline = DeadlineIn(kRequestTimeout);
  pa_mainloop* mainloop = connection_.mainloop.get();
  if (ConnectContext(mainloop, kClientName, deadline, &reader.context, cancel_)) {
    pa_context_set_subscribe_callback(reader.context.get(), Events::OnReader, &reader);
    if (RunOperation(mainloop, pa_context_subscribe(reader.context.get(), PA_SUBSCRIPTION_MASK_SERVER, nullptr, nullptr),
                     deadline, cancel_)) {
      reader.stream = StartRecordStream(reader.context.get(), reader.monitor, reader.format, kFragmentMs,
                                        "system sound", PA_INVALID_INDEX, corked);
      reader.corked = corked;
    }
  }
  if (!reader.stream) {
    reader.context.reset();
    reader.retryAt = Clock::now() + kRetryFailedReader;
  }
}

bool SinkMonitors::Flowing(const Reader& reader) {
  return reader.context && pa_context_get_state(reader.context.get()) == PA_CONTEXT_READY && IsReady(reader.stream);
}

void SinkMonitors::RestartFailed(Clock::time_point now) {
  for (const std::unique_ptr<Reader>& reader : readers_) {
    if (reader->stream && PA_STREAM_IS_GOOD(pa_stream_get_state(reader->stream.get())) &&
        pa_context_get_state(reader->context.get()) == PA_CONTEXT_READY)
      continue;
    if (reader->stream) {
      LOG(WARNING) << "system sound: the reader of " << reader->sink << " failed: "
                   << pa_strerror(pa_context_errno(reader->context.get()));
      reader->stream.reset();
      reader->context.reset();
      reader->retryAt = now + kRetryFailedReader;
    } else if (now >= reader->retryAt) {
      StartReader(*reader, !Flows(*reader));
    }
  }
}

bool SinkMonitors::HandsOut(const Reader& reader) const {
  return reader.index == heardIndex_ || reader.index == previousIndex_;
}

bool SinkMonitors::Flows(const Reader& reader) const { return flow_ == Flow::kEverySink || HandsOut(reader); }

void SinkMonitors::SetCorked(Reader& reader, bool corked) {
  if (reader.corked == corked || !Flowing(reader)) return;
  CorkStream(reader.stream.get(), corked);
  reader.corked = corked;
}

void SinkMonitors::Hear(const std::string& sink) {
  const auto found = std::find_if(readers_.begin(), readers_.end(),
                                  [&](const std::unique_ptr<Reader>& r) { return r->sink == sink; });
  Reader* next = found == readers_.end() ? nullptr : found->get();
  const uint32_t index = next == nullptr ? kNoSink : next->index;
  if (index == heardIndex_) return;
  // Cut where the change arrived: the sink heard so far up to there, the new one from there.
  // Each reader's connection hears of it on its own, usually within a few milliseconds.
  Reader* previous = FindReader(heardIndex_);
  const auto reached = [this](const Reader* reader) {
    return reader != nullptr && reader->changesSeen >= serverChanges_;
  };
  IterateUntil(
      connection_.mainloop.get(),
      [&] {
        return (previous == nullptr || reached(previous) || !Flowing(*previous)) &&
               (next == nullptr || reached(next) || !Flowing(*next));
      },
      DeadlineIn(kChangeReachesReaders), cancel_);
  const bool cut = reached(previous) && Flowing(*previous);
  previousIndex_ = cut ? heardIndex_ : kNoSink;
  previousBytes_ = cut ? previous->heldAtChange : 0;
  // Without the old sink's part, the new one's covers the time since the last poll.
  skipBytes_ = cut && reached(next) ? next->heldAtChange : 0;
  heardIndex_ = index;
  if (next == nullptr) return;
  SetCorked(*next, false);
  if (previousBytes_ == 0) format_ = next->format;
  LOG(INFO) << "system sound from the monitor of " << sink << " (" << next->format.sampleRate << " Hz, "
            << next->format.channels << " channels)";
}

SinkMonitors::Reader* SinkMonitors::FindReader(uint32_t index) {
  const auto found = std::find_if(readers_.begin(), readers_.end(),
                                  [index](const std::unique_ptr<Reader>& r) { return r->index == index; });
  return found == readers_.end() ? nullptr : found->get();
}

const SinkMonitors::Reader* SinkMonitors::FindReader(uint32_t index) const {
  return const_cast<SinkMonitors*>(this)->FindReader(index);
}

void SinkMonitors::Poll() {
  const auto now = Clock::now();
  if (connection_.mainloop) DispatchPending(connection_.mainloop.get());
  if (!connected()) {
    if (connection_.context) {
      LOG(WARNING) << "system sound: the sound server went away; looking for it every " << kReconnectEvery.count()
                   << " ms";
      Disconnect();
    }
    if (now < reconnectAt_) return;
    reconnectAt_ = now + kReconnectEvery;
    if (!Connect(DeadlineIn(kRequestTimeout)) || !Refresh(DeadlineIn(kRequestTimeout))) Disconnect();
    return;
  }
  if (refreshWanted_) Refresh(DeadlineIn(kRequestTimeout));
  RestartFailed(now);
  for (const std::unique_ptr<Reader>& reader : readers_) {
    SetCorked(*reader, !Flows(*reader));
    if (!HandsOut(*reader)) DropHeld(*reader);
  }
}

bool SinkMonitors::present() const {
  const Reader* heard = FindReader(heardIndex_);
  return connected() && heard != nullptr && Flowing(*heard);
}

int SinkMonitors::Peek(const void** data, std::size_t* bytes) {
  *data = nullptr;
  *bytes = 0;
  if (previousIndex_ != kNoSink) {
    Reader* previous = FindReader(previousIndex_);
    if (previousBytes_ > 0 && previous != nullptr && Flowing(*previous) &&
        PeekStream(previous->stream.get(), data, bytes) == 0 && *bytes > 0) {
      // The rest of its last fragment came after the switch.
      peekedFragment_ = *bytes;
      *bytes = std::min(*bytes, previousBytes_);
      peekedIndex_ = previousIndex_;
      peekedBytes_ = *bytes;
      format_ = previous->format;
      return 0;
    }
    if (previous != nullptr) DropHeld(*previous);
    previousIndex_ = kNoSink;
    previousBytes_ = 0;
  }
  Reader* heard = FindReader(heardIndex_);
  if (!connected() || heard == nullptr || !Flowing(*heard)) return -1;
  format_ = heard->format;
  pa_stream* stream = heard->stream.get();
  while (true) {
    if (PeekStream(stream, data, bytes) < 0) return -1;
    if (*bytes == 0) return 0;
    if (skipBytes_ < *bytes) break;
    // Held before the switch: the sink heard before covers that time.
    skipBytes_ -= *bytes;
    DropPeeked(*heard, *bytes);
  }
  peekedFragment_ = *bytes;
  if (skipBytes_ > 0) {
    if (*data != nullptr) *data = static_cast<const uint8_t*>(*data) + skipBytes_;
    *bytes -= skipBytes_;
    skipBytes_ = 0;
  }
  peekedIndex_ = heardIndex_;
  peekedBytes_ = *bytes;
  return 0;
}

void SinkMonitors::Drop() {
  const uint32_t index = peekedIndex_;
  if (index == kNoSink) return;
  peekedIndex_ = kNoSink;
  if (index == previousIndex_) previousBytes_ -= std::min(previousBytes_, peekedBytes_);
  Reader* reader = FindReader(index);
  if (reader != nullptr) DropPeeked(*reader, peekedFragment_);
}

void SinkMonitors::DropPeeked(Reader& reader, std::size_t fragmentBytes) {
  if (!Flowing(reader)) return;
  pa_stream_drop(reader.stream.get());
  reader.heldAtChange -= std::min(reader.heldAtChange, fragmentBytes);
}

void SinkMonitors::DropHeld(Reader& reader) {
  if (!Flowing(reader)) return;
  DropArrived(reader.stream.get());
  reader.heldAtChange = 0;
}

}  // namespace zav::pulse
