#pragma once
// CGifAnimUI: an animated picture. The skin names a strip of equally wide frames laid side
// by side ("picture", a file of the skin folder), their count and the time per frame.
// Skin class name: "GifAnim". UI thread only.

#include <QLabel>
#include <QPixmap>
#include <QTimer>

#include <vector>

namespace zav {

class CGifAnimUI : public QLabel {
  Q_OBJECT
  Q_PROPERTY(QString picture READ picture WRITE setPicture)
  Q_PROPERTY(int frameCount READ frameCount WRITE setFrameCount)
  Q_PROPERTY(int frameInterval READ frameInterval WRITE setFrameInterval)

 public:
  static inline const QString kSkinClassName = QStringLiteral("GifAnim");

  explicit CGifAnimUI(QWidget* parent = nullptr);

  void PlayGif();
  void PauseGif();
  bool IsPlaying() const { return timer_.isActive(); }
  int CurrentFrame() const { return currentFrame_; }
  int LoadedFrameCount() const { return static_cast<int>(frames_.size()); }

  QString picture() const { return picture_; }
  void setPicture(const QString& picture);
  int frameCount() const { return frameCount_; }
  void setFrameCount(int count);
  int frameInterval() const { return timer_.interval(); }
  void setFrameInterval(int ms);

 private:
  void LoadFrames();
  void ShowFrame(int index);

  QString picture_;
  int frameCount_ = 1;
  int currentFrame_ = 0;
  std::vector<QPixmap> frames_;
  QTimer timer_;
};

}  // namespace zav
