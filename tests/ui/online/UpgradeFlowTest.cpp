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

#include "LogCapture.h"
#include "ModalWatcher.h"
#include "NetTestData.h"
#include "RawHttpServer.h"
#include "UiTestSupport.h"
#include "UserFolders.h"
#include "VendorService.h"
#include "dui/DialogPattern.h"
#include "dui/Skin.h"
#include "online/DownloadDialog.h"
#include "online/OnlineServices.h"

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
    hooks_.showFile = [this](const QString& path) { shown_ << path; };
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
  QStringList shown_;
  QString launchedFrom_;  // the modal window that asked for the launch
  QString labelAtLaunch_;
  int sliderAtLaunch_ = -1;
  bool launchSucceeds_ = true;
  int endRequests_ = 0;
};

// Over plain http a checksum from the same server proves nothing: the installer is downloaded
// and shown, not started, and the program runs on, even for a mandatory upgrade.
TEST_F(UpgradeFlowTest, AnInstallerThatCannotBeVerifiedIsShownInItsFolderAndTheProgramRunsOn) {
  Answer([](tools::VendorAnswers& a) {
    a.appVersion = "1.7.0";
    a.forceUpgrade = "1";
    a.sha256 = test::kPattern1000Sha256;
  });
  ModalWatcher watcher;
  QStringList prompts;
  watcher.On(kPromptBox, [&](QWidget* box) {
    prompts << box->findChild<QLabel*>(QStringLiteral("msgText"))->text();
    return ClickButton(box, "msgConfirm");
  });
  OnlineServices services(nullptr, service_.BaseUrl(), hooks_);

  QElapsedTimer call;
  call.start();
  services.CheckForUpgrade(UpgradeCheckMode::kInteractive);
  EXPECT_LT(call.elapsed(), 1000);  // the request runs on a worker
  ASSERT_TRUE(WaitUntil([&] { return prompts.size() == 2 && !QApplication::activeModalWidget(); }, 15000));

  EXPECT_EQ(prompts, (QStringList{QStringLiteral("发现新版本啦!"), kInstallerUnverifiedText}));
  EXPECT_TRUE(opened_.empty());
  EXPECT_EQ(endRequests_, 0);
  const QString installer =
      QString::fromStdString(GetUserFolder(kTempSubFolder)) + QStringLiteral("/ZavAudioRecorderSetup.bin");
  EXPECT_EQ(shown_, QStringList{installer});
  QFile file(installer);
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  EXPECT_EQ(file.readAll().toStdString(), test::PatternBytes(1000));
}

// Only an installer that came over https, with a checksum from an answer that came over
// https, is started (and the program ended); anything less is shown in its folder.
TEST_F(UpgradeFlowTest, AVerifiedInstallerIsStartedAndEndsTheProgram) {
  tools::VendorService secure;
  ASSERT_TRUE(secure.Start(0, test::TestDataFile("self-signed.crt"), test::TestDataFile("self-signed.key")));
  tools::VendorAnswers answers;
  answers.installerBytes = test::PatternBytes(1000);
  answers.redirectTarget = service_.InstallerUrl();  // from https to plain http
  secure.SetAnswers(answers);
  Answer([](tools::VendorAnswers&) {});
  DownloadLimits trustingTheTestServer;
  trustingTheTestServer.caFile = test::TestDataFile("self-signed.crt");

  enum class Outcome { kStarted, kLaunchFailed, kShownInFolder };
  struct Case {
    const char* what;
    std::string url;
    std::string sha256;
    bool answerOverHttps;
    bool launchSucceeds;
    Outcome outcome;
  };
  const std::string sha = test::kPattern1000Sha256;
  const std::string https = secure.InstallerUrl();
  const std::string toHttp = secure.BaseUrl() + "/moved";
  for (const Case& c : {Case{"verified", https, sha, true, true, Outcome::kStarted},
                        Case{"verified, the launch fails", https, sha, true, false, Outcome::kLaunchFailed},
                        Case{"no checksum", https, "", true, true, Outcome::kShownInFolder},
                        Case{"checksum over http", https, sha, false, true, Outcome::kShownInFolder},
                        Case{"redirected to http", toHttp, sha, true, true, Outcome::kShownInFolder}}) {
    SCOPED_TRACE(c.what);
    opened_.clear();
    shown_.clear();
    launchSucceeds_ = c.launchSucceeds;
    ModalWatcher watcher;
    QStringList prompts;
    watcher.On(kPromptBox, [&](QWidget* box) {
      prompts << box->findChild<QLabel*>(QStringLiteral("msgText"))->text();
      return ClickButton(box, "msgConfirm");
    });
    test::LogCapture log;
    const UpgradeOffer offer{c.url, 1, c.sha256, c.answerOverHttps};
    const int result = ShowDialog(new DownloadDialog(offer, hooks_.openUrl, hooks_.showFile, trustingTheTestServer),
                                  nullptr, DownloadDialog::kCaption);
    EXPECT_EQ(result, c.outcome == Outcome::kStarted ? DownloadDialog::kEndProgram : DownloadDialog::kClosed);
    EXPECT_EQ(opened_.size(), c.outcome == Outcome::kShownInFolder ? 0u : 1u);
    switch (c.outcome) {
      case Outcome::kStarted:
        EXPECT_EQ(launchedFrom_, DownloadDialog::kCaption);
        EXPECT_EQ(labelAtLaunch_, QStringLiteral("100%"));
        EXPECT_EQ(sliderAtLaunch_, 100);
        break;
      case Outcome::kLaunchFailed:
        EXPECT_EQ(log.From("HttpDownload.cpp").at(0), "升级失败");
        break;
      case Outcome::kShownInFolder:
        EXPECT_EQ(prompts, QStringList{kInstallerUnverifiedText});
        ASSERT_EQ(shown_.size(), 1);
        EXPECT_EQ(QFile(shown_[0]).size(), 1000);
        break;
    }
  }
}

