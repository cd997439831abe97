// The recordings list over real files: which files it lists and how, the row buttons, deleting
// (also a file that cannot be deleted), rows of new recordings, a list of hundreds of rows,
// names that are not UTF-8, files that are not audio, and WAV files it must leave alone.
#include <gtest/gtest.h>

#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QScrollBar>

#include <cstdint>
#include <filesystem>
#include <fstream>

#include "ChildProcess.h"
#include "MainWndHarness.h"
#include "MediaDuration.h"
#include "TextUtil.h"
#include "UiTestSupport.h"
#include "dui/ControlTag.h"
#include "recordings/RecordingFiles.h"
#include "recordings/RecordingRows.h"
#include "recordings/RecordingsList.h"

namespace zav::test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// A mono 8-bit PCM WAV of `seconds` at `rate` samples a second, which players decode.
void WriteWav(const std::string& path, uint32_t rate, uint32_t seconds) {
  const uint32_t dataSize = rate * seconds;
  std::ofstream out(path, std::ios::binary);
  auto u32 = [&out](uint32_t v) { out.write(reinterpret_cast<const char*>(&v), 4); };
  auto u16 = [&out](uint16_t v) { out.write(reinterpret_cast<const char*>(&v), 2); };
  out.write("RIFF", 4);
  u32(36 + dataSize);
  out.write("WAVEfmt ", 8);
  u32(16);
  u16(1);     // PCM
  u16(1);     // mono
  u32(rate);
  u32(rate);  // bytes a second
  u16(1);     // block size
  u16(8);     // bits
  out.write("data", 4);
  u32(dataSize);
  const std::string silence(dataSize, '\x80');
  out.write(silence.data(), static_cast<std::streamsize>(silence.size()));
}

