// The window layer: skin loading, control lookup, notifications, posted messages, timers,
// modal runs and self-deletion, row templates, window properties.
#include <gtest/gtest.h>

#include <QAccessible>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>
#include <QSlider>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QTest>
#include <QThread>
#include <QTemporaryDir>
#include <QTimer>
#include <QFile>

#include <mutex>
#include <thread>
#include <vector>

#include "UiTestSupport.h"
#include "dui/ControlTag.h"
#include "dui/DialogBuilder.h"
#include "dui/FirstPaintGate.h"
#include "dui/Skin.h"
#include "dui/WindowImplBase.h"

namespace zav {
namespace {

using test::WaitUntil;

struct Message {
  unsigned message;
  uintptr_t wParam;
  intptr_t lParam;
  Qt::HANDLE thread;
};

// Records what the layer hands to a window.
class TestWindow : public WindowImplBase {
 public:
  explicit TestWindow(QString skin = QStringLiteral("TestWindow.xml"), bool* finalFlag = nullptr)
      : skin_(std::move(skin)), finalFlag_(finalFlag) {}

  std::vector<std::pair<QString, QString>> notes;  // (type, sender name)
  std::vector<uintptr_t> noteParams;
  std::vector<Message> messages;
  std::vector<int> timerIds;
  std::vector<QString> createdClasses;
  bool controlsExistedAtInit = false;
  bool refuseClose = false;
  int finalCalls = 0;
  bool deleteOnFinal = false;

 protected:
  QString GetSkinFile() override { return skin_; }
  void InitWindow() override { controlsExistedAtInit = FindControl(QStringLiteral("ok-btn")) != nullptr; }
  void Notify(TNotifyUI& msg) override {
    notes.emplace_back(msg.type, msg.sender ? msg.sender->objectName() : QString());
    noteParams.push_back(msg.wParam);
    WindowImplBase::Notify(msg);
  }
  intptr_t HandleCustomMessage(unsigned message, uintptr_t wParam, intptr_t lParam, bool& handled) override {
    messages.push_back({message, wParam, lParam, QThread::currentThreadId()});
    handled = true;
    return 0;
  }
  QWidget* CreateControl(const QString& className, QWidget* parent) override {
    createdClasses.push_back(className);
    if (className == QLatin1String("TestCustom")) {
      auto* label = new QLabel(parent);
      label->setText(QStringLiteral("made by the window"));
      return label;
    }
    return nullptr;
  }
  void OnClose(uintptr_t, bool& handled) override { handled = refuseClose; }
  void OnTimer(int id) override { timerIds.push_back(id); }
  void OnFinalMessage() override {
    ++finalCalls;
    if (finalFlag_) *finalFlag_ = true;
    if (deleteOnFinal) delete this;
  }

