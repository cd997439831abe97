#include "CronJobDialog.h"

#include <glog/logging.h>

#include <QCoreApplication>
#include <QListWidget>

#include <cstdio>
#include <memory>

#include "Autostart.h"
#include "JobRows.h"
#include "JobRunner.h"
#include "NewCronJobDialog.h"
#include "dui/DialogPattern.h"
#include "dui/ListKeys.h"
#include "dui/MessageBoxDialog.h"
#include "dui/Texts.h"
#include "dui/PromptBoxDialog.h"
#include "dui/WorkQueue.h"

namespace zav {
namespace {

void ReportWriteFailure(QWidget* window, const char* what, const QString& text) {
  std::fputs("open file error\n", stdout);
  std::fflush(stdout);
  LOG(ERROR) << "job file: " << what << " failed";
  PromptBoxDialog::Show(window, text);
}

}  // namespace

CronJobDialog::CronJobDialog(WorkQueue& disk, JobRunner* runner, std::string jobFilePath)
    : disk_(disk), runner_(runner), store_(std::make_shared<StoreOnWorker>(StoreOnWorker{std::move(jobFilePath), std::nullopt})) {}

CronJobDialog::~CronJobDialog() = default;

CronJobStore& CronJobDialog::StoreOnWorker::Get() {
  if (!store) store.emplace(path.empty() ? DefaultJobFilePath() : path);
  return *store;
}

template <typename Work, typename Done>
void CronJobDialog::RunOnStore(Work work, Done done) {
  disk_.Run(this, [store = store_, work] { return work(store->Get()); }, std::move(done));
}

void CronJobDialog::InitWindow() {
  auto* list = FindControl<QListWidget>(QStringLiteral("cron-job-list"));
  rows_ = std::make_unique<JobRows>(list, this);
  if (list) new ListKeys(list, {{}, [this](int row) { Remove(row); }, {}});
  if (runner_) connect(runner_, &JobRunner::StatesChanged, this, &CronJobDialog::FollowRunner);
  Load();
}

void CronJobDialog::Notify(TNotifyUI& msg) {
  if (msg.type == kNotifyClick && msg.sender) {
    const QString name = msg.sender->objectName();
    if (name == QLatin1String("new-cron-job-btn")) {
      NewJob();
    } else if (name == QLatin1String("clear-cron-job-btn")) {
      Clear();
    } else if (name == QLatin1String("cron-job-remove")) {
      Remove(rows_->RowOf(msg.sender));
    }
  } else if (msg.type == kNotifySelectChanged && msg.sender &&
             msg.sender->objectName() == QLatin1String("cron-job-record")) {
    SetRecord(rows_->RowOf(msg.sender), msg.wParam == 1);
  }
  WindowImplBase::Notify(msg);
}

intptr_t CronJobDialog::HandleCustomMessage(unsigned message, uintptr_t wParam, intptr_t lParam, bool& handled) {
  if (message != kNewCronJobMessage) return WindowImplBase::HandleCustomMessage(message, wParam, lParam, handled);
  handled = true;
  const std::unique_ptr<CronJob> job(reinterpret_cast<CronJob*>(wParam));
  if (job) AddJob(*job);
  return 0;
}

void CronJobDialog::OnFinalMessage() { delete this; }

int CronJobDialog::RowCount() const { return rows_ ? rows_->Count() : 0; }

// The file is read and parsed, and the states worked out, on the worker: a file of 100,000
// jobs takes a few hundred milliseconds there, during which the window goes on answering.
void CronJobDialog::Load() {
  RunOnStore(
      [now = Now()](CronJobStore& store) {
        std::vector<JobRows::Row> rows;
        std::vector<StoredJob> jobs = store.Load();
        rows.reserve(jobs.size());
        for (StoredJob& stored : jobs) {
          const JobState state = StateOfJob(stored.job, now);
          rows.push_back({std::move(stored), state});
        }
        return rows;
      },
      [this](std::vector<JobRows::Row>& rows) {
        if (runner_) {
          for (JobRows::Row& row : rows) row.state = runner_->KnownState(row.stored).value_or(row.state);
        }
        rows_->Append(std::move(rows));
      });
}

int64_t CronJobDialog::Now() const { return runner_ ? runner_->Now() : NowSeconds(); }

void CronJobDialog::FollowRunner() {
  const int64_t now = Now();
  for (int index = 0; index < rows_->Count(); ++index) {
    const JobRows::Row& shown = rows_->At(index);
    const JobState state = runner_->KnownState(shown.stored).value_or(StateOfJob(shown.stored.job, now));
    if (state == shown.state) continue;
    JobRows::Row row = shown;
    row.state = state;
    rows_->Update(index, std::move(row));
  }
}

void CronJobDialog::SetRecord(int index, bool record) {
  if (index < 0 || index >= rows_->Count() || rows_->Removing(index)) return;
  const StoredJob stored = rows_->At(index).stored;
  const size_t position = rows_->FilePosition(index);
  const uint64_t key = rows_->KeyAt(index);
  RunOnStore([stored, position, record](CronJobStore& store) { return store.SetRecord(stored, position, record); },
             [this, key, record](bool written) {
               const int row = rows_->IndexOf(key);
               if (row < 0) return;
               JobRows::Row shown = rows_->At(row);
               if (written) shown.stored.job.record = record;
               shown.state = StateOfJob(shown.stored.job, Now());
               if (runner_) shown.state = runner_->KnownState(shown.stored).value_or(shown.state);
               // A box the file did not follow goes back to what the file says.
               rows_->Update(row, std::move(shown));
               if (!written) {
                 ReportWriteFailure(this, "switch recording", kJobNotSavedText);
               } else if (record) {
                 OfferAutostart();
               }
             });
}

void CronJobDialog::OfferAutostart() {
  disk_.Run(this, [] { return AutostartEnabled(); }, [this](bool enabled) {
    if (enabled || MessageBoxDialog::Ask(this, kOfferAutostartText) != 1) return;
    const std::string program = QCoreApplication::applicationFilePath().toStdString();
    disk_.Run(this, [program] { return SetAutostart(true, program); }, [this](bool set) {
      if (!set) PromptBoxDialog::Show(this, kAutostartNotSetText);
    });
  });
}

void CronJobDialog::AddJob(const CronJob& job) {
  RunOnStore([job](CronJobStore& store) { return store.Add(job); },
             [this, job](const CronJobStore::Added& added) {
               if (!added.written) {
                 ReportWriteFailure(this, "add", kJobNotSavedText);
                 return;
               }
               // Worked out like a loaded job's, so a start already past shows as expired at once.
               rows_->Append({{{added.cronJobId, job}, StateOfJob(job, Now())}});
               if (job.record) OfferAutostart();
             });
}

// The row is known by its place in the list, which is the job's place in the file: numbers may
// repeat in a hand-edited file.
void CronJobDialog::Remove(int index) {
  if (index < 0 || index >= rows_->Count() || rows_->Removing(index)) return;
  const StoredJob stored = rows_->At(index).stored;
  const size_t position = rows_->FilePosition(index);
  const uint64_t key = rows_->KeyAt(index);
  // One removal per row: a second click before the first has finished would remove another job.
  rows_->SetRemoving(index, true);
  RunOnStore([stored, position](CronJobStore& store) { return store.Remove(stored, position); },
             [this, key](bool removed) {
               const int row = rows_->IndexOf(key);  // gone when the list was cleared meanwhile
               if (!removed) {
                 // The job is still in the file, so its row stays.
                 if (row >= 0) rows_->SetRemoving(row, false);
                 ReportWriteFailure(this, "remove", kJobNotRemovedText);
                 return;
               }
               if (row < 0) return;
               // The keyboard stays in the list, on the row that takes the removed one's place.
               auto* list = FindControl<QListWidget>(QStringLiteral("cron-job-list"));
               const bool hadFocus = list && ListKeys::HasFocusWithin(list);
               rows_->RemoveAt(row);
               if (list) ListKeys::KeepFocusAfterRemoval(list, row, hadFocus);
             });
}

void CronJobDialog::Clear() {
  RunOnStore([](CronJobStore& store) { return store.Clear(); },
             [this](bool cleared) {
               if (!cleared) {
                 ReportWriteFailure(this, "clear", kJobsNotClearedText);
                 return;
               }
               rows_->Clear();
             });
}

void CronJobDialog::NewJob() {
  ShowDialog(new NewCronJobDialog(this), this, QStringLiteral(QT_TRANSLATE_NOOP("Zav", "新建定时任务")));
}

void ShowCronJobDialog(QWidget* owner, WorkQueue& disk, JobRunner* runner) {
  ShowDialog(new CronJobDialog(disk, runner), owner, QStringLiteral(QT_TRANSLATE_NOOP("Zav", "定时任务")));
}

}  // namespace zav
