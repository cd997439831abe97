// The desktop program as a screen-reader user meets it: its own X server, session bus,
// accessibility bus and sound server; what it shows is read over AT-SPI (the tree, the names,
// the focus changes it announces), and it is used with the keyboard alone (xdotool's key
// presses through the X server). The recordings list and the job list must read as their rows
// show, the keyboard alone must record, play, show, delete, add and remove, and Escape must
// close every dialog as its cancel.
#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>
#include <QFile>
#include <QStandardPaths>
#include <QUrl>

#include <algorithm>
#include <memory>
#include <optional>
#include <thread>

#include "AccessibilityBus.h"
#include "AtSpiReader.h"
#include "ChildProcess.h"
#include "ConfigStore.h"
#include "CronJobStore.h"
#include "ProgramUnderTest.h"
#include "PulseServer.h"
#include "SessionBus.h"
#include "TextUtil.h"
#include "XvfbServer.h"

namespace zav::test {
namespace {

constexpr int kReadyTimeoutMs = 20000;
constexpr int kFocusTimeoutMs = 3000;
constexpr int kSettleMs = 300;
constexpr int kMostTabs = 40;  // more than the controls of any window
const QString kProgramName = QStringLiteral("zav-audio-recorder");
const QString kListItem = QStringLiteral("list item");
const QString kButton = QStringLiteral("push button");

class ScreenReaderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* tool : {"Xvfb", "xdotool", "dbus-daemon", "pulseaudio"}) {
      if (QStandardPaths::findExecutable(QLatin1String(tool)).isEmpty()) GTEST_SKIP() << tool << " is not installed";
    }
    sound_ = std::make_unique<PulseServer>();  // the program finds it through PULSE_SERVER
    ASSERT_TRUE(sound_->running()) << sound_->error();
    xvfb_ = std::make_unique<XvfbServer>();
    ASSERT_TRUE(xvfb_->running()) << xvfb_->error();
    bus_ = std::make_unique<SessionBus>();
    ASSERT_TRUE(bus_->running()) << bus_->error();
    a11y_ = std::make_unique<AccessibilityBus>(bus_->address(), xvfb_->display());
    if (!a11y_->started()) GTEST_SKIP() << a11y_->error();
    // On a busy machine the registry, started by the bus on the first call, now and then
    // fails to open the display and ends; the bus starts it again on the next call.
    for (int attempt = 0; attempt < 3 && !(reader_ && reader_->ok()); ++attempt) {
      if (attempt > 0) std::this_thread::sleep_for(std::chrono::milliseconds(300));
      reader_ = std::make_unique<AtSpiReader>(QString::fromStdString(bus_->address()), kReadyTimeoutMs);
    }
    ASSERT_TRUE(reader_->ok()) << reader_->error().toStdString() << "\n" << a11y_->ReadLog();