 private:
  QString skin_;
  bool* finalFlag_;
};

class WindowLayerTest : public ::testing::Test {
 protected:
  void SetUp() override { SetSkinFolder(test::TestSkinFolder()); }
};

TEST_F(WindowLayerTest, BuildsTheSkinAndFindsControlsByName) {
  TestWindow window;
  ASSERT_TRUE(window.Create(nullptr, QStringLiteral("测试")));
  EXPECT_TRUE(window.controlsExistedAtInit);
  EXPECT_EQ(window.windowTitle(), QStringLiteral("测试"));
  EXPECT_EQ(window.size(), QSize(320, 240));  // the skin's own size

  auto* label = window.FindControl<QLabel>(QStringLiteral("label"));
  ASSERT_NE(label, nullptr);
  EXPECT_EQ(label->text(), QStringLiteral("标签"));
  EXPECT_NE(window.FindControl<QComboBox>(QStringLiteral("combo")), nullptr);
  EXPECT_EQ(window.FindControl<QComboBox>(QStringLiteral("label")), nullptr);  // wrong kind
  EXPECT_EQ(window.FindControl(QStringLiteral("no-such-control")), nullptr);
}

TEST_F(WindowLayerTest, UnknownSkinClassesGoToTheBuilderCallback) {
  TestWindow window;
  ASSERT_TRUE(window.Create(nullptr, {}));
  auto* custom = window.FindControl<QLabel>(QStringLiteral("custom"));
  ASSERT_NE(custom, nullptr);
  EXPECT_EQ(custom->text(), QStringLiteral("made by the window"));
  EXPECT_NE(std::find(window.createdClasses.begin(), window.createdClasses.end(), QStringLiteral("NobodyKnowsThis")),
            window.createdClasses.end());
  // Nobody made it: Qt keeps the layout with a plain widget of the declared base class.
  auto* unknown = window.FindControl(QStringLiteral("unknown"));
  ASSERT_NE(unknown, nullptr);
  EXPECT_STREQ(unknown->metaObject()->className(), "QWidget");
  // Classes Qt knows never reach the callback.
  EXPECT_EQ(std::find(window.createdClasses.begin(), window.createdClasses.end(), QStringLiteral("QPushButton")),
            window.createdClasses.end());
}

TEST_F(WindowLayerTest, MissingSkinFailsCreateAndDestroyRunsTheFinalMessageOnce) {
  bool finalRan = false;
  TestWindow window(QStringLiteral("NoSuchSkin.xml"), &finalRan);
  EXPECT_FALSE(window.Create(nullptr, {}));
  EXPECT_EQ(window.Root(), nullptr);
  window.DestroyWindow();
  window.DestroyWindow();
  EXPECT_TRUE(finalRan);
  EXPECT_EQ(window.finalCalls, 1);
}

TEST_F(WindowLayerTest, UserActionsBecomeNotifications) {
  TestWindow window;
  ASSERT_TRUE(window.Create(nullptr, {}));
  window.ShowWindow();
  auto* list = window.FindControl<QListWidget>(QStringLiteral("list"));
  list->addItems({QStringLiteral("x"), QStringLiteral("y")});
  window.notes.clear();
  window.noteParams.clear();

  QTest::mouseClick(window.FindControl<QPushButton>(QStringLiteral("ok-btn")), Qt::LeftButton);
  auto* check = window.FindControl<QCheckBox>(QStringLiteral("check"));
  QTest::mouseClick(check, Qt::LeftButton, {}, QPoint(6, check->height() / 2));  // on the box: -> checked
  window.FindControl<QComboBox>(QStringLiteral("combo"))->setCurrentIndex(1);
  list->setCurrentRow(1);
  auto* slider = window.FindControl<QSlider>(QStringLiteral("slider"));
  slider->setFocus();
  QTest::keyClick(slider, Qt::Key_Right);
  // A check state changed without the mouse: the keyboard, and a screen reader's toggle action
  // (which is no click).
  check->setFocus();
  QTest::keyClick(check, Qt::Key_Space);
  QAccessible::queryAccessibleInterface(check)->actionInterface()->doAction(QAccessibleActionInterface::toggleAction());
  const std::vector<std::pair<QString, QString>> expected = {
      {kNotifyClick, QStringLiteral("ok-btn")},       {kNotifySelectChanged, QStringLiteral("check")},
      {kNotifyClick, QStringLiteral("check")},        {kNotifyItemSelect, QStringLiteral("combo")},
      {kNotifyItemSelect, QStringLiteral("list")},    {kNotifyValueChanged, QStringLiteral("slider")},
      {kNotifySelectChanged, QStringLiteral("check")}, {kNotifyClick, QStringLiteral("check")},
      {kNotifySelectChanged, QStringLiteral("check")}};
  EXPECT_EQ(window.notes, expected);
  EXPECT_EQ(window.noteParams, (std::vector<uintptr_t>{0, 1, 0, 1, 1, 1, 0, 0, 1}));
}

// Showing a value must not look like the user changing it: a window that fills its controls
// at start-up would otherwise write every value straight back. (A check state cannot tell code
// from an assistive technology's toggle, so a window shows one with the button's signals
// blocked.)
TEST_F(WindowLayerTest, ValuesSetFromCodeStaySilent) {
  TestWindow window;
  ASSERT_TRUE(window.Create(nullptr, {}));
  window.ShowWindow();
  auto* slider = window.FindControl<QSlider>(QStringLiteral("slider"));
  window.notes.clear();
  slider->setValue(40);
  slider->setRange(0, 30);  // clamps the value to 30
  slider->setRange(0, 100);
  EXPECT_TRUE(window.notes.empty());

  // A step at the end changes nothing and leaves no user change pending for the next value
  // set from code.
  slider->setValue(100);
  slider->setFocus();
  QTest::keyClick(slider, Qt::Key_Right);
  slider->setValue(10);
  EXPECT_TRUE(window.notes.empty());
}

TEST_F(WindowLayerTest, ASliderNotifiesOncePerUserChange) {
  TestWindow window;
  ASSERT_TRUE(window.Create(nullptr, {}));
  window.ShowWindow();
  auto* slider = window.FindControl<QSlider>(QStringLiteral("slider"));
  slider->setValue(0);
  auto values = [&] {
    std::vector<uintptr_t> seen;
    for (size_t i = 0; i < window.notes.size(); ++i) {
      if (window.notes[i].first == kNotifyValueChanged) seen.push_back(window.noteParams[i]);
    }
    return seen;
  };
  auto handleCentre = [slider] {
    QStyleOptionSlider option;
    option.initFrom(slider);
    option.minimum = slider->minimum();
    option.maximum = slider->maximum();
    option.sliderPosition = slider->sliderPosition();
    option.sliderValue = slider->value();
    option.orientation = slider->orientation();
    return slider->style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, slider).center();
  };

