// The upgrade check from the main window's side, against the stand-in service: which box an
// answer leads to, the download dialog's progress, launch, cancel and close, and a quit that
// does not wait for the network.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QProgressBar>

#include <memory>

#include "DownloadDialog.h"
#include "LogCapture.h"
#include "ModalWatcher.h"
#include "NetTestData.h"
#include "OnlineServices.h"
#include "RawHttpServer.h"
#include "UiTestSupport.h"
#include "UserFolders.h"
#include "VendorService.h"
#include "dui/DialogPattern.h"
#include "dui/Skin.h"

namespace zav {
namespace {

using test::ClickButton;
using test::ModalWatcher;
using test::WaitUntil;

const QString kPromptBox = QStringLiteral("PromptBoxDialog");
const QString kMessageBox = QStringLiteral("MessageBoxDialog");

// Confirms every prompt box, keeping its text.
void ConfirmPrompts(ModalWatcher& watcher, QString* text) {
  watcher.On(kPromptBox, [text](QWidget* box) {
    *text = box->findChild<QLabel*>(QStringLiteral("msgText"))->text();
    return ClickButton(box, "msgConfirm");
  });
}

class UpgradeFlowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetSkinFolder(test::SourceSkinFolder());
    ASSERT_TRUE(service_.Start());
    hooks_.openUrl = [this](const QUrl& url) {
      opened_.push_back(url);
      if (QWidget* dialog = QApplication::activeModalWidget()) {
        launchedFrom_ = dialog->objectName();
        labelAtLaunch_ = dialog->findChild<QLabel*>(QStringLiteral("download-text"))->text();
        sliderAtLaunch_ = dialog->findChild<QProgressBar*>(QStringLiteral("download-slider"))->value();
      }
      return launchSucceeds_;
    };
    hooks_.endProgram = [this] { ++endRequests_; };
  }

  void Answer(const std::function<void(tools::VendorAnswers&)>& change) {
    tools::VendorAnswers answers;
    answers.installerBytes = test::PatternBytes(1000);
    change(answers);
    service_.SetAnswers(answers);
  }

  size_t Checks() const { return service_.CountRequests("POST", "/v2/upgrade_check"); }
  size_t InstallerRequests() const { return service_.CountRequests("GET", "/files/ZavAudioRecorderSetup.bin"); }

  // Lets posted answers arrive and be handled.
  static void Settle() { WaitUntil([] { return false; }, 300); }

  tools::VendorService service_;
  OnlineServices::Hooks hooks_;
  std::vector<QUrl> opened_;
  QString launchedFrom_;  // the modal window that asked for the launch
  QString labelAtLaunch_;
  int sliderAtLaunch_ = -1;
  bool launchSucceeds_ = true;
  int endRequests_ = 0;
};

TEST_F(UpgradeFlowTest, MandatoryUpgradeDownloadsStartsTheInstallerAndEndsTheProgram) {
  Answer([](tools::VendorAnswers& a) {
    a.appVersion = "1.7.0";
    a.forceUpgrade = "1";
    a.sha256 = test::kPattern1000Sha256;
  });
  ModalWatcher watcher;
  QString offerText;
  ConfirmPrompts(watcher, &offerText);
  OnlineServices services(nullptr, service_.BaseUrl(), hooks_);

  QElapsedTimer call;
  call.start();
  services.CheckForUpgrade(UpgradeCheckMode::kInteractive);
  EXPECT_LT(call.elapsed(), 1000);  // the request runs on a worker
  ASSERT_TRUE(WaitUntil([&] { return endRequests_ == 1; }, 15000));

  EXPECT_EQ(watcher.Seen().front(), kPromptBox);
  EXPECT_EQ(launchedFrom_, DownloadDialog::kCaption);
  EXPECT_EQ(offerText, QStringLiteral("发现新版本啦!"));
  EXPECT_EQ(labelAtLaunch_, QStringLiteral("100%"));
  EXPECT_EQ(sliderAtLaunch_, 100);
  ASSERT_EQ(opened_.size(), 1u);
  const QString installer =
      QString::fromStdString(GetUserFolder(kTempSubFolder)) + QStringLiteral("/ZavAudioRecorderSetup.bin");
  EXPECT_EQ(opened_[0], QUrl::fromLocalFile(installer));
  QFile file(installer);
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  EXPECT_EQ(file.readAll().toStdString(), test::PatternBytes(1000));
}

