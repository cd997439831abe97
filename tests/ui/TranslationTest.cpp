// The texts follow the user's language: English where it is not Chinese, the Chinese source
// texts exactly where it is; the window and its prompts alike.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QCoreApplication>
#include <QFile>
#include <QTranslator>

#include "MainWndHarness.h"
#include "Translation.h"
#include "UiTestSupport.h"

namespace zav::test {
namespace {

TEST(Translation, ChineseOnlyWhenTheUsersFirstLanguageIsChinese) {
  EXPECT_TRUE(PrefersChinese({QStringLiteral("zh-CN"), QStringLiteral("en-US")}));
  EXPECT_TRUE(PrefersChinese({QStringLiteral("zh-Hant-TW")}));
  EXPECT_FALSE(PrefersChinese({QStringLiteral("en-US"), QStringLiteral("zh-CN")}));
  EXPECT_FALSE(PrefersChinese({QStringLiteral("de-DE")}));
  EXPECT_FALSE(PrefersChinese({QStringLiteral("C")}));
  EXPECT_FALSE(PrefersChinese({}));
}

class TranslatedWindow : public MainWndTestBase {
 protected:
  void TearDown() override {
    MainWndTestBase::TearDown();
    for (QTranslator* t : qApp->findChildren<QTranslator*>()) {
      QCoreApplication::removeTranslator(t);
      delete t;
    }
  }
  // Starts a recording into an output folder that is a file: the window says it cannot write.
  QStringList PromptOfAFolderThatIsAFile() {
    const QString file = outputFolder.filePath(QStringLiteral("a-file"));
    QFile(file).open(QIODevice::WriteOnly);
    WriteSetting("output-dir", file.toStdString());
    OpenWindow();
    Click("recorder-start");
    WaitUntil([&] { return boxes.Texts().size() > 0; }, 10000);
    return boxes.Texts();
  }
};

TEST_F(TranslatedWindow, AnEnglishUserGetsEnglishTextsInTheWindowAndItsPrompts) {
  ASSERT_EQ(InstallTranslation(qApp, QStringLiteral(ZAV_TRANSLATIONS_DIR), {QStringLiteral("en-GB")}),
            QStringLiteral("en"));
  EXPECT_TRUE(PromptOfAFolderThatIsAFile().contains(QStringLiteral("This folder cannot be written to.")));
  EXPECT_EQ(window->windowTitle(), QStringLiteral("ZAV Audio Recorder"));
  EXPECT_EQ(Text("recorder-info"), QStringLiteral("Ready to record"));  // from the code
  EXPECT_EQ(Text("origin-label"), QStringLiteral("Record"));            // from the skin
  EXPECT_EQ(Control<QAbstractButton>("recorder-start")->text(), QStringLiteral("Start recording"));
}

TEST_F(TranslatedWindow, AChineseUserGetsTheSourceTextsExactly) {
  ASSERT_EQ(InstallTranslation(qApp, QStringLiteral(ZAV_TRANSLATIONS_DIR), {QStringLiteral("zh-CN")}),
            QStringLiteral("zh"));
  EXPECT_TRUE(PromptOfAFolderThatIsAFile().contains(QStringLiteral("该目录没有写入权限!")));
  EXPECT_EQ(window->windowTitle(), QStringLiteral("ZAV电脑录音软件"));
  EXPECT_EQ(Text("recorder-info"), QStringLiteral("准备录音"));
  EXPECT_EQ(Text("origin-label"), QStringLiteral("录音来源"));
  EXPECT_EQ(Control<QAbstractButton>("recorder-start")->text(), QStringLiteral("开始录音"));
}

}  // namespace
}  // namespace zav::test
