// Every skin file of the program loads and holds every named control its window needs, of a
// kind that can play the control's part; the index lists them all.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QRadioButton>
#include <QSlider>

#include <memory>

#include "UiTestSupport.h"
#include "dui/DialogBuilderCallback.h"
#include "dui/GifAnim.h"
#include "dui/Skin.h"
#include "dui/SkinLoader.h"
#include "levels/LevelMeterUI.h"

namespace zav {
namespace {

enum class Kind { kButton, kCheck, kOption, kCombo, kSlider, kLabel, kEdit, kTextArea, kList, kProgress, kAnimation, kMeter, kAny };

struct Control {
  const char* name;
  Kind kind;
};

struct SkinSpec {
  const char* file;
  std::vector<Control> controls;
};

bool IsKind(QWidget* w, Kind kind) {
  switch (kind) {
    case Kind::kButton: return qobject_cast<QAbstractButton*>(w) && !qobject_cast<QAbstractButton*>(w)->isCheckable();
    case Kind::kCheck: return qobject_cast<QCheckBox*>(w) != nullptr;
    case Kind::kOption: return qobject_cast<QRadioButton*>(w) != nullptr;
    case Kind::kCombo: return qobject_cast<QComboBox*>(w) != nullptr;
    case Kind::kSlider: return qobject_cast<QSlider*>(w) != nullptr;
    case Kind::kLabel: return qobject_cast<QLabel*>(w) != nullptr;
    case Kind::kEdit: return qobject_cast<QLineEdit*>(w) != nullptr;
    case Kind::kTextArea: return qobject_cast<QPlainTextEdit*>(w) != nullptr;
    case Kind::kList: return qobject_cast<QListWidget*>(w) != nullptr;
    case Kind::kProgress: return qobject_cast<QProgressBar*>(w) != nullptr;
    case Kind::kAnimation: return qobject_cast<CGifAnimUI*>(w) != nullptr;
    case Kind::kMeter: return qobject_cast<CLevelMeterUI*>(w) != nullptr;
    case Kind::kAny: return true;
  }
  return false;
}

const std::vector<SkinSpec>& ProgramSkins() {
  static const std::vector<SkinSpec> skins = {
      {"MainWindow.xml",
       {{"recorder-start", Kind::kButton}, {"recorder-pause", Kind::kButton}, {"recorder-stop", Kind::kButton},
        {"recorder-disabled", Kind::kAny}, {"recorder-progress", Kind::kLabel}, {"recorder-info", Kind::kLabel},
        {"recorder-ready", Kind::kAny}, {"recorder-status-init", Kind::kAny},
        {"recorder-working", Kind::kAnimation}, {"recorder-status-working", Kind::kAnimation},
        {"record-audio-origin", Kind::kCombo}, {"record-audio-format", Kind::kCombo},
        {"record-audio-quality", Kind::kCombo}, {"mic-volume-slider", Kind::kSlider},
        {"mic-volume-label", Kind::kLabel}, {"sys-volume-slider", Kind::kSlider}, {"sys-volume-label", Kind::kLabel},
        {"mic-strengthen-slider", Kind::kSlider}, {"mic-strengthen-label", Kind::kLabel},
        {"agc-check", Kind::kCheck}, {"noise-check", Kind::kCheck}, {"aec-check", Kind::kCheck}, {"save-path-eidt", Kind::kEdit},
        {"change-dir-btn", Kind::kButton}, {"open-dir-btn", Kind::kButton}, {"audio-record-list", Kind::kList},
        {"feedback", Kind::kButton}, {"help", Kind::kButton}, {"hotkey-btn", Kind::kButton},
        {"cron-job-btn", Kind::kButton}, {"mic-level-meter", Kind::kMeter}, {"sys-level-meter", Kind::kMeter}}},
      {"RecorderListContainerElement.xml",
       {{"fileNameLabel", Kind::kLabel}, {"fileSizeLabel", Kind::kLabel}, {"durationLabel", Kind::kLabel},
        {"item-play", Kind::kButton}, {"item-open-dir", Kind::kButton}, {"item-delete", Kind::kButton}}},
      {"MainTaskMenu.xml",
       {{"main_menu_item_quit", Kind::kButton}, {"main_menu_item_home", Kind::kButton},
        {"main_menu_item_help", Kind::kButton}, {"main_menu_item_seting", Kind::kButton},
        {"main_menu_item_feedback", Kind::kButton}, {"main_menu_item_upgrade", Kind::kButton}}},
      {"HotkeyDialog.xml",
       {{"start-pause-key1", Kind::kCombo}, {"start-pause-key2", Kind::kCombo}, {"stop-key1", Kind::kCombo},
        {"stop-key2", Kind::kCombo}, {"hotkey-save-btn", Kind::kButton}}},
      {"Seting.xml",
       {{"output-dir", Kind::kEdit}, {"choose-dir", Kind::kButton}, {"open-dir", Kind::kButton},
        {"window-close-exit", Kind::kOption}, {"window-close-tray", Kind::kOption}}},
      {"MessageBox.xml", {{"msgText", Kind::kLabel}, {"msgConfirm", Kind::kButton}, {"msgCancel", Kind::kButton}}},
      {"PromptBox.xml", {{"msgText", Kind::kLabel}, {"msgConfirm", Kind::kButton}}},
      {"CronJobDialog.xml",
       {{"cron-job-list", Kind::kList}, {"new-cron-job-btn", Kind::kButton}, {"clear-cron-job-btn", Kind::kButton}}},
      {"CronJobListContainerElement.xml",
       {{"cron-job-name", Kind::kLabel}, {"starttime", Kind::kLabel}, {"endtime", Kind::kLabel},
        {"status", Kind::kLabel}, {"cron-job-remove", Kind::kButton}}},
      {"NewCronJobDialog.xml",
       {{"cron-job-name", Kind::kEdit}, {"start-time", Kind::kEdit}, {"end-time", Kind::kEdit},
        {"error-tips", Kind::kLabel}, {"cron-job-save-btn", Kind::kButton}}},
      {"Feedback.xml",
       {{"feedbackContent", Kind::kTextArea}, {"feedbackContact", Kind::kEdit}, {"feedbackErrorTips", Kind::kLabel},
        {"feedbackBtn", Kind::kButton}, {"contact-us", Kind::kButton}}},
      {"download.xml", {{"cancel", Kind::kButton}, {"download-text", Kind::kLabel}, {"download-slider", Kind::kProgress}}},
  };
  return skins;
}

QStringList ItemTexts(QComboBox* combo) {
  QStringList texts;
  for (int i = 0; i < combo->count(); ++i) texts << combo->itemText(i);
  return texts;
}

// The main window's own controls, as the window creates them.
class MainWindowControls final : public IDialogBuilderCallback {
 public:
  QWidget* CreateControl(const QString& className, QWidget* parent) override {
    return CLevelMeterUI::CreateForSkin(className, parent);
  }
};

class SkinFilesTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(LoadSkinResources(test::SourceSkinFolder())); }
  void TearDown() override { qApp->setStyleSheet({}); }

