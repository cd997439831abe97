#pragma once
// The choices that shape the next recording: sound source, format and bitrate combos, the
// microphone boost slider, the noise suppression, gain control and echo cancellation checks
// (greyed out while the format is wav, which is recorded without them). Shows the stored choices without writing them
// back, and stores each change the user makes at once (on the disk worker). UI thread only.

#include <string>
#include <string_view>

class QCheckBox;
class QComboBox;
class QLabel;
class QSlider;

namespace zav {

struct RecorderSettings;
struct StoredChoices;
struct TNotifyUI;
class WindowImplBase;
class WorkQueue;

class ChoicesPanel {
 public:
  ChoicesPanel(WindowImplBase& window, WorkQueue* disk);

  void Show(const StoredChoices& stored);
  // True when msg was one of this panel's controls.
  bool Handle(const TNotifyUI& msg);

  // The format combo's text as the file's extension and the quality combo's bitrate.
  void FillFormatAndBitRate(RecorderSettings* choices) const;

 private:
  void Store(std::string_view key, std::string value);
  void ShowVoiceProcessingForFormat();

  WindowImplBase* window_;
  WorkQueue* disk_;
  QComboBox* source_;
  QComboBox* format_;
  QComboBox* quality_;
  QSlider* boost_;
  QLabel* boostLabel_;
  QCheckBox* gainControl_;
  QCheckBox* noiseSuppression_;
  QCheckBox* echoCancellation_;
};

}  // namespace zav
