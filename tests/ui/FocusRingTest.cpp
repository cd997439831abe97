// Every control the Tab key reaches shows that it has the keyboard: drawn with the focus and
// without it, it differs along its whole edge (a ring), in every window of the skin.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QImage>
#include <QLineEdit>
#include <QListWidget>
#include <QSlider>

#include "SkinWindow.h"
#include "UiTestSupport.h"
#include "dui/Skin.h"
#include "dui/WindowImplBase.h"

namespace zav::test {
namespace {

// How many pixels of the widget's outermost four rows and columns differ between two pictures.
int ChangedAtTheEdge(const QImage& a, const QImage& b) {
  int changed = 0;
  for (int y = 0; y < a.height(); ++y) {
    for (int x = 0; x < a.width(); ++x) {
      const bool edge = x < 4 || y < 4 || x >= a.width() - 4 || y >= a.height() - 4;
      if (edge && a.pixel(x, y) != b.pixel(x, y)) ++changed;
    }
  }
  return changed;
}

// The controls of window that the keyboard reaches and that draw no ring when it does.
QStringList WithoutRing(WindowImplBase* window, const QString& skin) {
  QStringList without;
  QList<QWidget*> controls;
  for (QWidget* w : window->findChildren<QWidget*>()) {
    const bool control = qobject_cast<QAbstractButton*>(w) || qobject_cast<QComboBox*>(w) ||
                         qobject_cast<QSlider*>(w) || qobject_cast<QLineEdit*>(w) || qobject_cast<QListWidget*>(w);
    if (control && w->isVisibleTo(window) && w->isEnabled() && (w->focusPolicy() & Qt::TabFocus)) controls << w;
  }
  for (QWidget* w : controls) {
    if (auto* list = qobject_cast<QListWidget*>(w); list && list->count() == 0) new QListWidgetItem(QStringLiteral("row"), list);
    window->setFocus();
    QCoreApplication::processEvents();
    const QImage before = w->grab().toImage();
    w->setFocus(Qt::TabFocusReason);
    QCoreApplication::processEvents();
    const QImage after = w->grab().toImage();
    // At least half of a 1-pixel ring round the control changes.
    if (!w->hasFocus() || ChangedAtTheEdge(before, after) < w->width() + w->height())
      without << skin + "/" + w->objectName() + " (" + w->metaObject()->className() + ")";
  }
  return without;
}

TEST(FocusRingTest, EveryControlTheKeyboardReachesShowsARing) {
  QString error;
  ASSERT_TRUE(LoadSkinResources(SourceSkinFolder(), &error)) << error.toStdString();
  QStringList without;
  for (const char* skin : {"MainWindow.xml", "HotkeyDialog.xml", "Seting.xml", "CronJobDialog.xml",
                           "NewCronJobDialog.xml", "Feedback.xml", "MainTaskMenu.xml", "MessageBox.xml"}) {
    auto* window = new SkinWindow(QString::fromLatin1(skin));
    ASSERT_TRUE(window->Create(nullptr, QString::fromLatin1(skin))) << skin;
    window->ShowWindow();
    window->activateWindow();
    QApplication::setActiveWindow(window);
    ASSERT_TRUE(WaitUntil([&] { return window->isActiveWindow(); }, 2000)) << skin;
    without << WithoutRing(window, QString::fromLatin1(skin));
    window->DestroyWindow();
  }
  qApp->setStyleSheet({});
  EXPECT_TRUE(without.isEmpty()) << without.join(QLatin1Char('\n')).toStdString();
}

}  // namespace
}  // namespace zav::test
