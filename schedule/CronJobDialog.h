#pragma once
// CronJobDialog ("定时任务"): the list of scheduled jobs, one row of
// "CronJobListContainerElement.xml" per job, named "item-<id>" and tagged with the id. New jobs
// arrive from NewCronJobDialog as kNewCronJobMessage. The job file is read and written on a
// worker thread, one operation at a time in the order asked; rows change on the window's
// thread when an operation has finished. Deletes itself when its window is destroyed.

#include <QThreadPool>

#include "CronJobStore.h"
#include "JobTime.h"
#include "dui/WindowImplBase.h"

class QListWidget;

namespace zav {

class CronJobDialog : public WindowImplBase {
  Q_OBJECT

 public:
  // jobFilePath: the job file (DefaultJobFilePath() in the program).
  explicit CronJobDialog(std::string jobFilePath = DefaultJobFilePath());
  ~CronJobDialog() override;

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

  // work(store_) on the store's thread, then done(result) on this window's thread.
  template <typename Work, typename Done>
  void RunOnStore(Work work, Done done);

  void AppendRows(const std::vector<Row>& rows);
  void DeleteRow(int index);

  QListWidget* list_ = nullptr;
  CronJobStore store_;        // used on storeThread_ only
  QThreadPool storeThread_;   // one thread; declared after store_ so it ends first
};

// What the main window's "cron-job-btn" runs: the job list, modal over owner.
void ShowCronJobDialog(QWidget* owner);

}  // namespace zav