  // A drag across the groove: one notification, on release, with where it ended.
  window.notes.clear();
  window.noteParams.clear();
  const QPoint from = handleCentre();
  QTest::mousePress(slider, Qt::LeftButton, {}, from);
  for (int x = from.x(); x <= from.x() + slider->width() / 2; x += 8) {
    QMouseEvent move(QEvent::MouseMove, QPointF(x, from.y()), slider->mapToGlobal(QPointF(x, from.y())), Qt::NoButton,
                     Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(slider, &move);
  }
  EXPECT_TRUE(values().empty());
  EXPECT_GT(slider->value(), 10);
  QTest::mouseRelease(slider, Qt::LeftButton, {}, QPoint(from.x() + slider->width() / 2, from.y()));
  EXPECT_EQ(values(), std::vector<uintptr_t>{static_cast<uintptr_t>(slider->value())});

  // Each key step notifies once.
  window.notes.clear();
  window.noteParams.clear();
  slider->setValue(50);
  slider->setFocus();
  QTest::keyClick(slider, Qt::Key_Left);
  QTest::keyClick(slider, Qt::Key_Left);
  EXPECT_EQ(values(), (std::vector<uintptr_t>{49, 48}));

  // A click on the groove, away from the handle, steps by a page and notifies once.
  window.notes.clear();
  window.noteParams.clear();
  slider->setValue(0);
  const int before = slider->value();
  QTest::mouseClick(slider, Qt::LeftButton, {}, QPoint(slider->width() - 3, slider->height() / 2));
  ASSERT_EQ(values().size(), 1u);
  EXPECT_GT(slider->value(), before);
  EXPECT_EQ(values()[0], static_cast<uintptr_t>(slider->value()));
}

TEST_F(WindowLayerTest, CloseButtonOfTheSkinClosesTheWindow) {
  bool finalRan = false;
  auto* window = new TestWindow(QStringLiteral("TestWindow.xml"), &finalRan);
  window->deleteOnFinal = true;
  ASSERT_TRUE(window->Create(nullptr, {}));
  QTimer::singleShot(0, window, [window] { window->FindControl<QPushButton>(QStringLiteral("closebtn"))->click(); });
  EXPECT_EQ(window->ShowModal(), 0);
  EXPECT_TRUE(finalRan);
}

TEST_F(WindowLayerTest, TagsRoundTrip) {
  QLabel label;
  EXPECT_EQ(GetTag(&label), 0);
  SetTag(&label, 42);
  EXPECT_EQ(GetTag(&label), 42);
  SetTag(&label, -7);
  EXPECT_EQ(GetTag(&label), -7);
  EXPECT_EQ(GetTag(nullptr), 0);
}

TEST_F(WindowLayerTest, MessagesPostedFromManyThreadsArriveOnTheWindowThreadInOrder) {
  TestWindow window;
  ASSERT_TRUE(window.Create(nullptr, {}));
  constexpr int kThreads = 4;
  constexpr int kPerThread = 250;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&window, t] {
      for (int i = 0; i < kPerThread; ++i) window.PostMessage(1724, static_cast<uintptr_t>(t), i);
    });
  }
  for (auto& thread : threads) thread.join();
  ASSERT_TRUE(WaitUntil([&] { return window.messages.size() == kThreads * kPerThread; }));

  std::vector<intptr_t> next(kThreads, 0);
  for (const Message& m : window.messages) {
    EXPECT_EQ(m.message, 1724u);
    EXPECT_EQ(m.thread, QThread::currentThreadId());
    ASSERT_LT(m.wParam, static_cast<uintptr_t>(kThreads));
    EXPECT_EQ(m.lParam, next[m.wParam]++);  // each thread's messages keep their order
  }
}

