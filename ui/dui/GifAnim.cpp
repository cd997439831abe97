#include "GifAnim.h"

#include "Skin.h"

namespace zav {

namespace {
constexpr int kDefaultFrameIntervalMs = 100;
}

CGifAnimUI::CGifAnimUI(QWidget* parent) : QLabel(parent) {
  setAlignment(Qt::AlignCenter);
  timer_.setInterval(kDefaultFrameIntervalMs);
  connect(&timer_, &QTimer::timeout, this, [this] {
    if (!frames_.empty()) ShowFrame((currentFrame_ + 1) % static_cast<int>(frames_.size()));
  });
}

void CGifAnimUI::PlayGif() {
  if (frames_.size() > 1) timer_.start();
}

void CGifAnimUI::PauseGif() { timer_.stop(); }

void CGifAnimUI::setPicture(const QString& picture) {
  picture_ = picture;
  LoadFrames();
}

void CGifAnimUI::setFrameCount(int count) {
  frameCount_ = count < 1 ? 1 : count;
  LoadFrames();
}

void CGifAnimUI::setFrameInterval(int ms) { timer_.setInterval(ms < 10 ? 10 : ms); }

void CGifAnimUI::LoadFrames() {
  frames_.clear();
  currentFrame_ = 0;
  if (picture_.isEmpty()) return;
  const QPixmap strip(SkinFilePath(picture_));
  if (strip.isNull()) return;
  const int frameWidth = strip.width() / frameCount_;
  if (frameWidth <= 0) return;
  for (int i = 0; i < frameCount_; ++i) {
    frames_.push_back(strip.copy(i * frameWidth, 0, frameWidth, strip.height()));
  }
  ShowFrame(0);
}

void CGifAnimUI::ShowFrame(int index) {
  currentFrame_ = index;
  setPixmap(frames_[static_cast<size_t>(index)]);
}

}  // namespace zav