    // What the desktop is asked to open, through the xdg-open that the program finds first.
    ASSERT_TRUE(tools_.isValid() && recordings_.isValid());
    QFile opener(tools_.filePath(QStringLiteral("xdg-open")));
    ASSERT_TRUE(opener.open(QIODevice::WriteOnly));
    opener.write("#!/bin/sh\necho \"$1\" >> '" + OpenedLog().toUtf8() + "'\n");
    opener.close();
    opener.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    ConfigStore(home_.SettingsPath().toStdString())
        .WriteString("global", "output-dir", recordings_.path().toStdString());
    // The job file lies where the program looks for it, in the home of this test.
    qputenv("XDG_CONFIG_HOME", home_.ConfigHome().toUtf8());
  }

  void TearDown() override {
    if (program_) {
      StopProgram(*program_);
      EXPECT_EQ(program_->exitCode(), 0);
    }
  }

  QString OpenedLog() const { return tools_.filePath(QStringLiteral("opened")); }
  QStringList Opened() const {
    QFile file(OpenedLog());
    if (!file.open(QIODevice::ReadOnly)) return {};
    QStringList urls;
    for (const QByteArray& line : file.readAll().split('\n')) {
      if (!line.isEmpty()) urls << QUrl::fromEncoded(line).toLocalFile();
    }
    return urls;
  }

  // Starts the program with accessibility on and waits until it lists listedRecordings.
  void StartProgram(int listedRecordings) {
    QProcessEnvironment env = home_.Environment(QStringLiteral("xcb"), QString::fromStdString(xvfb_->display()));
    env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), QString::fromStdString(bus_->address()));
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), QString::fromStdString(a11y_->runtimeDir()));
    env.insert(QStringLiteral("QT_LINUX_ACCESSIBILITY_ALWAYS_ON"), QStringLiteral("1"));
    env.insert(QStringLiteral("PATH"), tools_.path() + QLatin1Char(':') + env.value(QStringLiteral("PATH")));
    program_ = std::make_unique<QProcess>();
    program_->setProcessEnvironment(env);
    program_->setProcessChannelMode(QProcess::ForwardedChannels);
    program_->start(QStringLiteral(ZAV_PROGRAM_PATH), {});
    ASSERT_TRUE(WaitForLog(home_, QStringLiteral("recordings listed: %1").arg(listedRecordings)))
        << home_.LogText().toStdString();
    const auto application = reader_->Application(kProgramName, kReadyTimeoutMs);
    ASSERT_TRUE(application) << "the registry never listed the program";
    app_ = *application;
    ASSERT_TRUE(WaitForFocus(kButton, QStringLiteral("开始录音"))) << reader_->FocusedText().toStdString();
  }

  // Key presses through the X server, into whichever window has the keyboard.
  void Press(const char* keys) { Xdotool({"key", keys}); }
  void Type(const char* text) { Xdotool({"type", "--delay", "20", text}); }
  void Xdotool(std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), "xdotool");
    const CommandResult result = RunCommand(arguments, {{"DISPLAY", xvfb_->display()}}, std::chrono::seconds(10));
    ASSERT_TRUE(result.finished && result.exitCode == 0)
        << arguments[1] << " " << arguments[2] << ": " << result.output;
  }

  bool FocusIs(const QString& role, const QString& name) {
    return !reader_->Focused().path.isEmpty() && reader_->Role(reader_->Focused()) == role &&
           (name.isEmpty() || reader_->Name(reader_->Focused()) == name);
  }
  bool WaitForFocus(const QString& role, const QString& name = {}) {
    return WaitUntil([&] { return FocusIs(role, name); }, kFocusTimeoutMs);
  }
  // Presses key (Tab or Shift+Tab) until the focus is on role/name; the names passed on the way
  // go to *passed.
  bool MoveFocusTo(const QString& role, const QString& name, const char* key = "Tab", QStringList* passed = nullptr) {
    for (int i = 0; i < kMostTabs; ++i) {
      if (FocusIs(role, name)) return true;
      const AtSpiObject before = reader_->Focused();
      Press(key);
      WaitUntil([&] { return !(reader_->Focused() == before); }, kFocusTimeoutMs);
      // A list that takes the focus hands it on to its current row, if it has rows, at once.
      WaitUntil([&] { return !FocusIs(QStringLiteral("list"), {}); }, kSettleMs);
      if (passed) passed->append(reader_->FocusedText());
    }
    return FocusIs(role, name);
  }

  // The names of the items of the list called listName.
  QStringList ListItems(const QString& listName) {
    QStringList items;
    const std::vector<AtSpiNode> tree = reader_->Tree(app_);
    for (size_t i = 0; i < tree.size(); ++i) {
      if (tree[i].role != QLatin1String("list") || tree[i].name != listName) continue;
      for (size_t j = i + 1; j < tree.size() && tree[j].depth > tree[i].depth; ++j) {
        if (tree[j].role == kListItem && tree[j].depth == tree[i].depth + 1) items << tree[j].name;
      }
    }
    return items;
  }
  bool Shows(const QString& role, const QString& name) { return reader_->Find(app_, role, name).has_value(); }
  // Each object as "role name: description".
  QStringList Described(const std::vector<AtSpiObject>& objects) {
    QStringList texts;
    for (const AtSpiObject& object : objects) {
      texts << reader_->Role(object) + QLatin1Char(' ') + reader_->Name(object) + QStringLiteral(": ") +
                   reader_->Description(object);
    }
    return texts;
  }
  // The focused control is a child of a row of the list called listName, both ways: the row lists
  // it among its children, and its parent is that row, whose parent is the list. Returns the row.
  std::optional<AtSpiObject> RowOfFocus(const QString& listName) {
    const auto list = reader_->Find(app_, QStringLiteral("list"), listName);
    if (!list) return std::nullopt;
    const AtSpiObject control = reader_->Focused();
    const AtSpiObject row = reader_->Parent(control);
    const std::vector<AtSpiObject> rows = reader_->Children(*list);
    const std::vector<AtSpiObject> controls = reader_->Children(row);
    if (!(reader_->Parent(row) == *list) || std::find(rows.begin(), rows.end(), row) == rows.end() ||
        std::find(controls.begin(), controls.end(), control) == controls.end()) {
      return std::nullopt;
    }
    return row;
  }

  std::unique_ptr<PulseServer> sound_;
  std::unique_ptr<XvfbServer> xvfb_;
  std::unique_ptr<SessionBus> bus_;
  std::unique_ptr<AccessibilityBus> a11y_;
  std::unique_ptr<AtSpiReader> reader_;
  ProgramHome home_;
  QTemporaryDir recordings_;
  QTemporaryDir tools_;
  std::unique_ptr<QProcess> program_;
  AtSpiObject app_;
};

