#include "pulse/ServerQueries.h"

#include <pulse/pulseaudio.h>

#include <algorithm>

namespace zav::pulse {

bool Requests::Run(pa_operation* operation) const {
  return RunOperation(connection_.mainloop.get(), operation, deadline_, cancel_);
}

bool QueryDefaults(const Requests& requests, ServerDefaults* defaults) {
  auto onInfo = [](pa_context*, const pa_server_info* info, void* userdata) {
    auto* out = static_cast<ServerDefaults*>(userdata);
    if (info == nullptr) return;
    if (info->default_sink_name != nullptr) out->sinkName = info->default_sink_name;
    if (info->default_source_name != nullptr) out->sourceName = info->default_source_name;
  };
  return requests.Run(pa_context_get_server_info(requests.context(), onInfo, defaults));
}

bool QuerySources(const Requests& requests, std::vector<SourceRecord>* sources) {
  struct Collected {
    std::vector<SourceRecord>* sources;
    bool failed = false;
  } collected{sources};
  auto onSource = [](pa_context*, const pa_source_info* info, int eol, void* userdata) {
    auto* out = static_cast<Collected*>(userdata);
    if (eol < 0) out->failed = true;
    if (eol != 0 || info == nullptr) return;
    SourceRecord record;
    record.facts.name = info->name != nullptr ? info->name : "";
    record.facts.description = info->description != nullptr ? info->description : "";
    record.facts.isMonitor = info->monitor_of_sink != PA_INVALID_INDEX;
    record.volume = info->volume;
    if (!(info->flags & PA_SOURCE_DYNAMIC_LATENCY)) {
      record.fixedLatencyMs = static_cast<int>(std::min<pa_usec_t>(info->configured_latency / 1000, 60000));
    }
    out->sources->push_back(std::move(record));
  };
  const bool done = requests.Run(pa_context_get_source_info_list(requests.context(), onSource, &collected));
  return done && !collected.failed;
}

namespace {

SinkRecord RecordOf(const pa_sink_info& info) {
  SinkRecord record;
  record.found = true;
  record.index = info.index;
  record.name = info.name != nullptr ? info.name : "";
  record.description = info.description != nullptr ? info.description : "";
  record.monitorName = info.monitor_source_name != nullptr ? info.monitor_source_name : "";
  record.volume = info.volume;
  record.sampleRate = static_cast<int>(info.sample_spec.rate);
  record.channels = info.sample_spec.channels;
  return record;
}

}  // namespace

bool QuerySinks(const Requests& requests, std::vector<SinkRecord>* sinks) {
  struct Collected {
    std::vector<SinkRecord>* sinks;
    bool failed = false;
  } collected{sinks};
  auto onSink = [](pa_context*, const pa_sink_info* info, int eol, void* userdata) {
    auto* out = static_cast<Collected*>(userdata);
    if (eol < 0) out->failed = true;
    if (eol != 0 || info == nullptr) return;
    out->sinks->push_back(RecordOf(*info));
  };
  const bool done = requests.Run(pa_context_get_sink_info_list(requests.context(), onSink, &collected));
  return done && !collected.failed;
}

bool QuerySinkByName(const Requests& requests, const std::string& name, SinkRecord* sink) {
  auto onSink = [](pa_context*, const pa_sink_info* info, int eol, void* userdata) {
    if (eol != 0 || info == nullptr) return;
    *static_cast<SinkRecord*>(userdata) = RecordOf(*info);
  };
  // A missing sink ends the request with an error, which is the "no sink" answer here.
  return requests.Run(pa_context_get_sink_info_by_name(requests.context(), name.c_str(), onSink, sink));
}

bool QueryDefaultSink(const Requests& requests, SinkRecord* sink) {
  ServerDefaults defaults;
  if (!QueryDefaults(requests, &defaults)) return false;
  if (defaults.sinkName.empty()) return true;
  return QuerySinkByName(requests, defaults.sinkName, sink);
}

std::vector<SourceFacts> FactsOf(const std::vector<SourceRecord>& records) {
  std::vector<SourceFacts> facts;
  facts.reserve(records.size());
  for (const SourceRecord& record : records) facts.push_back(record.facts);
  return facts;
}

bool QueryMicrophone(const Requests& requests, SourceRecord* microphone) {
  ServerDefaults defaults;
  std::vector<SourceRecord> records;
  if (!QueryDefaults(requests, &defaults) || !QuerySources(requests, &records)) return false;
  const std::vector<SourceFacts> facts = FactsOf(records);
  const SourceFacts* picked = PickMicrophoneSource(facts, defaults.sourceName);
  if (picked == nullptr) return false;
  *microphone = records[static_cast<std::size_t>(picked - facts.data())];
  return true;
}

bool QueryCaptureSource(const Requests& requests, const std::string& name, SourceRecord* source) {
  std::vector<SourceRecord> records;
  if (!QuerySources(requests, &records)) return false;
  for (const SourceRecord& record : records) {
    if (record.facts.name == name && !record.facts.isMonitor) {
      *source = record;
      return true;
    }
  }
  return false;
}

}  // namespace zav::pulse
