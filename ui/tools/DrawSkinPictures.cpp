// Draws the skin's pictures with QPainter, so the skin carries no picture of unknown origin,
// and the program's icon in the sizes a desktop asks for.
// Usage: zav_draw_skin_pictures <skin folder> [<icon folder>]
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

#include <cmath>
#include <cstdio>

namespace {

constexpr int kAnimationFrames = 8;
constexpr int kStatusFrames = 8;

// A microphone centred in box: capsule, holder arc, stem and foot.
void DrawMicrophone(QPainter& p, const QRectF& box, const QColor& color) {
  const double w = box.width();
  const double cx = box.center().x();
  const double top = box.top();
  p.setBrush(color);
  p.setPen(Qt::NoPen);
  const QRectF capsule(cx - w * 0.16, top + w * 0.08, w * 0.32, w * 0.50);
  p.drawRoundedRect(capsule, w * 0.16, w * 0.16);

  QPen pen(color, w * 0.065, Qt::SolidLine, Qt::RoundCap);
  p.setPen(pen);
  p.setBrush(Qt::NoBrush);
  const QRectF arc(cx - w * 0.27, top + w * 0.22, w * 0.54, w * 0.52);
  p.drawArc(arc, 180 * 16, 180 * 16);
  p.drawLine(QPointF(cx, arc.bottom()), QPointF(cx, top + w * 0.86));
  p.drawLine(QPointF(cx - w * 0.15, top + w * 0.88), QPointF(cx + w * 0.15, top + w * 0.88));
}

QImage NewImage(int w, int h) {
  QImage image(w, h, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  return image;
}

QImage AppIcon(int size) {
  QImage image = NewImage(size, size);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  QLinearGradient gradient(0, 0, size, size);
  gradient.setColorAt(0, QColor(0xff, 0x6b, 0x6b));
  gradient.setColorAt(1, QColor(0xd9, 0x2d, 0x3a));
  p.setBrush(gradient);
  p.setPen(Qt::NoPen);
  const double margin = size * 0.06;
  p.drawRoundedRect(QRectF(margin, margin, size - 2 * margin, size - 2 * margin), size * 0.22, size * 0.22);
  DrawMicrophone(p, QRectF(size * 0.22, size * 0.18, size * 0.56, size * 0.56), Qt::white);
  return image;
}

// The idle picture: a quiet grey-blue microphone in a pale disc.
QImage ReadyPicture(int size) {
  QImage image = NewImage(size, size);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(0xee, 0xf1, 0xf6));
  p.drawEllipse(QRectF(size * 0.08, size * 0.08, size * 0.84, size * 0.84));
  p.setBrush(QColor(0xdd, 0xe3, 0xec));
  p.drawEllipse(QRectF(size * 0.2, size * 0.2, size * 0.6, size * 0.6));
  DrawMicrophone(p, QRectF(size * 0.32, size * 0.3, size * 0.36, size * 0.36), QColor(0x64, 0x74, 0x8b));
  return image;
}

// The recording animation: a red microphone disc with rings spreading outwards.
QImage RecordingStrip(int size) {
  QImage image = NewImage(size * kAnimationFrames, size);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  for (int f = 0; f < kAnimationFrames; ++f) {
    const QPointF c(f * size + size / 2.0, size / 2.0);
    for (int ring = 0; ring < 2; ++ring) {
      const double phase = std::fmod(static_cast<double>(f) / kAnimationFrames + ring * 0.5, 1.0);
      const double radius = size * (0.30 + 0.18 * phase);
      QColor color(0xe5, 0x48, 0x4d);
      color.setAlphaF(0.45 * (1.0 - phase));
      p.setPen(Qt::NoPen);
      p.setBrush(color);
      p.drawEllipse(c, radius, radius);
    }
    p.setBrush(QColor(0xe5, 0x48, 0x4d));
    p.drawEllipse(c, size * 0.30, size * 0.30);
    DrawMicrophone(p, QRectF(c.x() - size * 0.18, c.y() - size * 0.17, size * 0.36, size * 0.36), Qt::white);
  }
  return image;
}

QImage StatusDot(int size, const QColor& color) {
  QImage image = NewImage(size, size);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(Qt::NoPen);
  p.setBrush(color);
  p.drawEllipse(QRectF(size * 0.2, size * 0.2, size * 0.6, size * 0.6));
  return image;
}

// A red dot that breathes: full, fading to a third and back.
QImage StatusRecordingStrip(int size) {
  QImage image = NewImage(size * kStatusFrames, size);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(Qt::NoPen);
  for (int f = 0; f < kStatusFrames; ++f) {
    QColor color(0xe5, 0x48, 0x4d);
    color.setAlphaF(0.35 + 0.65 * (0.5 + 0.5 * std::cos(2 * M_PI * f / kStatusFrames)));
    p.setBrush(color);
    p.drawEllipse(QRectF(f * size + size * 0.2, size * 0.2, size * 0.6, size * 0.6));
  }
  return image;
}

QImage ArrowDown(int w, int h, const QColor& color) {
  QImage image = NewImage(w, h);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(QPen(color, 1.6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  QPainterPath path;
  path.moveTo(1.5, 1.5);
  path.lineTo(w / 2.0, h - 1.5);
  path.lineTo(w - 1.5, 1.5);
  p.drawPath(path);
  return image;
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  if (argc != 2 && argc != 3) {
    std::fprintf(stderr, "usage: %s <skin folder> [<icon folder>]\n", argv[0]);
    return 2;
  }
  if (argc == 3) {
    const QString icons = QString::fromLocal8Bit(argv[2]) + QLatin1Char('/');
    for (int size : {16, 22, 24, 32, 48, 64, 128, 256, 512}) {
      if (!AppIcon(size).save(icons + QStringLiteral("zav-audio-recorder-%1.png").arg(size))) {
        std::fprintf(stderr, "cannot write icons into %s\n", argv[2]);
        return 1;
      }
    }
  }
  const QString folder = QString::fromLocal8Bit(argv[1]) + QLatin1Char('/');
  const bool ok = AppIcon(256).save(folder + "app-icon.png") &&
                  ReadyPicture(128).save(folder + "recorder-ready.png") &&
                  RecordingStrip(128).save(folder + "recording.png") &&
                  StatusDot(14, QColor(0x9c, 0xa3, 0xaf)).save(folder + "status-idle.png") &&
                  StatusRecordingStrip(14).save(folder + "status-recording.png") &&
                  ArrowDown(10, 6, QColor(0x6b, 0x72, 0x80)).save(folder + "arrow-down.png");
  if (!ok) {
    std::fprintf(stderr, "cannot write pictures into %s\n", argv[1]);
    return 1;
  }
  return 0;
}