  std::unique_ptr<QWidget> Load(const char* file) {
    QString error;
    MainWindowControls controls;
    std::unique_ptr<QWidget> root(LoadSkinFile(QLatin1String(file), &controls, nullptr, &error));
    EXPECT_NE(root, nullptr) << file << ": " << error.toStdString();
    return root;
  }
};

TEST_F(SkinFilesTest, EverySkinLoadsWithEveryNamedControlOfItsWindow) {
  for (const SkinSpec& skin : ProgramSkins()) {
    auto root = Load(skin.file);
    if (!root) continue;
    for (const Control& control : skin.controls) {
      auto* widget = root->findChild<QWidget*>(QLatin1String(control.name));
      ASSERT_NE(widget, nullptr) << skin.file << " lacks " << control.name;
      EXPECT_TRUE(IsKind(widget, control.kind)) << skin.file << ": " << control.name << " is a "
                                                << widget->metaObject()->className();
      EXPECT_EQ(root->findChildren<QWidget*>(QLatin1String(control.name)).size(), 1)
          << skin.file << " has more than one " << control.name;
    }
  }
}

TEST_F(SkinFilesTest, TheIndexListsEverySkinAndEveryFileItNamesExists) {
  QFile file(QDir(test::SourceSkinFolder()).filePath(kSkinIndexFile));
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  const auto index = ParseSkinIndex(file.readAll());
  ASSERT_TRUE(index.has_value());
  QStringList expected;
  for (const SkinSpec& skin : ProgramSkins()) expected << QLatin1String(skin.file);
  QStringList listed = index->skins;
  listed.sort();
  expected.sort();
  EXPECT_EQ(listed, expected);
  EXPECT_TRUE(index->pictures.contains(QStringLiteral("app-icon.png")));
  EXPECT_TRUE(index->pictures.contains(QStringLiteral("recording.png")));
  EXPECT_FALSE(index->styleSheetFile.isEmpty());
}