TEST_F(ScreenReaderTest, TheRecordingsListReadsAsItsRowsAndTheKeyboardAloneRecordsPlaysShowsAndDeletes) {
  const QString oldName = QStringLiteral("新录音-20240101000000.wav");
  const QString oldPath = recordings_.filePath(oldName);
  const CommandResult made = RunCommand({"ffmpeg", "-loglevel", "error", "-y", "-f", "lavfi", "-i", "sine=f=440:d=2",
                                         oldPath.toStdString()},
                                        {}, std::chrono::seconds(20));
  ASSERT_TRUE(made.finished && made.exitCode == 0) << made.output;
  ASSERT_NO_FATAL_FAILURE(StartProgram(1));

  // Every row reads as it shows: name, size, duration.
  const QString oldSize = QString::fromStdString(FormatFileSize(QFileInfo(oldPath).size()));
  const QString oldRow = oldName + QStringLiteral(", ") + oldSize + QStringLiteral(", 00:00:02");
  ASSERT_TRUE(WaitUntil([&] { return ListItems(QStringLiteral("录音文件")) == QStringList{oldRow}; }, kReadyTimeoutMs))
      << ListItems(QStringLiteral("录音文件")).join(QLatin1Char('|')).toStdString();

  // Sliders and fields are named by the label beside them; combo boxes (whose name on this
  // desktop is their value) are labelled by it.
  for (const char* slider : {"麦克风增强", "麦克风音量", "系统音量"}) {
    EXPECT_TRUE(Shows(QStringLiteral("slider"), QString::fromUtf8(slider))) << slider;
  }
  EXPECT_TRUE(Shows(QStringLiteral("text"), QStringLiteral("保存目录")));
  QStringList comboLabels;
  for (const AtSpiNode& node : reader_->Tree(app_)) {
    if (node.role != QLatin1String("combo box")) continue;
    const std::vector<AtSpiObject> labels = reader_->Related(node.object, kRelationLabelledBy);
    comboLabels << (labels.empty() ? QStringLiteral("<none>") : reader_->Name(labels.front()));
  }
  EXPECT_EQ(comboLabels, (QStringList{QStringLiteral("录音来源"), QStringLiteral("麦克风"), QStringLiteral("系统声音"),
                                      QStringLiteral("输出格式"), QStringLiteral("音质")}));
  const auto start = reader_->Find(app_, kButton, QStringLiteral("开始录音"));
  ASSERT_TRUE(start);
  EXPECT_FALSE(reader_->KeyBindings(*start).isEmpty()) << "the start button announces no shortcut";

  // Space belongs to a focused check box; on a slider, which has no use for it, it records.
  ASSERT_TRUE(MoveFocusTo(QStringLiteral("check box"), QStringLiteral("降噪")));
  const bool noiseChecked = reader_->HasState(reader_->Focused(), kStateChecked);
  Press("space");
  EXPECT_TRUE(WaitUntil([&] { return reader_->HasState(reader_->Focused(), kStateChecked) != noiseChecked; }));
  EXPECT_TRUE(Shows(QStringLiteral("label"), QStringLiteral("准备录音")));
  ASSERT_TRUE(MoveFocusTo(QStringLiteral("slider"), QStringLiteral("麦克风音量")));
  Press("space");
  ASSERT_TRUE(WaitUntil([&] { return Shows(QStringLiteral("label"), QStringLiteral("正在录音")); }, 10000))
      << home_.LogText().toStdString();
  // The start/pause and stop shortcuts.
  Press("ctrl+r");
  ASSERT_TRUE(WaitUntil([&] { return Shows(QStringLiteral("label"), QStringLiteral("暂停录音")); }));
  Press("ctrl+r");
  ASSERT_TRUE(WaitUntil([&] { return Shows(QStringLiteral("label"), QStringLiteral("正在录音")); }));
  Press("ctrl+s");
  ASSERT_TRUE(WaitUntil([&] { return ListItems(QStringLiteral("录音文件")).size() == 2; }, 15000))
      << home_.LogText().toStdString();
  EXPECT_TRUE(Shows(QStringLiteral("label"), QStringLiteral("准备录音")));
  const QStringList files = QDir(recordings_.path()).entryList(QDir::Files, QDir::Name);
  ASSERT_EQ(files.size(), 2);
  const QString newPath = recordings_.filePath(files[1]);
  const QString newRow = ListItems(QStringLiteral("录音文件")).value(1);
  EXPECT_TRUE(newRow.startsWith(files[1] + QStringLiteral(", "))) << newRow.toStdString();

  // Tab reaches the list on the new recording (selected when it was listed), then that row's
  // buttons, then the controls after the list; arrows move along the rows.
  QStringList passed;
  ASSERT_TRUE(MoveFocusTo(kListItem, newRow, "Tab", &passed)) << passed.join('|').toStdString();
  passed.clear();
  ASSERT_TRUE(MoveFocusTo(kButton, QStringLiteral("快捷键"), "Tab", &passed));
  EXPECT_EQ(passed, (QStringList{kButton + QStringLiteral(" 播放"), kButton + QStringLiteral(" 打开位置"),
                                 kButton + QStringLiteral(" 删除"), kButton + QStringLiteral(" 快捷键")}));
  // The buttons Tab reaches are the children of their row in the tree, each described by the
  // file it acts on.
  ASSERT_TRUE(MoveFocusTo(kButton, QStringLiteral("删除"), "shift+Tab"));
  const auto row = RowOfFocus(QStringLiteral("录音文件"));
  ASSERT_TRUE(row) << "the focused button is not in its row";
  EXPECT_EQ(reader_->Role(*row), kListItem);
  EXPECT_EQ(reader_->Name(*row), newRow);
  EXPECT_EQ(Described(reader_->Children(*row)),
            (QStringList{kButton + QStringLiteral(" 播放: ") + files[1], kButton + QStringLiteral(" 打开位置: ") + files[1],
                         kButton + QStringLiteral(" 删除: ") + files[1]}));
  ASSERT_TRUE(MoveFocusTo(kButton, QStringLiteral("播放"), "shift+Tab"));
  EXPECT_EQ(reader_->Description(reader_->Focused()), files[1]);
  ASSERT_TRUE(MoveFocusTo(kListItem, newRow, "shift+Tab"));
  Press("Up");
  ASSERT_TRUE(WaitForFocus(kListItem, oldRow)) << reader_->FocusedText().toStdString();
  Press("Down");
  ASSERT_TRUE(WaitForFocus(kListItem, newRow)) << reader_->FocusedText().toStdString();

  // Enter plays.
  Press("Return");
  ASSERT_TRUE(WaitUntil([&] { return Opened().contains(newPath); })) << Opened().join(' ').toStdString();
  // The context-menu key, or Shift+F10, offers what the row's buttons do (a menu is no part of
  // the tree: a screen reader follows its items as they take the focus). Showing opens the
  // folder here, as no file manager runs on this session's bus.
  Press("Menu");
  Press("Down");
  ASSERT_TRUE(WaitForFocus(QStringLiteral("menu item"), QStringLiteral("播放"))) << reader_->FocusedText().toStdString();
  Press("Escape");
  ASSERT_TRUE(WaitForFocus(kListItem, newRow)) << reader_->FocusedText().toStdString();
  Press("shift+F10");
  for (const char* item : {"播放", "打开位置", "删除"}) {
    Press("Down");
    ASSERT_TRUE(WaitForFocus(QStringLiteral("menu item"), QString::fromUtf8(item)))
        << reader_->FocusedText().toStdString();
  }
  Press("Up");
  ASSERT_TRUE(WaitForFocus(QStringLiteral("menu item"), QStringLiteral("打开位置")));
  Press("Return");
  ASSERT_TRUE(WaitUntil([&] { return Opened().contains(recordings_.path() + QLatin1Char('/')); }))
      << Opened().join(' ').toStdString();
  ASSERT_TRUE(WaitForFocus(kListItem, newRow)) << reader_->FocusedText().toStdString();

  // Delete asks first; Escape is the question's cancel and keeps the file.
  Press("Delete");
  ASSERT_TRUE(WaitForFocus(kButton, QStringLiteral("取消"))) << reader_->FocusedText().toStdString();
  // The question names the file it deletes.
  EXPECT_TRUE(Shows(QStringLiteral("label"), QStringLiteral("确定要删除文件“%1”吗?").arg(files[1])));
  Press("Escape");
  ASSERT_TRUE(WaitForFocus(kListItem, newRow)) << reader_->FocusedText().toStdString();
  EXPECT_TRUE(QFile::exists(newPath));
  Press("Delete");
  ASSERT_TRUE(WaitForFocus(kButton, QStringLiteral("取消")));
  ASSERT_TRUE(MoveFocusTo(kButton, QStringLiteral("确定")));
  Press("space");
  ASSERT_TRUE(WaitUntil([&] { return !QFile::exists(newPath); })) << "the confirmed delete left the file";
  ASSERT_TRUE(WaitUntil([&] { return ListItems(QStringLiteral("录音文件")) == QStringList{oldRow}; }))
      << ListItems(QStringLiteral("录音文件")).join(QLatin1Char('|')).toStdString();
  EXPECT_TRUE(QFile::exists(oldPath));
  // The keyboard stays in the list, on the row left.
  EXPECT_TRUE(WaitForFocus(kListItem, oldRow)) << reader_->FocusedText().toStdString();
}

