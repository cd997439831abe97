// The message box and the prompt box on the real skin: results, exact size, no title bar,
// the attached shadow, the keys of every dialog.
#include <gtest/gtest.h>

#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "dui/MessageBoxDialog.h"
#include "dui/PromptBoxDialog.h"
#include "UiTestSupport.h"
#include "dui/WndShadow.h"
#include "dui/Skin.h"
#include "dui/WorkQueue.h"
#include "settings/SetingDialog.h"

namespace zav {
namespace {

struct SeenBox {
  QString text;
  QSize size;
  bool frameless = false;
  bool modal = false;
  int shadowSize = -1;
  QPoint shadowOffset;
  QColor shadowColor;
  bool shadowAttached = false;
  QRect shadowGeometry;
  QRect boxGeometry;
};

// Runs action on the modal box that the next modal run shows, after noting what it looks like.
void OnNextBox(SeenBox* seen, const std::function<void(QWidget*)>& action) {
  QTimer::singleShot(0, [seen, action] {
    QWidget* box = QApplication::activeModalWidget();
    ASSERT_NE(box, nullptr);
    if (auto* text = box->findChild<QLabel*>(QStringLiteral("msgText"))) seen->text = text->text();
    seen->size = box->size();
    seen->frameless = box->windowFlags().testFlag(Qt::FramelessWindowHint);
    seen->modal = box->isModal();
    if (auto* skinned = qobject_cast<SkinnedBox*>(box)) {
      seen->shadowSize = skinned->Shadow().ShadowSize();
      seen->shadowOffset = QPoint(skinned->Shadow().OffsetX(), skinned->Shadow().OffsetY());
      seen->shadowColor = skinned->Shadow().ShadowColor();
      seen->shadowAttached = skinned->Shadow().Parent() == box;
      const CWndShadow& shadow = skinned->Shadow();
      if (shadow.ShadowWindow() && test::WaitUntil([&] { return !shadow.UpdatePending(); })) {
        seen->shadowGeometry = shadow.ShadowWindow()->isVisible() ? shadow.ShadowWindow()->geometry() : QRect();
      }
      seen->boxGeometry = box->geometry();
    }
    action(box);
  });
}

void Click(QWidget* box, const char* name) {
  auto* button = box->findChild<QPushButton*>(QLatin1String(name));
  ASSERT_NE(button, nullptr) << name;
  button->click();
}

class DialogBoxesTest : public ::testing::Test {
 protected:
  void SetUp() override { SetSkinFolder(test::SourceSkinFolder()); }
};

TEST_F(DialogBoxesTest, ConfirmingTheMessageBoxGivesOneAndCancellingGivesZero) {
  SeenBox seen;
  OnNextBox(&seen, [](QWidget* box) { Click(box, "msgConfirm"); });
  EXPECT_EQ(MessageBoxDialog::Ask(nullptr, QStringLiteral("确定要删除文件吗?")), 1);
  EXPECT_EQ(seen.text, QStringLiteral("确定要删除文件吗?"));
  EXPECT_TRUE(seen.modal);

  OnNextBox(&seen, [](QWidget* box) { Click(box, "msgCancel"); });
  EXPECT_EQ(MessageBoxDialog::Ask(nullptr, QStringLiteral("确定要删除文件吗?")), 0);

  OnNextBox(&seen, [](QWidget* box) { box->close(); });
  EXPECT_EQ(MessageBoxDialog::Ask(nullptr, QStringLiteral("closed another way")), 0);
}

// Presses key on the control called focusName (or on whatever has the focus) of the dialog that
// the next modal run shows; *closed tells whether that closed it (else it is closed after).
void PressOnNextDialog(const char* focusName, Qt::Key key, bool* closed) {
  *closed = false;
  QTimer::singleShot(0, [=] {
    QWidget* dialog = QApplication::activeModalWidget();
    ASSERT_NE(dialog, nullptr);
    QWidget* target = focusName ? dialog->findChild<QWidget*>(QLatin1String(focusName)) : dialog->focusWidget();
    if (!target) target = dialog;
    target->setFocus();
    const QPointer<QWidget> shown(dialog);
    QTest::keyClick(target, key);
    *closed = !shown || !shown->isVisible();
    if (!*closed) shown->close();
  });
}

TEST_F(DialogBoxesTest, EscapeCancelsEveryDialogWhereverTheFocusIsAndEnterClicksTheFocusedButton) {
  bool closed = false;
  PressOnNextDialog("msgConfirm", Qt::Key_Escape, &closed);
  EXPECT_EQ(MessageBoxDialog::Ask(nullptr, QStringLiteral("确定要删除文件吗?")), 0);
  EXPECT_TRUE(closed);
  PressOnNextDialog("msgConfirm", Qt::Key_Return, &closed);
  EXPECT_EQ(MessageBoxDialog::Ask(nullptr, QStringLiteral("确定要删除文件吗?")), 1);
  EXPECT_TRUE(closed);
  PressOnNextDialog("msgCancel", Qt::Key_Enter, &closed);
  EXPECT_EQ(MessageBoxDialog::Ask(nullptr, QStringLiteral("确定要删除文件吗?")), 0);
  EXPECT_TRUE(closed);

  PressOnNextDialog(nullptr, Qt::Key_Escape, &closed);
  PromptBoxDialog::Show(nullptr, QStringLiteral("文件已不存在!"));
  EXPECT_TRUE(closed) << "the prompt box";

  WorkQueue disk("zav-test-settings");
  PressOnNextDialog("output-dir", Qt::Key_Escape, &closed);
  ShowSetingDialog(nullptr, disk, true);
  EXPECT_TRUE(closed) << "the settings dialog";
}

TEST_F(DialogBoxesTest, PromptBoxClientAreaIsExactlyTheGivenSize) {
  for (const QSize size : {QSize(250, 100), QSize(200, 100), QSize(420, 180)}) {
    SeenBox seen;
    OnNextBox(&seen, [](QWidget* box) { Click(box, "msgConfirm"); });
    PromptBoxDialog::Show(nullptr, QStringLiteral("没有插入麦克风设备,仅录系统声音"), size.width(), size.height());
    EXPECT_EQ(seen.size, size);
    EXPECT_EQ(seen.text, QStringLiteral("没有插入麦克风设备,仅录系统声音"));
  }
}

TEST_F(DialogBoxesTest, BoxesHaveNoTitleBarAndAGreyFourPixelShadow) {
  CWndShadow::InitShadowSupport(true);  // the offscreen platform is not asked
  SeenBox message;
  OnNextBox(&message, [](QWidget* box) { Click(box, "msgConfirm"); });
  MessageBoxDialog::Ask(nullptr, QStringLiteral("?"));
  SeenBox prompt;
  OnNextBox(&prompt, [](QWidget* box) { Click(box, "msgConfirm"); });
  PromptBoxDialog::Show(nullptr, QStringLiteral("!"), 200, 100);

  for (const SeenBox& seen : {message, prompt}) {
    EXPECT_TRUE(seen.frameless);
    EXPECT_TRUE(seen.shadowAttached);
    EXPECT_EQ(seen.shadowSize, 4);
    EXPECT_EQ(seen.shadowOffset, QPoint(0, 0));
    EXPECT_EQ(seen.shadowColor, QColor(0x9E, 0x9D, 0x9D));
    EXPECT_EQ(seen.shadowGeometry, seen.boxGeometry.adjusted(-4, -4, 4, 4));
  }
  EXPECT_EQ(prompt.shadowGeometry.size(), QSize(208, 108));
}

TEST_F(DialogBoxesTest, BoxesOpenedOverAnOwnerAreCentredOnIt) {
  PromptBoxDialog owner(QStringLiteral("owner"), 600, 400);
  ASSERT_TRUE(owner.Create(nullptr, {}, WindowStyle::kMainFrame));
  owner.move(40, 30);
  owner.ShowWindow();
  QPoint boxCenter;
  QTimer::singleShot(0, [&] {
    QWidget* box = QApplication::activeModalWidget();
    boxCenter = box->geometry().center();
    Click(box, "msgConfirm");
  });
  PromptBoxDialog::Show(&owner, QStringLiteral("centred"), 200, 100);
  // QRect::center rounds down, so a centred box of even size may sit one pixel off.
  EXPECT_LE((boxCenter - owner.frameGeometry().center()).manhattanLength(), 2);
  owner.hide();
}

}  // namespace
}  // namespace zav
