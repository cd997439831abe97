#include "RecorderControls.h"

#include <QApplication>
#include <QLabel>

#include <utility>

#include "ElapsedTime.h"
#include "dui/GifAnim.h"
#include "dui/WindowImplBase.h"
#include "dui/Texts.h"

namespace zav {
namespace {

void SetShown(QWidget* control, bool shown) {
  if (control) control->setVisible(shown);
}

void Animate(CGifAnimUI* picture, bool shown, bool playing) {
  if (!picture) return;
  picture->setVisible(shown);
  if (playing) {
    picture->PlayGif();
  } else {
    picture->PauseGif();  // also while hidden: an idle window runs no timers
  }
}

}  // namespace

RecorderControls::RecorderControls(const WindowImplBase& window)
    : start_(window.FindControl(QStringLiteral("recorder-start"))),
      pause_(window.FindControl(QStringLiteral("recorder-pause"))),
      stop_(window.FindControl(QStringLiteral("recorder-stop"))),
      disabled_(window.FindControl(QStringLiteral("recorder-disabled"))),
      ready_(window.FindControl(QStringLiteral("recorder-ready"))),
      statusInit_(window.FindControl(QStringLiteral("recorder-status-init"))),
      working_(window.FindControl<CGifAnimUI>(QStringLiteral("recorder-working"))),
      statusWorking_(window.FindControl<CGifAnimUI>(QStringLiteral("recorder-status-working"))),
      info_(window.FindControl<QLabel>(QStringLiteral("recorder-info"))),
      progress_(window.FindControl<QLabel>(QStringLiteral("recorder-progress"))) {}

void RecorderControls::Show(RecorderLook look) {
  const bool idle = look == RecorderLook::kIdle;
  const bool recording = look == RecorderLook::kRecording;
  // A button that goes while it has the keyboard focus hands it to the button that takes its
  // place (start and pause swap; stop gives way to start), so that the keyboard stays on the
  // recorder rather than jumping to the next control.
  QWidget* const focused = QApplication::focusWidget();
  const std::pair<QWidget*, bool> buttons[] = {
      {start_, !recording}, {pause_, recording}, {stop_, !idle}, {disabled_, idle}};
  for (const auto& [button, shown] : buttons) {
    if (shown) SetShown(button, true);
  }
  if (focused && (focused == start_ || focused == pause_ || focused == stop_)) {
    QWidget* next = recording ? pause_ : start_;
    if (focused == stop_ && !idle) next = stop_;
    if (next && next != focused) next->setFocus(Qt::OtherFocusReason);
  }
  for (const auto& [button, shown] : buttons) {
    if (!shown) SetShown(button, false);
  }
  SetShown(ready_, idle);
  SetShown(statusInit_, idle);
  Animate(working_, !idle, recording);
  Animate(statusWorking_, !idle, recording);
  if (info_) {
    const char* text = idle        ? QT_TRANSLATE_NOOP("Zav", "准备录音")
                       : recording ? QT_TRANSLATE_NOOP("Zav", "正在录音")
                                   : QT_TRANSLATE_NOOP("Zav", "暂停录音");
    info_->setText(Tr(std::string_view(text)));
  }
  if (idle) ShowSeconds(0);
  if (observer_) observer_(look);
}

void RecorderControls::ShowSeconds(int64_t seconds) {
  if (progress_) progress_->setText(FormatElapsedTime(seconds));
}

}  // namespace zav
