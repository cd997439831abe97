#pragma once
// CronJobDialog ("定时任务"): the list of scheduled jobs (JobRows: one row per job, in file
// order, built only while in view). New jobs arrive from NewCronJobDialog as
// kNewCronJobMessage. A row's "cron-job-record" box switches whether its job records; the
// states of jobs that record follow the job runner (进行中 while recording, 已完成 after). A
// job added to record while the program does not start with the desktop offers to. The job file is read and written on the settings worker, one operation
// at a time in the order asked; rows change on the window's thread when an operation has
// finished, and a job file that cannot be written is reported in a prompt box. Closing the
// dialog waits for none of it: operations still queued finish on the worker. Delete on the
// list removes the current row's job, as its button does. Deletes itself when its window is
// destroyed.

#include <memory>
#include <optional>

#include "CronJobStore.h"
#include "JobTime.h"
#include "dui/WindowImplBase.h"

namespace zav {

class JobRows;
class JobRunner;
class WorkQueue;

inline const QString kJobNotSavedText = QStringLiteral(QT_TRANSLATE_NOOP("Zav", "定时任务保存失败!"));
inline const QString kJobNotRemovedText = QStringLiteral(QT_TRANSLATE_NOOP("Zav", "定时任务删除失败!"));
inline const QString kJobsNotClearedText = QStringLiteral(QT_TRANSLATE_NOOP("Zav", "定时任务清空失败!"));
inline const QString kOfferAutostartText =
    QStringLiteral(QT_TRANSLATE_NOOP("Zav", "定时录音只在本程序运行时进行,是否开机自动启动本程序?"));
inline const QString kAutostartNotSetText = QStringLiteral(QT_TRANSLATE_NOOP("Zav", "开机自动启动设置失败!"));

class CronJobDialog : public WindowImplBase {
  Q_OBJECT

 public:
  // disk: the settings worker, which outlives the dialog. runner: the jobs that record (may be
  // null: then no job is shown recording). jobFilePath: the job file; empty for
  // DefaultJobFilePath(), worked out on the worker (it creates the Data folder).
  explicit CronJobDialog(WorkQueue& disk, JobRunner* runner = nullptr, std::string jobFilePath = {});
  ~CronJobDialog() override;

  // Rows listed so far (for tests and benchmarks).
  int RowCount() const;

 protected:
  QString GetWindowClassName() const override { return QStringLiteral("定时任务"); }
  QString GetSkinFile() override { return QStringLiteral("CronJobDialog.xml"); }
  void InitWindow() override;
  void Notify(TNotifyUI& msg) override;
  intptr_t HandleCustomMessage(unsigned message, uintptr_t wParam, intptr_t lParam, bool& handled) override;
  void OnFinalMessage() override;

 private:
  void Load();
  void AddJob(const CronJob& job);
  void Remove(int index);
  void Clear();
  void NewJob();
  void SetRecord(int index, bool record);
  // The states the runner knows better than the file.
  void FollowRunner();
  void OfferAutostart();
  // The time the states are worked out for: the runner's.
  int64_t Now() const;

  // The store, made and used on the worker only.
  struct StoreOnWorker {
    std::string path;
    std::optional<CronJobStore> store;
    CronJobStore& Get();
  };

  // work(store) on the worker, then done(result) on this window's thread if it still exists.
  template <typename Work, typename Done>
  void RunOnStore(Work work, Done done);

  WorkQueue& disk_;
  JobRunner* runner_;
  // Shared with the jobs still queued, which may outlive the dialog.
  const std::shared_ptr<StoreOnWorker> store_;
  std::unique_ptr<JobRows> rows_;
};

// What the main window's "cron-job-btn" runs: the job list, modal over owner.
void ShowCronJobDialog(QWidget* owner, WorkQueue& disk, JobRunner* runner);

}  // namespace zav