TEST_F(UpgradeFlowTest, ForceFlagAsNumberOrTextChoosesPromptOrQuestion) {
  struct Case {
    const char* force;
    bool asText;
    QString box;
  };
  for (const Case& c : {Case{"1", true, kPromptBox}, Case{"0", false, kMessageBox}, Case{"0", true, kMessageBox}}) {
    SCOPED_TRACE(std::string(c.force) + (c.asText ? " as text" : " as number"));
    Answer([&](tools::VendorAnswers& a) {
      a.appVersion = "2.0.0";
      a.forceUpgrade = c.force;
      a.forceAsText = c.asText;
    });
    const size_t downloadsBefore = InstallerRequests();
    launchSucceeds_ = false;  // a mandatory offer downloads; its launch then fails
    ModalWatcher watcher;
    QString offerText;
    ConfirmPrompts(watcher, &offerText);
    watcher.On(kMessageBox, [](QWidget* box) { return ClickButton(box, "msgCancel"); });
    test::LogCapture log;
    OnlineServices services(nullptr, service_.BaseUrl(), hooks_);
    services.CheckForUpgrade(UpgradeCheckMode::kQuiet);
    ASSERT_TRUE(WaitUntil([&] { return !watcher.Seen().isEmpty() && !QApplication::activeModalWidget(); }, 15000));
    EXPECT_EQ(watcher.Seen().front(), c.box);
    EXPECT_EQ(endRequests_, 0);
    if (c.box == kMessageBox) {
      EXPECT_EQ(InstallerRequests(), downloadsBefore);  // declined: nothing fetched
    } else {
      EXPECT_EQ(InstallerRequests(), downloadsBefore + 1);
      EXPECT_EQ(log.From("HttpDownload.cpp").at(0), "升级失败");
    }
  }
}

TEST_F(UpgradeFlowTest, NoNewerVersionIsToldOnlyToAUserWhoAsked) {
  Answer([](tools::VendorAnswers& a) { a.appVersion = "1.6.0"; });
  ModalWatcher watcher;
  QString text;
  ConfirmPrompts(watcher, &text);
  OnlineServices services(nullptr, service_.BaseUrl(), hooks_);
  services.CheckForUpgrade(UpgradeCheckMode::kInteractive);
  ASSERT_TRUE(WaitUntil([&] { return !watcher.Seen().isEmpty(); }, 15000));
  EXPECT_EQ(text, QStringLiteral("没有发现新版本!"));

  services.CheckForUpgrade(UpgradeCheckMode::kQuiet);
  ASSERT_TRUE(WaitUntil([&] { return Checks() == 2; }, 15000));
  Settle();
  // A failing answer is silent even to a user who asked.
  Answer([](tools::VendorAnswers& a) {
    a.appVersion = "1.7.0";
    a.ret = 1;
  });
  services.CheckForUpgrade(UpgradeCheckMode::kInteractive);
  ASSERT_TRUE(WaitUntil([&] { return Checks() == 3; }, 15000));
  Settle();
  EXPECT_EQ(watcher.Seen().size(), 1);
}

TEST_F(UpgradeFlowTest, CancelOrCloseStopsTheDownloadAndKeepsThePartialFile) {
  Answer([](tools::VendorAnswers& a) { a.stallInstaller = true; });
  const QString partial =
      QString::fromStdString(GetUserFolder(kTempSubFolder)) + QStringLiteral("/ZavAudioRecorderSetup.bin");
  for (const int force : {0, 1}) {
    for (const bool byCancelButton : {true, false}) {
      SCOPED_TRACE(testing::Message() << "force " << force << (byCancelButton ? ", cancel" : ", closed"));
      ModalWatcher watcher;
      watcher.On(DownloadDialog::kCaption, [&](QWidget* dialog) {
        if (dialog->findChild<QLabel*>(QStringLiteral("download-text"))->text() != QStringLiteral("50%")) return false;
        if (byCancelButton) return ClickButton(dialog, "cancel");
        dialog->close();
        return true;
      });
      auto* dialog = new DownloadDialog(service_.InstallerUrl(), force, {}, hooks_.openUrl);
      const int result = ShowDialog(dialog, nullptr, DownloadDialog::kCaption);
      EXPECT_EQ(result, force ? DownloadDialog::kEndProgram : DownloadDialog::kClosed);
      EXPECT_TRUE(opened_.empty());
      EXPECT_EQ(QFile(partial).size(), 500);
    }
  }
}

TEST_F(UpgradeFlowTest, QuittingAbortsChecksAndDownloadsAtOnce) {
  test::RawHttpServer silent("");
  auto services = std::make_unique<OnlineServices>(nullptr, silent.BaseUrl(), hooks_);
  services->CheckForUpgrade(UpgradeCheckMode::kQuiet);
  services->CheckForUpgrade(UpgradeCheckMode::kInteractive);
  ASSERT_TRUE(WaitUntil([&] { return silent.Requests().size() == 2; }, 15000));
  QElapsedTimer quit;
  quit.start();
  services.reset();
  EXPECT_LT(quit.elapsed(), 3000);  // the client's time-out is 10 s

  // A download dialog that goes with its owner window while the installer stalls.
  Answer([](tools::VendorAnswers& a) { a.stallInstaller = true; });
  auto owner = std::make_unique<QWidget>();
  auto* dialog = new DownloadDialog(service_.InstallerUrl(), 0, {}, hooks_.openUrl);
  ASSERT_TRUE(dialog->Create(owner.get(), DownloadDialog::kCaption));
  dialog->ShowWindow();
  auto* label = dialog->findChild<QLabel*>(QStringLiteral("download-text"));
  ASSERT_TRUE(WaitUntil([&] { return label->text() == QStringLiteral("50%"); }, 15000));
  quit.restart();
  owner.reset();
  EXPECT_LT(quit.elapsed(), 3000);
  EXPECT_TRUE(opened_.empty());
}

}  // namespace
}  // namespace zav
