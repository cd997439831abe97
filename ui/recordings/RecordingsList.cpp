#include "RecordingsList.h"

#include <glog/logging.h>

#include <QListWidget>
#include <QMenu>
#include <QPointer>
#include <QTimer>
#include <QUrl>

#include <cerrno>
#include <chrono>
#include <cstring>

#include <unistd.h>

#include "RecordingDurations.h"
#include "RecordingFiles.h"
#include "RecordingRows.h"
#include "TextUtil.h"
#include "UserFolders.h"
#include "dui/ControlTag.h"
#include "dui/FirstPaintGate.h"
#include "dui/ListKeys.h"
#include "dui/Texts.h"
#include "dui/MessageBoxDialog.h"
#include "dui/Notify.h"
#include "dui/PromptBoxDialog.h"
#include "dui/WindowImplBase.h"
#include "dui/WorkQueue.h"
#include "mainwindow/DesktopShell.h"
#include "mainwindow/ElapsedTime.h"

namespace zav {
namespace {

// The scan hands rows over in batches: few enough tasks for a quick list, small enough that
// the window answers between them.
constexpr size_t kScanBatchRows = 32;
constexpr auto kScanBatchTime = std::chrono::milliseconds(50);

QWidget* ListViewport(WindowImplBase* window) {
  auto* list = window->FindControl<QListWidget>(QStringLiteral("audio-record-list"));
  return list ? list->viewport() : nullptr;
}

}  // namespace

RecordingsList::RecordingsList(WindowImplBase* window, WorkQueue* disk, DesktopShell* shell)
    : window_(window),
      disk_(disk),
      shell_(shell),
      rows_(std::make_unique<RecordingRows>(window->FindControl<QListWidget>(QStringLiteral("audio-record-list")), window)),
      firstPaint_(std::make_unique<FirstPaintGate>(ListViewport(window))),
      showNewRow_(std::make_unique<QTimer>()),
      files_(std::make_unique<WorkQueue>("zav-list")),
      durations_(std::make_unique<RecordingDurations>([this](int id, double seconds) {
        window_->PostTask([this, id, seconds] { OnDuration(id, seconds); });
      })) {
  showNewRow_->setSingleShot(true);
  showNewRow_->setInterval(kShowNewRowDelayMs);
  QObject::connect(showNewRow_.get(), &QTimer::timeout, [this] { rows_->ShowLast(); });
  if (auto* list = window->FindControl<QListWidget>(QStringLiteral("audio-record-list"))) {
    new ListKeys(list, {[this](int row) { Play(rows_->IdAt(row)); },
                        [this](int row) { Delete(rows_->IdAt(row)); },
                        [this](int row, QPoint at) { OfferRowMenu(rows_->IdAt(row), at); }});
  }
}

RecordingsList::~RecordingsList() {
  stopping_ = true;
  durations_.reset();  // a duration being read stops at once
  files_->Stop(WorkQueue::Pending::kDrop);
}

int RecordingsList::RowCount() const { return rows_->Count(); }

void RecordingsList::StartScan() {
  files_->Post([this] {
    const std::string folder = GetOutputFolder();
    std::vector<RecordingFile> batch;
    auto handOver = [this, &batch] {
      if (batch.empty()) return;
      window_->PostTask([this, files = std::move(batch)] {
        firstPaint_->Run([this, files] { AddRows(files); });
      });
      batch.clear();
    };
    auto batchStart = std::chrono::steady_clock::now();
    for (const std::string& name : ListRecordingFiles(folder)) {
      if (stopping_) return;
      batch.push_back(DescribeRecording(folder, name));
      if (batch.size() >= kScanBatchRows || std::chrono::steady_clock::now() - batchStart >= kScanBatchTime) {
        handOver();
        batchStart = std::chrono::steady_clock::now();
      }
    }
    handOver();
    window_->PostTask([this] {
      firstPaint_->Run([this] {
        scanDone_ = true;
        LOG(INFO) << "recordings listed: " << RowCount();
      });
    });
  });
}

void RecordingsList::AddRecording(const std::string& folder, const std::string& fileName) {
  files_->Post([this, folder, fileName] {
    RecordingFile file = DescribeRecording(folder, fileName);
    window_->PostTask([this, file = std::move(file)] {
      firstPaint_->Run([this, file] {
        AddRows({file});
        showNewRow_->start();
      });
    });
  });
}

void RecordingsList::AddRows(const std::vector<RecordingFile>& files) {
  std::vector<RecordingRows::Row> rows;
  rows.reserve(files.size());
  for (const RecordingFile& file : files) {
    const int id = nextItemId_++;
    rows.push_back({id, QString::fromStdString(ReadableFileName(file.fileName)),
                    QString::fromStdString(FormatFileSize(file.size)), QString()});
    recordingItems_.emplace(id, RecordingItem{file.fileName, file.folder, file.fullPath, file.size});
  }
  rows_->Append(rows);
  for (size_t i = 0; i < files.size(); ++i) {
    ++durationsPending_;
    durations_->Read(rows[i].id, files[i].fullPath);
  }
}

void RecordingsList::OnDuration(int id, double seconds) {
  --durationsPending_;
  const auto it = recordingItems_.find(id);
  if (it == recordingItems_.end()) return;  // deleted meanwhile
  it->second.durationRead = true;
  rows_->SetDuration(id, FormatDurationText(seconds));
}

bool RecordingsList::DurationRead(int id) const {
  const auto it = recordingItems_.find(id);
  return it != recordingItems_.end() && it->second.durationRead;
}

const RecordingsList::RecordingItem* RecordingsList::Find(intptr_t tag) const {
  const auto it = recordingItems_.find(static_cast<int>(tag));
  return it == recordingItems_.end() ? nullptr : &it->second;
}

bool RecordingsList::Handle(const TNotifyUI& msg) {
  if (msg.type != kNotifyClick || !msg.sender) return false;
  const QString name = msg.sender->objectName();
  const bool play = name == QLatin1String("item-play");
  const bool show = name == QLatin1String("item-open-dir");
  const bool remove = name == QLatin1String("item-delete");
  if (!play && !show && !remove) return false;
  const int id = static_cast<int>(GetTag(msg.sender));
  if (play) {
    Play(id);
  } else if (show) {
    ShowInFileManager(id);
  } else {
    Delete(id);
  }
  return true;
}

void RecordingsList::Play(int id) {
  if (const RecordingItem* item = Find(id)) shell_->Open(LocalFileUrl(item->fullPath));
}

void RecordingsList::ShowInFileManager(int id) {
  if (const RecordingItem* item = Find(id)) shell_->ShowInFileManager(LocalFileUrl(item->fullPath));
}

// The menu says what the row's buttons say, so it reads as the row does.
void RecordingsList::OfferRowMenu(int id, const QPoint& globalPos) {
  if (!Find(id)) return;
  const QPointer<WindowImplBase> window(window_);  // the window (and this list) may go while the menu is open
  QMenu menu;
  QAction* play = menu.addAction(rows_->ButtonText(QStringLiteral("item-play")));
  QAction* show = menu.addAction(rows_->ButtonText(QStringLiteral("item-open-dir")));
  QAction* remove = menu.addAction(rows_->ButtonText(QStringLiteral("item-delete")));
  const QAction* chosen = menu.exec(globalPos);
  if (!window) return;
  if (chosen == play) {
    Play(id);
  } else if (chosen == show) {
    ShowInFileManager(id);
  } else if (chosen == remove) {
    Delete(id);
  }
}

void RecordingsList::Delete(int id) {
  const RecordingItem* asked = Find(id);
  if (!asked) return;
  // The question names the file, so that a keyboard or screen-reader user knows which one goes.
  const QString question = Tr(QStringLiteral(QT_TRANSLATE_NOOP("Zav", "确定要删除文件“%1”吗?")))
                               .arg(QString::fromStdString(ReadableFileName(asked->fileName)));
  if (!MessageBoxDialog::Ask(window_, question)) return;
  const RecordingItem* item = Find(id);  // the row may have gone while the box was open
  if (!item) return;
  disk_->Post([this, id, path = item->fullPath] {
    DeleteResult result = DeleteResult::kDeleted;
    if (::unlink(path.c_str()) != 0) {
      result = errno == ENOENT ? DeleteResult::kAlreadyGone : DeleteResult::kFailed;
      PLOG(ERROR) << "MainWnd: cannot delete " << ReadableFileName(path);
    }
    window_->PostTask([this, id, result] { OnDeleted(id, result); });
  });
}

void RecordingsList::OnDeleted(int id, DeleteResult result) {
  if (result == DeleteResult::kFailed) {
    PromptBoxDialog::Show(window_, QStringLiteral(QT_TRANSLATE_NOOP("Zav", "文件删除失败!")));
    return;
  }
  // A file that was already gone (deleted or moved by someone else) leaves nothing to keep a
  // row for, but nothing was deleted here either: the user is told. The keyboard stays in the
  // list, on the next row.
  QListWidget* list = rows_->list();
  const bool hadFocus = list && ListKeys::HasFocusWithin(list);
  const int place = rows_->ListRowOf(id);
  rows_->Remove(id);
  if (list && place >= 0) ListKeys::KeepFocusAfterRemoval(list, place, hadFocus);
  recordingItems_.erase(id);
  if (result == DeleteResult::kAlreadyGone) PromptBoxDialog::Show(window_, QStringLiteral(QT_TRANSLATE_NOOP("Zav", "文件已不存在!")));
}

}  // namespace zav
