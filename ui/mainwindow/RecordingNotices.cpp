#include "RecordingNotices.h"

#include <optional>

#include "ConfigStore.h"
#include "DesktopShell.h"
#include "StoredChoices.h"
#include "dui/PromptBoxDialog.h"
#include "dui/Texts.h"
#include "dui/WindowImplBase.h"
#include "dui/WorkQueue.h"
#include "jobs/JobRecorder.h"
#include "tray/DesktopNotifications.h"

namespace zav {
namespace {

const QString kStartedSummary = QStringLiteral(QT_TRANSLATE_NOOP("Zav", "开始录音"));
const QString kJobStartedText = QStringLiteral(QT_TRANSLATE_NOOP("Zav", "定时任务“%1”开始录音,到 %2 结束"));
const QString kJobLateText =
    QStringLiteral(QT_TRANSLATE_NOOP("Zav", "定时任务“%1”已过开始时间,现在录制余下的部分,到 %2 结束"));
const QString kSavedSummary = QStringLiteral(QT_TRANSLATE_NOOP("Zav", "录音已保存"));
const QString kShowInFolder = QStringLiteral(QT_TRANSLATE_NOOP("Zav", "在文件夹中显示"));
const QString kFailedSummary = QStringLiteral(QT_TRANSLATE_NOOP("Zav", "录音出错"));

QString FileNameOf(const std::string& path) {
  return QString::fromStdString(path.substr(path.rfind('/') + 1));
}

}  // namespace

RecordingNotices::RecordingNotices(WindowImplBase* window, WorkQueue* disk, DesktopShell* shell,
                                   DesktopNotifications* desktop)
    : window_(window), disk_(disk), shell_(shell), desktop_(desktop) {}

bool RecordingNotices::WindowShown() const { return window_->isVisible() && !window_->isMinimized(); }

void RecordingNotices::Started(const std::string& path, const JobRecording* job) {
  startedNote_ = 0;
  const bool late = job && job->late;
  if (WindowShown() && !late) return;
  QString body = FileNameOf(path);
  if (job) body = Tr(late ? kJobLateText : kJobStartedText).arg(job->jobName, job->jobEnd) + QLatin1Char('\n') + body;
  Notify(Kind::kStarted, Tr(kStartedSummary), body);
}

void RecordingNotices::Saved(const std::string& path) {
  if (WindowShown()) {
    startedNote_ = 0;
    return;
  }
  Notify(Kind::kSaved, Tr(kSavedSummary), QString::fromStdString(path), path);
}

void RecordingNotices::Failed(const Prompt& prompt) {
  startedNote_ = 0;
  if (WindowShown() || !desktop_) {
    PromptBoxDialog::Show(window_, prompt.text, prompt.width, prompt.height);
    return;
  }
  Notify(Kind::kFailure, Tr(kFailedSummary), Tr(prompt.text), {}, &prompt);
}

void RecordingNotices::Notify(Kind kind, QString summary, QString body, const std::string& path,
                              const Prompt* fallback) {
  if (!desktop_) return;
  DesktopNotifications::Note note;
  note.summary = std::move(summary);
  note.body = std::move(body);
  note.urgent = kind == Kind::kFailure;
  if (kind == Kind::kSaved) {
    note.actionLabel = Tr(kShowInFolder);
    note.onAction = [shell = shell_, file = LocalFileUrl(path)] { shell->ShowInFileManager(file); };
  }
  std::optional<Prompt> unshown;
  if (fallback) unshown = *fallback;
  auto show = [this, kind, note = std::move(note), unshown]() mutable {
    if (kind == Kind::kSaved) {
      note.replaces = startedNote_;
      startedNote_ = 0;
    }
    desktop_->Show(
        std::move(note),
        [this, kind](uint32_t id) {
          if (kind == Kind::kStarted) startedNote_ = id;
        },
        [this, unshown] {
          if (unshown) PromptBoxDialog::Show(window_, unshown->text, unshown->width, unshown->height);
        });
  };
  if (kind == Kind::kFailure) {
    show();
    return;
  }
  disk_->Run(
      window_, [] { return ConfigStore::Instance().ReadInt(kGlobalSection, keys::kNotifications, 1) != 0; },
      [show = std::move(show)](bool on) mutable {
        if (on) show();
      });
}

}  // namespace zav