TEST_F(ScreenReaderTest, TheJobListReadsAsItsRowsTheKeyboardAloneAddsAndRemovesAJobAndEscapeClosesEachDialog) {
  CronJobStore store(DefaultJobFilePath());
  ASSERT_TRUE(store.Add({"晨会", "2030-01-01 09:00:00", "2030-01-01 10:00:00", 0}).written);
  const QString morning = QStringLiteral("晨会, 2030-01-01 09:00:00, 2030-01-01 10:00:00, 未开始");
  const QString weekly = QStringLiteral("Weekly, 2030-02-01 09:00:00, 2030-02-01 10:00:00, 未开始");
  ASSERT_NO_FATAL_FAILURE(StartProgram(0));

  // The job list, from the main window's button.
  ASSERT_TRUE(MoveFocusTo(kButton, QStringLiteral("定时任务")));
  Press("space");
  ASSERT_TRUE(WaitForFocus(kListItem, morning)) << reader_->FocusedText().toStdString();
  EXPECT_EQ(ListItems(QStringLiteral("定时任务")), QStringList{morning});

  // A new job, typed into the new-job dialog's named fields and saved with Enter.
  ASSERT_TRUE(MoveFocusTo(kButton, QStringLiteral("新建任务")));
  Press("space");
  ASSERT_TRUE(WaitForFocus(QStringLiteral("text"), QStringLiteral("任务名称"))) << reader_->FocusedText().toStdString();
  Type("Weekly");
  Press("Tab");
  ASSERT_TRUE(WaitForFocus(QStringLiteral("text"), QStringLiteral("开始时间"))) << reader_->FocusedText().toStdString();
  Type("2030-02-01 09:00:00");
  Press("Tab");
  ASSERT_TRUE(WaitForFocus(QStringLiteral("text"), QStringLiteral("结束时间"))) << reader_->FocusedText().toStdString();
  Type("2030-02-01 10:00:00");
  Press("Return");
  ASSERT_TRUE(WaitUntil([&] { return ListItems(QStringLiteral("定时任务")) == QStringList({morning, weekly}); }))
      << ListItems(QStringLiteral("定时任务")).join(QLatin1Char('|')).toStdString();
  ASSERT_EQ(store.Load().size(), 2U);
  EXPECT_TRUE(store.Load().back().job.record);
  // A job that records asks whether the program should start with the desktop: the question
  // has the keyboard, and Escape says no.
  ASSERT_TRUE(WaitUntil([&] { return FocusIs(kButton, QStringLiteral("取消")) || FocusIs(kButton, QStringLiteral("确定")); }))
      << reader_->FocusedText().toStdString();
  Press("Escape");

  // Escape cancels the new-job dialog: nothing is added.
  ASSERT_TRUE(WaitForFocus(kButton, QStringLiteral("新建任务"))) << reader_->FocusedText().toStdString();
  Press("space");
  ASSERT_TRUE(WaitForFocus(QStringLiteral("text"), QStringLiteral("任务名称")));
  Type("Dropped");
  Press("Escape");
  ASSERT_TRUE(WaitForFocus(kButton, QStringLiteral("新建任务"))) << reader_->FocusedText().toStdString();
  EXPECT_EQ(ListItems(QStringLiteral("定时任务")), QStringList({morning, weekly}));

  // Back to the list, down to the new job, and Delete removes it (the row's button is on the
  // way, right after the list).
  QStringList passed;
  ASSERT_TRUE(MoveFocusTo(kButton, QStringLiteral("删除"), "shift+Tab", &passed)) << passed.join('|').toStdString();
  const auto row = RowOfFocus(QStringLiteral("定时任务"));
  ASSERT_TRUE(row) << "the focused button is not in its row";
  const QString job = reader_->Description(reader_->Focused());
  EXPECT_TRUE(QStringList({morning, weekly}).contains(reader_->Name(*row))) << reader_->Name(*row).toStdString();
  EXPECT_TRUE(reader_->Name(*row).startsWith(job + QStringLiteral(", "))) << job.toStdString();
  EXPECT_EQ(Described(reader_->Children(*row)),
            (QStringList{QStringLiteral("check box 录音: ") + job, kButton + QStringLiteral(" 删除: ") + job}));
  ASSERT_TRUE(MoveFocusTo(kListItem, {}, "shift+Tab", &passed));
  Press("End");
  ASSERT_TRUE(WaitForFocus(kListItem, weekly)) << reader_->FocusedText().toStdString();
  Press("Delete");
  ASSERT_TRUE(WaitUntil([&] { return ListItems(QStringLiteral("定时任务")) == QStringList{morning}; }))
      << ListItems(QStringLiteral("定时任务")).join(QLatin1Char('|')).toStdString();
  ASSERT_TRUE(WaitUntil([&] { return store.Load().size() == 1U; }));
  EXPECT_EQ(store.Load().front().job.cronJobName, "晨会");

  // Escape closes the job list, the hotkey dialog and the feedback dialog.
  Press("Escape");
  ASSERT_TRUE(WaitForFocus(kButton, QStringLiteral("定时任务"))) << reader_->FocusedText().toStdString();
  EXPECT_TRUE(ListItems(QStringLiteral("定时任务")).isEmpty());
  for (const char* opener : {"快捷键", "意见反馈"}) {
    ASSERT_TRUE(MoveFocusTo(kButton, QString::fromUtf8(opener))) << opener;
    Press("space");
    ASSERT_TRUE(WaitUntil([&] { return !FocusIs(kButton, QString::fromUtf8(opener)); })) << opener << " opened nothing";
    Press("Escape");
    ASSERT_TRUE(WaitForFocus(kButton, QString::fromUtf8(opener)))
        << opener << ": " << reader_->FocusedText().toStdString();
  }
}

}  // namespace
}  // namespace zav::test