TEST_F(SkinFilesTest, RecordingChoicesListTheirItemsInOrder) {
  auto root = Load("MainWindow.xml");
  ASSERT_NE(root, nullptr);
  EXPECT_EQ(ItemTexts(root->findChild<QComboBox*>(QStringLiteral("record-audio-format"))),
            (QStringList{"mp3", "m4a", "wav"}));
  EXPECT_EQ(ItemTexts(root->findChild<QComboBox*>(QStringLiteral("record-audio-quality"))),
            (QStringList{"64kbps", "96kbps", "128kbps", "192kbps", "256kbps", "320kbps"}));
  // Both, microphone, speaker: the order of the sources.
  EXPECT_EQ(ItemTexts(root->findChild<QComboBox*>(QStringLiteral("record-audio-origin"))),
            (QStringList{"麦克风和系统声音", "仅麦克风", "仅系统声音"}));
  for (const char* slider : {"mic-volume-slider", "sys-volume-slider", "mic-strengthen-slider"}) {
    auto* s = root->findChild<QSlider*>(QLatin1String(slider));
    EXPECT_EQ(s->minimum(), 0) << slider;
    EXPECT_EQ(s->maximum(), 100) << slider;
  }
}

TEST_F(SkinFilesTest, HotkeyListsOfferTwoModifiersAndTwelveFunctionKeys) {
  auto root = Load("HotkeyDialog.xml");
  ASSERT_NE(root, nullptr);
  QStringList keys;
  for (int i = 1; i <= 12; ++i) keys << QStringLiteral("F%1").arg(i);
  for (const char* name : {"start-pause-key1", "stop-key1"}) {
    EXPECT_EQ(ItemTexts(root->findChild<QComboBox*>(QLatin1String(name))), (QStringList{"Alt", "Ctrl"}));
  }
  for (const char* name : {"start-pause-key2", "stop-key2"}) {
    EXPECT_EQ(ItemTexts(root->findChild<QComboBox*>(QLatin1String(name))), keys);
  }
}

TEST_F(SkinFilesTest, RecordingAnimationsHaveFramesAndPlay) {
  auto root = Load("MainWindow.xml");
  ASSERT_NE(root, nullptr);
  for (const char* name : {"recorder-working", "recorder-status-working"}) {
    auto* animation = root->findChild<CGifAnimUI*>(QLatin1String(name));
    ASSERT_NE(animation, nullptr);
    EXPECT_EQ(animation->LoadedFrameCount(), 8) << name;
    EXPECT_FALSE(animation->IsPlaying());
    animation->PlayGif();
    const int first = animation->CurrentFrame();
    EXPECT_TRUE(test::WaitUntil([&] { return animation->CurrentFrame() != first; })) << name;
    animation->PauseGif();
    EXPECT_FALSE(animation->IsPlaying());
  }
}

TEST_F(SkinFilesTest, IdleLookComesFromTheSkin) {
  auto root = Load("MainWindow.xml");
  ASSERT_NE(root, nullptr);
  for (const char* hidden : {"recorder-pause", "recorder-stop", "recorder-working", "recorder-status-working"}) {
    EXPECT_TRUE(root->findChild<QWidget*>(QLatin1String(hidden))->isHidden()) << hidden;
  }
  for (const char* shown : {"recorder-start", "recorder-disabled", "recorder-ready", "recorder-status-init"}) {
    EXPECT_FALSE(root->findChild<QWidget*>(QLatin1String(shown))->isHidden()) << shown;
  }
  EXPECT_EQ(root->findChild<QLabel*>(QStringLiteral("recorder-info"))->text(), QStringLiteral("准备录音"));
  EXPECT_EQ(root->findChild<QLabel*>(QStringLiteral("recorder-progress"))->text(), QStringLiteral("00:00:00"));
}

}  // namespace
}  // namespace zav
