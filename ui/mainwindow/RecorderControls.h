#pragma once
// The recorder controls of the main window: start, pause and stop buttons, the idle and
// recording pictures, the status text and the elapsed time. Shows one of three looks.
// UI thread only.

#include <cstdint>
#include <functional>

class QLabel;
class QWidget;

namespace zav {

class CGifAnimUI;
class WindowImplBase;

enum class RecorderLook { kIdle, kRecording, kPaused };

class RecorderControls {
 public:
  // Looks the controls up in the window's skin.
  explicit RecorderControls(const WindowImplBase& window);

  // Shows look's buttons, pictures and status text. The idle look also resets the elapsed time
  // to "00:00:00"; the others keep it.
  void Show(RecorderLook look);
  void ShowSeconds(int64_t seconds);
  // Called after every change of look (the tray tip follows it).
  void OnLookChanged(std::function<void(RecorderLook)> observer) { observer_ = std::move(observer); }

 private:
  std::function<void(RecorderLook)> observer_;
  QWidget* start_;
  QWidget* pause_;
  QWidget* stop_;
  QWidget* disabled_;
  QWidget* ready_;
  QWidget* statusInit_;
  CGifAnimUI* working_;
  CGifAnimUI* statusWorking_;
  QLabel* info_;
  QLabel* progress_;
};

}  // namespace zav
