#pragma once
// The recordings list: the start-up scan of the output folder (on a worker of its own; rows
// reach the window in batches so it keeps answering), a row for each finished recording
// (scrolled to and selected), and the row buttons: play, show in the file manager, delete.
// From the keyboard, on the current row: Enter plays, Delete deletes (after the same question),
// and the context-menu key or Shift+F10 offers the three in a menu.
// A row shows at once with its name and size; its duration fills in when it has been read
// (RecordingDurations), so no file holds back the others. Names and paths are kept as the
// file system's bytes from the scan to every button. UI thread only.

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

class QPoint;
class QTimer;

namespace zav {

class DesktopShell;
class FirstPaintGate;
class RecordingDurations;
struct RecordingFile;
class RecordingRows;
struct TNotifyUI;
class WindowImplBase;
class WorkQueue;

class RecordingsList {
 public:
  // A new row is shown this long after it was added, once the list has laid it out.
  static constexpr int kShowNewRowDelayMs = 50;

  RecordingsList(WindowImplBase* window, WorkQueue* disk, DesktopShell* shell);
  ~RecordingsList();  // ends a scan still running

  // Lists the recordings of the output folder, in name order. Runs once.
  void StartScan();
  // Lists a finished recording as the new last row and, shortly after, shows and selects it.
  void AddRecording(const std::string& folder, const std::string& fileName);
  bool Handle(const TNotifyUI& msg);

  // For tests and benchmarks.
  int RowCount() const;
  // Every row of the scan is listed (their durations may still be read).
  bool ScanDone() const { return scanDone_; }
  // Rows whose duration is still being read.
  int DurationsPending() const { return durationsPending_; }
  bool DurationRead(int id) const;
  RecordingRows& rows() { return *rows_; }

 private:
  struct RecordingItem {
    std::string fileName;  // bytes
    std::string folder;
    std::string fullPath;
    int64_t fileSize = 0;
    bool durationRead = false;
  };
  enum class DeleteResult { kDeleted, kAlreadyGone, kFailed };

  void AddRows(const std::vector<RecordingFile>& files);
  void OnDuration(int id, double seconds);
  const RecordingItem* Find(intptr_t tag) const;
  void Play(int id);
  void ShowInFileManager(int id);
  void OfferRowMenu(int id, const QPoint& globalPos);
  void Delete(int id);
  void OnDeleted(int id, DeleteResult result);

  WindowImplBase* window_;
  WorkQueue* disk_;
  DesktopShell* shell_;
  std::unique_ptr<RecordingRows> rows_;
  // Rows found by a scan wait for the list's first paint: the window shows, then fills in.
  std::unique_ptr<FirstPaintGate> firstPaint_;
  // Shows the last row, kShowNewRowDelayMs after a new one (restarted by each).
  std::unique_ptr<QTimer> showNewRow_;
  std::map<int, RecordingItem> recordingItems_;
  int nextItemId_ = 0;
  bool scanDone_ = false;
  int durationsPending_ = 0;
  std::atomic<bool> stopping_{false};
  // Last: joined before the rest goes.
  std::unique_ptr<WorkQueue> files_;
  std::unique_ptr<RecordingDurations> durations_;
};

}  // namespace zav