// Told in the download dialog, and nothing left behind.
TEST_F(UpgradeFlowTest, AFailedDownloadIsToldAndLeavesNoFile) {
  const QString installer =
      QString::fromStdString(GetUserFolder(kTempSubFolder)) + QStringLiteral("/ZavAudioRecorderSetup.bin");
  std::string wrong = test::kPattern1000Sha256;
  wrong[0] = wrong[0] == '0' ? '1' : '0';
  struct Case {
    const char* what;
    std::function<void(tools::VendorAnswers&)> answer;
    std::string sha256;
    QString text;
  };
  for (const Case& c : {Case{"50 GB announced", [](tools::VendorAnswers& a) { a.announcedSize = int64_t{50} << 30; },
                             "", kInstallerTooLargeText},
                        Case{"no end", [](tools::VendorAnswers& a) { a.endlessInstaller = true; }, "",
                             kInstallerTooLargeText},
                        Case{"wrong checksum", [](tools::VendorAnswers&) {}, wrong, kInstallerBadChecksumText},
                        Case{"not there", [](tools::VendorAnswers& a) { a.installerName = "other.bin"; }, "",
                             kInstallerDownloadFailedText}}) {
    SCOPED_TRACE(c.what);
    QFile::remove(installer);  // an earlier download's
    Answer(c.answer);
    ModalWatcher watcher;
    QStringList prompts;
    watcher.On(kPromptBox, [&](QWidget* box) {
      prompts << box->findChild<QLabel*>(QStringLiteral("msgText"))->text();
      return ClickButton(box, "msgConfirm");
    });
    UpgradeOffer offer{service_.BaseUrl() + "/files/ZavAudioRecorderSetup.bin", 1, c.sha256, false};
    const int result = ShowDialog(new DownloadDialog(offer, hooks_.openUrl, hooks_.showFile), nullptr,
                                  DownloadDialog::kCaption);
    EXPECT_EQ(result, DownloadDialog::kClosed);
    EXPECT_EQ(prompts, QStringList{c.text});
    EXPECT_FALSE(QFile::exists(installer));
    EXPECT_TRUE(opened_.empty());
    EXPECT_TRUE(shown_.empty());
  }
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
    ModalWatcher watcher;
    QString offerText;
    ConfirmPrompts(watcher, &offerText);
    watcher.On(kMessageBox, [](QWidget* box) { return ClickButton(box, "msgCancel"); });
    OnlineServices services(nullptr, service_.BaseUrl(), hooks_);
    services.CheckForUpgrade(UpgradeCheckMode::kQuiet);
    ASSERT_TRUE(WaitUntil([&] { return !watcher.Seen().isEmpty() && !QApplication::activeModalWidget(); }, 15000));
    EXPECT_EQ(watcher.Seen().front(), c.box);
    EXPECT_EQ(endRequests_, 0);
    if (c.box == kMessageBox) {
      EXPECT_EQ(InstallerRequests(), downloadsBefore);  // declined: nothing fetched
    } else {
      EXPECT_EQ(InstallerRequests(), downloadsBefore + 1);
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
      auto* dialog = new DownloadDialog({service_.InstallerUrl(), force, {}, false}, hooks_.openUrl, hooks_.showFile);
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
  auto* dialog = new DownloadDialog({service_.InstallerUrl(), 0, {}, false}, hooks_.openUrl, hooks_.showFile);
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
