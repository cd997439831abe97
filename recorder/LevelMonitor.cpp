// Placeholder until the idle capture lands: reports nothing.
#include "LevelMonitor.h"

namespace zav {

struct LevelMonitor::Impl {
  Sink sink;
  bool running = false;
};

LevelMonitor::LevelMonitor(Sink sink, CaptureBackend*) : impl_(std::make_unique<Impl>()) {
  impl_->sink = std::move(sink);
}
LevelMonitor::~LevelMonitor() { Stop(); }
void LevelMonitor::Start(VoiceSource) { impl_->running = true; }
void LevelMonitor::Stop() { impl_->running = false; }
bool LevelMonitor::running() const { return impl_->running; }

}  // namespace zav
