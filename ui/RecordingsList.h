#pragma once
// The recordings list: the start-up scan of the output folder (on a worker of its own; rows
// reach the window in batches so it keeps answering), a row for each finished recording
// (scrolled to and selected), and the row buttons: play, show in the file manager, delete.
// UI thread only.

#include <QString>

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace zav {

class DesktopShell;
struct RecordingFile;
class RecordingRows;
struct TNotifyUI;
class WindowImplBase;
class WorkQueue;

class RecordingsList {
 public:
  // The window's timer that shows a new row once the list has laid it out.
  static constexpr int kShowNewRowTimerId = 1001;
  static constexpr int kShowNewRowDelayMs = 50;

  RecordingsList(WindowImplBase* window, WorkQueue* disk, DesktopShell* shell);
  ~RecordingsList();  // ends a scan still running

  // Lists the recordings of the output folder, in name order. Runs once.
  void StartScan();
  // Lists a finished recording as the new last row and, shortly after, shows and selects it.
  void AddRecording(const std::string& folder, const std::string& fileName);
  bool Handle(const TNotifyUI& msg);
  void OnShowNewRowTimer();

  // For tests and benchmarks.
  int RowCount() const;
  bool ScanDone() const { return scanDone_; }
  RecordingRows& rows() { return *rows_; }

 private:
  struct RecordingItem {
    QString fileName;
    QString folder;
    QString fullPath;
    int64_t fileSize = 0;
  };

  void AddRows(const std::vector<RecordingFile>& files);
  const RecordingItem* Find(intptr_t tag) const;
  void Delete(int id);
  void OnDeleted(int id, bool removed);

  WindowImplBase* window_;
  WorkQueue* disk_;
  DesktopShell* shell_;
  std::unique_ptr<RecordingRows> rows_;
  std::map<int, RecordingItem> recordingItems_;
  int nextItemId_ = 0;
  bool scanDone_ = false;
  std::atomic<bool> stopping_{false};
  std::unique_ptr<WorkQueue> files_;  // last: joined before the rest goes
};

}  // namespace zav
