#pragma once
// Questions to the sound server on an open connection, shared by the endpoint functions and
// the capture streams: the defaults, the sources, the default sink, the microphone.
// Internal to this folder.

#include <pulse/volume.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "pulse/EndpointLogic.h"
#include "pulse/PulseHandles.h"

namespace zav::pulse {

// Requests on one connection that share one deadline and, optionally, a cancel flag.
class Requests {
 public:
  Requests(const Connection& connection, Deadline deadline, const std::atomic<bool>* cancel = nullptr)
      : connection_(connection), deadline_(deadline), cancel_(cancel) {}

  // Runs the operation to completion (see RunOperation).
  bool Run(pa_operation* operation) const;
  pa_context* context() const { return connection_.context.get(); }

 private:
  const Connection& connection_;
  Deadline deadline_;
  const std::atomic<bool>* cancel_;
};

struct ServerDefaults {
  std::string sinkName;
  std::string sourceName;
};

struct SourceRecord {
  SourceFacts facts;
  pa_cvolume volume{};
  // A source that cannot lower its latency (a network or sine source, some Bluetooth ones)
  // hands audio over in pieces this long; 0 when it follows what a stream asks for.
  int fixedLatencyMs = 0;
};

struct SinkRecord {
  bool found = false;
  uint32_t index = 0;
  std::string name;
  std::string description;
  std::string monitorName;
  pa_cvolume volume{};
  int sampleRate = 0;
  int channels = 0;
};

bool QueryDefaults(const Requests& requests, ServerDefaults* defaults);
bool QuerySources(const Requests& requests, std::vector<SourceRecord>* sources);
bool QuerySinks(const Requests& requests, std::vector<SinkRecord>* sinks);
// The default sink; found stays false when the server has none.
bool QueryDefaultSink(const Requests& requests, SinkRecord* sink);
// The sink called name; found stays false when the server has none of that name.
bool QuerySinkByName(const Requests& requests, const std::string& name, SinkRecord* sink);
// The microphone source (PickMicrophoneSource); false when the server cannot be asked or has
// none.
bool QueryMicrophone(const Requests& requests, SourceRecord* microphone);
// The source called name, if it is a capture device (not a sink monitor); false otherwise.
bool QueryCaptureSource(const Requests& requests, const std::string& name, SourceRecord* source);

std::vector<SourceFacts> FactsOf(const std::vector<SourceRecord>& records);

}  // namespace zav::pulse