// Work for a widget on screen waits for its first paint and then runs in order, a few pieces
// per turn of the event loop; for a widget not on screen nothing waits.
TEST_F(WindowLayerTest, AFirstPaintGateHoldsWorkUntilTheWidgetIsDrawnAndKeepsItsOrder) {
  QWidget hidden;
  FirstPaintGate idle(&hidden);
  bool ran = false;
  idle.Run([&] { ran = true; });
  EXPECT_TRUE(ran);

  QWidget shown;
  shown.resize(100, 50);
  FirstPaintGate gate(&shown);
  std::vector<int> order;
  shown.show();
  for (int i = 0; i < 3; ++i) gate.Run([&order, i] { order.push_back(i); });
  EXPECT_TRUE(order.empty());
  ASSERT_TRUE(WaitUntil([&] { return order.size() == 3; }, FirstPaintGate::kLongestHoldMs * 4));
  gate.Run([&] { order.push_back(3); });
  EXPECT_EQ(order, (std::vector<int>{0, 1, 2, 3}));
  EXPECT_TRUE(gate.open());
}

TEST_F(WindowLayerTest, TimersFireUntilKilled) {
  TestWindow window;
  ASSERT_TRUE(window.Create(nullptr, {}));
  window.SetTimer(1001, 5);
  ASSERT_TRUE(WaitUntil([&] { return window.timerIds.size() >= 2; }));
  window.KillTimer(1001);
  const size_t fired = window.timerIds.size();
  WaitUntil([] { return false; }, 60);
  EXPECT_EQ(window.timerIds.size(), fired);
  for (int id : window.timerIds) EXPECT_EQ(id, 1001);
}

TEST_F(WindowLayerTest, ShowModalReturnsTheValueGivenToCloseAndTheWindowDeletesItself) {
  bool finalRan = false;
  auto* window = new TestWindow(QStringLiteral("TestWindow.xml"), &finalRan);
  window->deleteOnFinal = true;
  ASSERT_TRUE(window->Create(nullptr, {}));
  QPointer<TestWindow> guard(window);
  bool wasModal = false;
  QTimer::singleShot(0, window, [window, &wasModal] {
    wasModal = QApplication::activeModalWidget() == window && window->isVisible();
    window->Close(42);
  });
  EXPECT_EQ(window->ShowModal(), 42);
  EXPECT_TRUE(wasModal);
  EXPECT_TRUE(finalRan);
  EXPECT_TRUE(guard.isNull());
}

