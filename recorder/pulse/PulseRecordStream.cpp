#include "pulse/PulseRecordStream.h"

#include <pulse/pulseaudio.h>

namespace zav::pulse {
namespace {


pa_sample_format_t PulseFormatOf(SampleType type) {
  switch (type) {
    case SampleType::kS16:
      return PA_SAMPLE_S16LE;
    case SampleType::kS32:
      return PA_SAMPLE_S32LE;
    case SampleType::kFloat32:
      return PA_SAMPLE_FLOAT32LE;
  }
  return PA_SAMPLE_S16LE;
}

}  // namespace

int StreamFormat::frameBytes() const { return channels * (type == SampleType::kS16 ? 2 : 4); }

StreamPtr StartRecordStream(pa_context* context, const std::string& source, const StreamFormat& format,
                            int fragmentMs, const char* name, uint32_t onlySinkInput, bool startCorked) {
  pa_sample_spec samples{};
  samples.format = PulseFormatOf(format.type);
  samples.rate = static_cast<uint32_t>(format.sampleRate);
  samples.channels = static_cast<uint8_t>(format.channels);
  pa_channel_map map;
  // Any channel count has a map (channels beyond the known layouts are auxiliary ones).
  pa_channel_map_init_extend(&map, samples.channels, PA_CHANNEL_MAP_DEFAULT);
  StreamPtr stream(pa_stream_new(context, name, &samples, &map));
  if (!stream) return nullptr;
  if (onlySinkInput != PA_INVALID_INDEX && pa_stream_set_monitor_stream(stream.get(), onlySinkInput) < 0) return nullptr;
  pa_buffer_attr attr;
  attr.maxlength = static_cast<uint32_t>(-1);
  attr.tlength = attr.prebuf = attr.minreq = static_cast<uint32_t>(-1);
  attr.fragsize = static_cast<uint32_t>(format.sampleRate * fragmentMs / 1000 * format.frameBytes());
  // DONT_MOVE: when the source goes away the stream fails instead of being moved to whatever
  // the server picks (for a microphone, possibly the monitor of the speakers).
  const auto flags = static_cast<pa_stream_flags_t>(PA_STREAM_ADJUST_LATENCY | PA_STREAM_DONT_MOVE |
                                                    (startCorked ? PA_STREAM_START_CORKED : 0));
  if (pa_stream_connect_record(stream.get(), source.c_str(), &attr, flags) < 0) return nullptr;
  return stream;
}

void CorkStream(pa_stream* stream, bool corked) {
  // Nothing to wait for: the server applies it in order with what else this connection asks.
  if (pa_operation* operation = pa_stream_cork(stream, corked ? 1 : 0, nullptr, nullptr))
    pa_operation_unref(operation);
}

int PeekStream(pa_stream* stream, const void** data, std::size_t* bytes) {
  *data = nullptr;
  *bytes = 0;
  const std::size_t readable = pa_stream_readable_size(stream);
  if (readable == static_cast<std::size_t>(-1)) return -1;
  if (readable == 0) return 0;
  return pa_stream_peek(stream, data, bytes) < 0 ? -1 : 0;
}

void DropArrived(pa_stream* stream) {
  const void* data = nullptr;
  std::size_t bytes = 0;
  while (PeekStream(stream, &data, &bytes) == 0 && bytes > 0) pa_stream_drop(stream);
}

bool RecordStream::Connect(Deadline deadline) {
  if (connected()) return true;
  stream_.reset();
  peeked_ = false;
  return pulse::Connect(kClientName, deadline, &connection_, cancel_);
}

bool RecordStream::Open(const std::string& source, const StreamFormat& format, int fragmentMs, const char* name,
                        Deadline deadline) {
  stream_.reset();
  peeked_ = false;
  if (!connected()) return false;
  StreamPtr stream = StartRecordStream(connection_.context.get(), source, format, fragmentMs, name);
  if (!stream || !WaitStreamReady(connection_.mainloop.get(), stream.get(), deadline, cancel_)) return false;
  stream_ = std::move(stream);
  format_ = format;
  return true;
}

void RecordStream::Close() {
  stream_.reset();
  peeked_ = false;
  connection_ = {};
}

std::string RecordStream::ErrorText() const {
  if (!connection_.context) return "no connection to the sound server";
  return pa_strerror(pa_context_errno(connection_.context.get()));
}

void RecordStream::Pump() {
  if (connection_.mainloop) DispatchPending(connection_.mainloop.get());
}

bool RecordStream::connected() const {
  return connection_.context && pa_context_get_state(connection_.context.get()) == PA_CONTEXT_READY;
}

bool RecordStream::ready() const {
  return connected() && stream_ && pa_stream_get_state(stream_.get()) == PA_STREAM_READY;
}

int RecordStream::Peek(const void** data, std::size_t* bytes) {
  *data = nullptr;
  *bytes = 0;
  if (!ready()) return -1;
  if (PeekStream(stream_.get(), data, bytes) < 0) return -1;
  peeked_ = *bytes > 0;  // a hole (no data, some bytes) must be dropped too
  return 0;
}

void RecordStream::Drop() {
  if (!peeked_) return;
  peeked_ = false;
  if (stream_) pa_stream_drop(stream_.get());
}

void RecordStream::DropAll() {
  Pump();
  Drop();
  if (ready()) DropArrived(stream_.get());
}

}  // namespace zav::pulse
