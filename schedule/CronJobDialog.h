#pragma once
// CronJobDialog ("定时任务"): the list of scheduled jobs, one row of
// "CronJobListContainerElement.xml" per job, named "item-<id>" and tagged with the id. New jobs
// arrive from NewCronJobDialog as kNewCronJobMessage. The job file is read and written on the
// settings worker, one operation at a time in the order asked; rows change on the window's
// thread when an operation has finished. Closing the dialog waits for none of it: operations
// still queued finish on the worker. Deletes itself when its window is destroyed.

#include <memory>
#include <optional>

#include "CronJobStore.h"
#include "JobTime.h"
#include "dui/WindowImplBase.h"

class QListWidget;

namespace zav {

class WorkQueue;

class CronJobDialog : public WindowImplBase {
  Q_OBJECT

 public:
  // disk: the settings worker, which outlives the dialog. jobFilePath: the job file; empty for
  // DefaultJobFilePath(), worked out on the worker (it creates the Data folder).
  explicit CronJobDialog(WorkQueue& disk, std::string jobFilePath = {});

 protected:
  QString GetWindowClassName() const override { return QStringLiteral("定时任务"); }
  QString GetSkinFile() override { return QStringLiteral("CronJobDialog.xml"); }
  void InitWindow() override;
  void Notify(TNotifyUI& msg) override;
  intptr_t HandleCustomMessage(unsigned message, uintptr_t wParam, intptr_t lParam, bool& handled) override;
  void OnFinalMessage() override;

 private:
  struct Row {
    StoredJob stored;
    JobState state;
  };

  void Load();
  void AddJob(const CronJob& job);
  void Remove(QWidget* removeButton);
  void Clear();
  void NewJob();

  // The store, made and used on the worker only.
  struct StoreOnWorker {
    std::string path;
    std::optional<CronJobStore> store;
    CronJobStore& Get();
  };

  // work(store) on the worker, then done(result) on this window's thread if it still exists.
  template <typename Work, typename Done>
  void RunOnStore(Work work, Done done);

  void AppendRows(const std::vector<Row>& rows);
  void DeleteRow(int index);

  WorkQueue& disk_;
  // Shared with the jobs still queued, which may outlive the dialog.
  const std::shared_ptr<StoreOnWorker> store_;
  QListWidget* list_ = nullptr;
};

// What the main window's "cron-job-btn" runs: the job list, modal over owner.
void ShowCronJobDialog(QWidget* owner, WorkQueue& disk);

}  // namespace zav
