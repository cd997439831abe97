#include "CronJobDialog.h"

#include <glog/logging.h>

#include <QAbstractButton>
#include <QLabel>
#include <QListWidget>
#include <QPointer>

#include <cstdio>
#include <memory>

#include "NewCronJobDialog.h"
#include "dui/ControlTag.h"
#include "dui/DialogBuilder.h"
#include "dui/DialogPattern.h"
#include "dui/WorkQueue.h"

namespace zav {
namespace {

const QString kRowSkin = QStringLiteral("CronJobListContainerElement.xml");

QString RowName(int32_t id) { return QString::asprintf("item-%d", id); }

void ReportWriteFailure(const char* what) {
  std::fputs("open file error\n", stdout);
  std::fflush(stdout);
  LOG(ERROR) << "job file: " << what << " failed";
}

// Job texts come from a file anyone can edit: shown as they are, never as rich text.
void SetLabel(QWidget* row, const QString& name, const std::string& utf8) {
  if (auto* label = qobject_cast<QLabel*>(FindSubControl(row, name))) {
    label->setTextFormat(Qt::PlainText);
    label->setText(QString::fromStdString(utf8));
  }
}

}  // namespace

CronJobDialog::CronJobDialog(WorkQueue& disk, std::string jobFilePath)
    : disk_(disk), store_(std::make_shared<StoreOnWorker>(StoreOnWorker{std::move(jobFilePath), std::nullopt})) {}

CronJobStore& CronJobDialog::StoreOnWorker::Get() {
  if (!store) store.emplace(path.empty() ? DefaultJobFilePath() : path);
  return *store;
}

template <typename Work, typename Done>
void CronJobDialog::RunOnStore(Work work, Done done) {
  disk_.Run(this, [store = store_, work] { return work(store->Get()); }, std::move(done));
}

void CronJobDialog::InitWindow() {
  list_ = FindControl<QListWidget>(QStringLiteral("cron-job-list"));
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
      Remove(msg.sender);
    }
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

void CronJobDialog::Load() {
  RunOnStore(
      [](CronJobStore& store) {
        const int32_t now = NowSeconds();
        std::vector<Row> rows;
        for (StoredJob& stored : store.Load()) {
          const JobState state = WorkOutJobState(stored.job.status, stored.job.starttime, now);
          rows.push_back({std::move(stored), state});
        }
        return rows;
      },
      [this](const std::vector<Row>& rows) { AppendRows(rows); });
}

void CronJobDialog::AddJob(const CronJob& job) {
  RunOnStore([job](CronJobStore& store) { return store.Add(job); },
             [this, job](const CronJobStore::Added& added) {
               if (!added.written) {
                 ReportWriteFailure("add");
                 return;
               }
               // Worked out like a loaded job's, so a start already past shows as expired at once.
               AppendRows({{{added.cronJobId, job}, WorkOutJobState(job.status, job.starttime, NowSeconds())}});
             });
}

void CronJobDialog::Remove(QWidget* removeButton) {
  const auto id = static_cast<int32_t>(GetTag(removeButton));
  // One removal per click: a second click before the first has finished would remove a
  // later job that happens to carry the same number.
  removeButton->setEnabled(false);
  QPointer<QWidget> button(removeButton);
  RunOnStore([id](CronJobStore& store) { return store.Remove(id); },
             [this, id, button](bool removed) {
               if (!removed) {
                 // The job is still in the file, so its row stays.
                 ReportWriteFailure("remove");
                 if (button) button->setEnabled(true);
                 return;
               }
               for (int i = 0; list_ && i < list_->count(); ++i) {
                 QWidget* row = list_->itemWidget(list_->item(i));
                 if (row && row->objectName() == RowName(id)) {
                   DeleteRow(i);
                   break;
                 }
               }
             });
}

void CronJobDialog::Clear() {
  RunOnStore([](CronJobStore& store) { return store.Clear(); },
             [this](bool cleared) {
               if (!cleared) {
                 LOG(ERROR) << "job file: clear failed";
                 return;
               }
               while (list_ && list_->count() > 0) DeleteRow(list_->count() - 1);
             });
}

void CronJobDialog::NewJob() {
  ShowDialog(new NewCronJobDialog(this), this, QStringLiteral("新建定时任务"));
}

void CronJobDialog::AppendRows(const std::vector<Row>& rows) {
  if (!list_) return;
  std::vector<QWidget*> widgets;
  for (const Row& row : rows) {
    CDialogBuilder builder;
    QWidget* widget = builder.Create(kRowSkin, this, this);
    if (!widget) continue;
    const int32_t id = row.stored.cronJobId;
    widget->setObjectName(RowName(id));
    SetTag(widget, id);
    SetLabel(widget, QStringLiteral("cron-job-name"), row.stored.job.cronJobName);
    SetLabel(widget, QStringLiteral("starttime"), row.stored.job.starttime);
    SetLabel(widget, QStringLiteral("endtime"), row.stored.job.endtime);
    SetLabel(widget, QStringLiteral("status"), JobStateText(row.state));
    SetTag(FindSubControl(widget, QStringLiteral("cron-job-remove")), id);
    widgets.push_back(widget);
  }
  // All items first, then their widgets: one widget per new item costs the list a layout of
  // every row each time, which makes thousands of rows take seconds.
  const int first = list_->count();
  for (QWidget* widget : widgets) {
    auto* item = new QListWidgetItem(list_);
    item->setSizeHint(QSize(0, widget->minimumHeight()));
  }
  for (std::size_t i = 0; i < widgets.size(); ++i) list_->setItemWidget(list_->item(first + static_cast<int>(i)), widgets[i]);
}

// The row's widget goes at once (the list would only schedule its deletion), so no control of
// a removed row can be found or clicked afterwards.
void CronJobDialog::DeleteRow(int index) {
  QListWidgetItem* item = list_->item(index);
  delete list_->itemWidget(item);
  delete list_->takeItem(index);
}

void ShowCronJobDialog(QWidget* owner, WorkQueue& disk) {
  ShowDialog(new CronJobDialog(disk), owner, QStringLiteral("定时任务"));
}

}  // namespace zav