std::string Contents(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

bool Encode(const std::string& path, int seconds) {
  return RunCommand({"ffmpeg", "-loglevel", "error", "-y", "-f", "lavfi", "-i", "sine=f=440:d=" + std::to_string(seconds),
                     "-ac", "2", "-ar", "44100", path},
                    {}, 30s)
             .exitCode == 0;
}

class RecordingsListTest : public MainWndTestBase {
 protected:
  std::string Path(const std::string& name) const { return folder() + "/" + name; }
  QString RowText(int id, const char* label) const {
    QWidget* row = window->recordings().rows().RowWidget(id);
    return row ? row->findChild<QLabel*>(QLatin1String(label))->text() : QStringLiteral("<not built>");
  }
  void ClickRowButton(int id, const char* button) {
    QWidget* row = window->recordings().rows().RowWidget(id);
    ASSERT_NE(row, nullptr) << id;
    row->findChild<QPushButton*>(QLatin1String(button))->click();
  }
};

TEST(RecordingFilesTest, OnlyTheProgramsOwnExtensionsCount) {
  for (const char* name : {"a.mp3", "b.WAV", "d.m4a", "E.M4A", "x.y.wav", ".wav"}) EXPECT_TRUE(IsRecognisedRecording(name)) << name;
  for (const char* name : {"c.Mp3", "e.txt", "notes", "mp3", "f.mp3.txt", "g.wav "}) EXPECT_FALSE(IsRecognisedRecording(name)) << name;
}

TEST_F(RecordingsListTest, ListsTheRecognisedFilesInNameOrderWithSizeAndDuration) {
  if (FindProgram("ffmpeg").empty()) GTEST_SKIP() << "ffmpeg is not installed";
  ASSERT_TRUE(Encode(Path("a.mp3"), 2));
  ASSERT_TRUE(Encode(Path("d.m4a"), 3));
  WriteWav(Path("b.WAV"), 100, 3725);  // 372,544 bytes playing 01:02:05
  WriteWav(Path("x.y.wav"), 8000, 1);
  std::ofstream(Path("broken.mp3")) << "not audio at all";
  std::ofstream(Path("c.Mp3")) << "x";
  std::ofstream(Path("e.txt")) << "x";
  std::ofstream(Path("notes")) << "x";
  fs::create_directory(Path("folder.mp3"));
  OpenWindow();

  const std::vector<std::string> expected = {"a.mp3", "b.WAV", "broken.mp3", "d.m4a", "x.y.wav"};
  ASSERT_EQ(window->recordings().RowCount(), static_cast<int>(expected.size()));
  for (int id = 0; id < static_cast<int>(expected.size()); ++id) {
    const std::string& name = expected[static_cast<size_t>(id)];
    EXPECT_EQ(RowText(id, "fileNameLabel").toStdString(), name);
    EXPECT_EQ(RowText(id, "fileSizeLabel").toStdString(), FormatFileSize(static_cast<int64_t>(fs::file_size(Path(name)))));
    QWidget* row = window->recordings().rows().RowWidget(id);
    EXPECT_EQ(row->objectName(), QStringLiteral("item-%1").arg(id));
    EXPECT_EQ(GetTag(row), id);
    EXPECT_EQ(GetTag(row->findChild<QWidget*>(QStringLiteral("item-delete"))), id);
  }
  EXPECT_EQ(RowText(0, "durationLabel"), QStringLiteral("00:00:02"));
  EXPECT_EQ(RowText(1, "durationLabel"), QStringLiteral("01:02:05"));
  EXPECT_EQ(RowText(1, "fileSizeLabel"), QStringLiteral("363KB"));
  EXPECT_EQ(RowText(2, "durationLabel"), QStringLiteral("--:--:--"));
  EXPECT_EQ(RowText(3, "durationLabel"), QStringLiteral("00:00:03"));
  EXPECT_EQ(Control<QListWidget>("audio-record-list")->currentRow(), -1);  // the scan selects nothing

  ClickRowButton(3, "item-play");
  ClickRowButton(4, "item-open-dir");
  ASSERT_EQ(shell.opened.size(), 1u);
  EXPECT_EQ(shell.opened[0], QUrl::fromLocalFile(QString::fromStdString(Path("d.m4a"))));
  ASSERT_EQ(shell.shown.size(), 1u);
  EXPECT_EQ(shell.shown[0], QUrl::fromLocalFile(QString::fromStdString(Path("x.y.wav"))));
}

TEST_F(RecordingsListTest, DeletingARowDeletesItsFileAndNumbersAreNeverReused) {
  for (const char* name : {"1.wav", "2.wav", "3.wav"}) WriteWav(Path(name), 8000, 1);
  OpenWindow();
  ASSERT_EQ(window->recordings().RowCount(), 3);

  boxes.confirm = false;
  ClickRowButton(1, "item-delete");
  EXPECT_TRUE(boxes.Texts().contains(QStringLiteral("确定要删除文件“2.wav”吗?"))) << boxes.Texts().join('|').toStdString();
  WaitForSettings();
  EXPECT_TRUE(fs::exists(Path("2.wav")));
  EXPECT_EQ(window->recordings().RowCount(), 3);

  boxes.confirm = true;
  ClickRowButton(1, "item-delete");
  ASSERT_TRUE(WaitUntil([&] { return window->recordings().RowCount() == 2; }));
  EXPECT_FALSE(fs::exists(Path("2.wav")));
  // The list lets go of a removed row's widget on the event loop's next turn.
  EXPECT_TRUE(WaitUntil([&] { return window->FindControl(QStringLiteral("item-1")) == nullptr; }));
  EXPECT_NE(window->FindControl(QStringLiteral("item-0")), nullptr);
  EXPECT_NE(window->FindControl(QStringLiteral("item-2")), nullptr);

  // A new recording gets the next number, becomes the last row and is selected.
  WriteWav(Path("4.wav"), 8000, 2);
  window->recordings().AddRecording(folder(), "4.wav");
  auto* list = Control<QListWidget>("audio-record-list");
  ASSERT_TRUE(WaitUntil([&] { return list->currentRow() == 2; }));
  EXPECT_EQ(RowText(3, "fileNameLabel"), QStringLiteral("4.wav"));
  ASSERT_TRUE(WaitUntil([&] { return window->recordings().DurationRead(3); }));
  EXPECT_EQ(RowText(3, "durationLabel"), QStringLiteral("00:00:02"));
}

TEST_F(RecordingsListTest, AFileThatCannotBeDeletedStaysListedAndTheUserIsTold) {
  TmpfsMount disk("1m");
  if (!disk.mounted()) GTEST_SKIP() << "mounting a tmpfs needs root";
  WriteSetting("output-dir", disk.path());
  WriteWav(disk.path() + "/kept.wav", 8000, 1);
  OpenWindow();
  ASSERT_EQ(window->recordings().RowCount(), 1);
  ASSERT_TRUE(disk.MakeReadOnly());
  ClickRowButton(0, "item-delete");
  ASSERT_TRUE(WaitUntil([&] { return boxes.Texts().contains(QStringLiteral("文件删除失败!")); }));
  EXPECT_TRUE(fs::exists(disk.path() + "/kept.wav"));
  EXPECT_EQ(window->recordings().RowCount(), 1);
  EXPECT_NE(window->recordings().rows().RowWidget(0), nullptr);
}

// Row widgets are built only around the part in view: a long list must not cost a widget
// tree per row, or listing thousands of recordings freezes the window.
TEST_F(RecordingsListTest, AListOfHundredsOfRowsBuildsOnlyTheRowsInView) {
  constexpr int kRows = 400;
  WriteWav(Path("0000.wav"), 8000, 1);
  for (int i = 1; i < kRows; ++i) {
    fs::create_hard_link(Path("0000.wav"), Path(QStringLiteral("%1.wav").arg(i, 4, 10, QLatin1Char('0')).toStdString()));
  }
  OpenWindow();
  ASSERT_EQ(window->recordings().RowCount(), kRows);
  auto* list = Control<QListWidget>("audio-record-list");
  auto builtRows = [&] { return list->findChildren<QWidget*>(QRegularExpression(QStringLiteral("^item-\\d+$"))).size(); };
  EXPECT_LT(builtRows(), 60);
  EXPECT_NE(window->recordings().rows().RowWidget(0), nullptr);
  EXPECT_EQ(window->recordings().rows().RowWidget(kRows - 1), nullptr);

  list->scrollToBottom();
  ASSERT_TRUE(WaitUntil([&] { return window->recordings().rows().RowWidget(kRows - 1) != nullptr; }));
  EXPECT_EQ(RowText(kRows - 1, "fileNameLabel"), QStringLiteral("0399.wav"));
  ASSERT_TRUE(WaitUntil([&] { return window->recordings().rows().RowWidget(0) == nullptr; }));
  EXPECT_LT(builtRows(), 60);
  // The row in view is where the list shows it.
  QWidget* last = window->recordings().rows().RowWidget(kRows - 1);
  EXPECT_EQ(last->geometry(), list->visualItemRect(list->item(kRows - 1)));
}

// File names are bytes: a name in another encoding must reach play, show and delete unchanged,
// and never be taken for the file that its replacement characters would name.
TEST_F(RecordingsListTest, ANameThatIsNotUtf8KeepsItsBytesFromTheListToEveryButton) {
  const std::string legacy = "a\xFF\xFE.wav";               // say, GBK from an old archive
  const std::string lookalike = "a\uFFFD\uFFFD.wav";         // what a lossy conversion makes of it
  WriteWav(Path(legacy), 8000, 1);
  WriteWav(Path(lookalike), 8000, 1);
  OpenWindow();
  ASSERT_EQ(window->recordings().RowCount(), 2);
  // In byte order the look-alike (0xEF...) comes first.
  EXPECT_EQ(RowText(1, "fileNameLabel"), QStringLiteral("a\\xFF\\xFE.wav"));
  EXPECT_EQ(RowText(1, "durationLabel"), QStringLiteral("00:00:01"));

  ClickRowButton(1, "item-play");
  ClickRowButton(1, "item-open-dir");
  const QByteArray url = "file://" + QByteArray::fromStdString(Path(legacy)).toPercentEncoding("/");
  ASSERT_EQ(shell.opened.size(), 1u);
  EXPECT_EQ(shell.opened[0].toEncoded(), url);
  ASSERT_EQ(shell.shown.size(), 1u);
  EXPECT_EQ(shell.shown[0].toEncoded(), url);

  ClickRowButton(1, "item-delete");
  ASSERT_TRUE(WaitUntil([&] { return window->recordings().RowCount() == 1; }));
  EXPECT_FALSE(fs::exists(Path(legacy)));
  EXPECT_TRUE(fs::exists(Path(lookalike)));

  // A file already gone is not a deletion that worked: the row goes, and the user hears of it.
  fs::remove(Path(lookalike));
  ClickRowButton(0, "item-delete");
  ASSERT_TRUE(WaitUntil([&] { return boxes.Texts().contains(QStringLiteral("文件已不存在!")); }));
  EXPECT_EQ(window->recordings().RowCount(), 0);
}

// Only what a recording cut short leaves is repaired: a WAV whose chunks agree (here with an
// ID3v1 tag after its data) is never written, and reading a duration writes nothing.
TEST_F(RecordingsListTest, ListingNeverRewritesAnIntactWavAndRepairsOnlyPlaceholderSizes) {
  WriteWav(Path("tagged.wav"), 8000, 2);
  {
    std::ofstream tag(Path("tagged.wav"), std::ios::binary | std::ios::app);
    const std::string id3v1 = "TAG" + std::string(125, 'x');
    tag.write(id3v1.data(), static_cast<std::streamsize>(id3v1.size()));
  }
  const std::string tagged = Contents(Path("tagged.wav"));
  const auto taggedTime = fs::last_write_time(Path("tagged.wav"));
  // A recording killed before its first size update: placeholder sizes.
  WriteWav(Path("unpatched.wav"), 8000, 3);
  {
    std::fstream f(Path("unpatched.wav"), std::ios::in | std::ios::out | std::ios::binary);
    f.seekp(4);
    f.write("\xFF\xFF\xFF\xFF", 4);
    f.seekp(40);
    f.write("\xFF\xFF\xFF\xFF", 4);
  }
  const std::string unpatched = Contents(Path("unpatched.wav"));
  ReadMediaDuration(Path("unpatched.wav"));
  EXPECT_EQ(Contents(Path("unpatched.wav")), unpatched) << "reading a duration wrote the file";

  OpenWindow();
  ASSERT_EQ(window->recordings().RowCount(), 2);
  EXPECT_EQ(RowText(0, "durationLabel"), QStringLiteral("00:00:02"));
  EXPECT_EQ(Contents(Path("tagged.wav")), tagged);
  EXPECT_EQ(fs::last_write_time(Path("tagged.wav")), taggedTime);
  EXPECT_EQ(RowText(1, "durationLabel"), QStringLiteral("00:00:03"));
  const std::string repaired = Contents(Path("unpatched.wav"));
  ASSERT_EQ(repaired.size(), unpatched.size());
  EXPECT_EQ(repaired.substr(44), unpatched.substr(44)) << "the samples changed";
  EXPECT_EQ(repaired.substr(4, 4), std::string("\xE4\x5D\x00\x00", 4));  // 36 + 24,000 bytes of samples
}

// A large file that is not audio is read only as far as a duration needs: it must not keep
// the other rows from their durations, nor hold the window's end.
TEST_F(RecordingsListTest, ALargeFileThatIsNotAudioHoldsBackNoOtherRow) {
  constexpr uintmax_t kNotAudioBytes = uintmax_t{2} << 30;
  { std::ofstream(Path("0-zeros.mp3")); }
  fs::resize_file(Path("0-zeros.mp3"), kNotAudioBytes);  // sparse: costs no disk
  WriteWav(Path("1.wav"), 8000, 1);
  WriteWav(Path("2.wav"), 8000, 2);
  OpenWindow();
  ASSERT_EQ(window->recordings().RowCount(), 3);
  EXPECT_EQ(RowText(0, "fileSizeLabel"), QStringLiteral("2.00G"));
  EXPECT_EQ(RowText(0, "durationLabel"), QStringLiteral("--:--:--"));
  EXPECT_EQ(RowText(1, "durationLabel"), QStringLiteral("00:00:01"));
  EXPECT_EQ(RowText(2, "durationLabel"), QStringLiteral("00:00:02"));

  // The read stops at once when asked to (the window going away asks).
  const std::atomic<bool> cancel{true};
  double seconds = 0;
  EXPECT_EQ(ReadMediaDuration(Path("0-zeros.mp3"), {std::chrono::seconds(60), &cancel}, &seconds),
            DurationResult::kCancelled);
}

}  // namespace
}  // namespace zav::test