TEST_F(WindowLayerTest, ClosingAModalWindowAnotherWayGivesZero) {
  auto* window = new TestWindow();
  window->deleteOnFinal = true;
  ASSERT_TRUE(window->Create(nullptr, {}));
  QTimer::singleShot(0, window, [window] { window->close(); });
  EXPECT_EQ(window->ShowModal(), 0);
}

TEST_F(WindowLayerTest, OnCloseCanKeepTheWindowOpen) {
  TestWindow window;
  ASSERT_TRUE(window.Create(nullptr, {}));
  window.ShowWindow();
  window.refuseClose = true;
  window.Close(5);
  WaitUntil([] { return false; }, 30);
  EXPECT_TRUE(window.isVisible());
  EXPECT_EQ(window.finalCalls, 0);

  window.refuseClose = false;
  window.Close(5);
  EXPECT_FALSE(window.isVisible());
  EXPECT_EQ(window.finalCalls, 0);  // a window that is not modal is destroyed from the loop
  ASSERT_TRUE(WaitUntil([&] { return window.finalCalls == 1; }));
}

TEST_F(WindowLayerTest, ResizeClientIsExactEvenBelowTheSkinMinimum) {
  TestWindow window;
  ASSERT_TRUE(window.Create(nullptr, {}));
  window.ResizeClient(120, 80);
  window.ShowWindow();
  EXPECT_EQ(window.size(), QSize(120, 80));
  window.ResizeClient(640, 480);
  EXPECT_EQ(window.size(), QSize(640, 480));
}

TEST_F(WindowLayerTest, CentersOnItsOwner) {
  TestWindow owner;
  ASSERT_TRUE(owner.Create(nullptr, {}, WindowStyle::kMainFrame));
  owner.ResizeClient(600, 400);
  owner.move(100, 50);
  owner.ShowWindow();
  TestWindow dialog;
  ASSERT_TRUE(dialog.Create(&owner, {}, WindowStyle::kDialog));
  dialog.ResizeClient(200, 100);
  dialog.CenterWindow();
  // QRect::center rounds down, so a centred window of even size may sit one pixel off.
  EXPECT_LE((dialog.geometry().center() - owner.frameGeometry().center()).manhattanLength(), 2);
}

TEST_F(WindowLayerTest, RowTemplatesReportToTheirManager) {
  TestWindow window;
  ASSERT_TRUE(window.Create(nullptr, {}));
  CDialogBuilder builder;
  QWidget* row = builder.Create(QStringLiteral("TestRow.xml"), &window, &window);
  ASSERT_NE(row, nullptr);
  auto* list = window.FindControl<QListWidget>(QStringLiteral("list"));
  auto* item = new QListWidgetItem(list);
  list->setItemWidget(item, row);
  SetTag(FindSubControl(row, QStringLiteral("row-btn")), 3);

  // Once in the list, the row's controls are controls of the window.
  auto* button = window.FindControl<QPushButton>(QStringLiteral("row-btn"));
  ASSERT_NE(button, nullptr);
  EXPECT_EQ(FindSubControl(row, QStringLiteral("row")), row);
  window.notes.clear();
  button->click();
  ASSERT_EQ(window.notes.size(), 1u);
  EXPECT_EQ(window.notes[0], std::make_pair(kNotifyClick, QStringLiteral("row-btn")));
  EXPECT_EQ(GetTag(button), 3);

  EXPECT_EQ(builder.Create(QStringLiteral("Missing.xml"), &window, &window), nullptr);
  EXPECT_FALSE(builder.LastError().isEmpty());
}

TEST_F(WindowLayerTest, WindowsAreFoundByTheirProperty) {
  auto* window = new TestWindow();
  window->deleteOnFinal = true;
  ASSERT_TRUE(window->Create(nullptr, {}));
  EXPECT_EQ(WindowImplBase::FindWindowWithProp("ZavLayerTestProp"), nullptr);
  window->SetWindowProp("ZavLayerTestProp");
  EXPECT_EQ(WindowImplBase::FindWindowWithProp("ZavLayerTestProp"), window);
  window->DestroyWindow();
  EXPECT_EQ(WindowImplBase::FindWindowWithProp("ZavLayerTestProp"), nullptr);
}

TEST_F(WindowLayerTest, BringToFrontRestoresAMinimisedWindowAndKeepsItsModalDialogOnTop) {
  TestWindow window;
  ASSERT_TRUE(window.Create(nullptr, {}, WindowStyle::kMainFrame));
  window.ShowWindow();
  window.showMinimized();
  ASSERT_TRUE(window.isMinimized());

  auto* dialog = new TestWindow();
  dialog->deleteOnFinal = true;
  ASSERT_TRUE(dialog->Create(&window, {}, WindowStyle::kDialog));
  bool restored = false;
  bool dialogOnTop = false;
  QTimer::singleShot(0, dialog, [&, dialog] {
    window.BringToFront();
    restored = !window.isMinimized() && window.isVisible();
    dialogOnTop = QApplication::activeModalWidget() == dialog && dialog->isVisible();
    dialog->Close(1);
  });
  EXPECT_EQ(dialog->ShowModal(), 1);
  EXPECT_TRUE(restored);
  EXPECT_TRUE(dialogOnTop);
}

TEST(SkinIndexTest, ParsesSkinsPicturesAndStyle) {
  const auto index = ParseSkinIndex(R"(<?xml version="1.0"?>
    <resources><skin file="A.xml"/><picture file="p.png"/><style file="s.qss"/><skin file="B.xml"/></resources>)");
  ASSERT_TRUE(index.has_value());
  EXPECT_EQ(index->skins, (QStringList{"A.xml", "B.xml"}));
  EXPECT_EQ(index->pictures, QStringList{"p.png"});
  EXPECT_EQ(index->styleSheetFile, QStringLiteral("s.qss"));
}

TEST(SkinIndexTest, RejectsBrokenIndexes) {
  QString error;
  EXPECT_FALSE(ParseSkinIndex("<window/>", &error).has_value());
  EXPECT_FALSE(error.isEmpty());
  EXPECT_FALSE(ParseSkinIndex("<resources><skin/></resources>").has_value());
  EXPECT_FALSE(ParseSkinIndex("<resources><skin file=\"../../etc/passwd\"/></resources>").has_value());
  EXPECT_FALSE(ParseSkinIndex("<resources><skin file=\"/abs.xml\"/></resources>").has_value());
  EXPECT_FALSE(ParseSkinIndex("<resources><skin file=\"A.xml\">").has_value());
  EXPECT_FALSE(ParseSkinIndex("").has_value());
}

TEST(SkinIndexTest, LoadingFailsWhenAListedFileIsMissing) {
  QTemporaryDir dir;
  QFile index(dir.filePath("res.xml"));
  ASSERT_TRUE(index.open(QIODevice::WriteOnly));
  index.write("<resources><skin file=\"Gone.xml\"/></resources>");
  index.close();
  QString error;
  EXPECT_FALSE(LoadSkinResources(dir.path(), &error));
  EXPECT_TRUE(error.contains(QStringLiteral("Gone.xml")));
  EXPECT_FALSE(LoadSkinResources(dir.filePath("nowhere"), &error));
}

TEST(SkinIndexTest, StyleSheetUrlsPointIntoTheSkinFolder) {
  EXPECT_EQ(ResolveStyleSheetUrls(QStringLiteral("a { image: url(arrow.png); } b { image: url(\"/abs/x.png\"); }"),
                                  QStringLiteral("/skin")),
            QStringLiteral("a { image: url(\"/skin/arrow.png\"); } b { image: url(\"/abs/x.png\"); }"));
}

}  // namespace
}  // namespace zav
