#pragma once
// NewCronJobDialog ("新建定时任务"): a name, a start and an end time, and whether the job
// records ("cron-job-record", on unless the user turns it off). "cron-job-save-btn"
// checks them, shows what is wrong in "error-tips", or hands the job to its owner (the job
// list) as kNewCronJobMessage and closes with 1. It never touches the job file itself.
// Deletes itself when its window is destroyed.

#include "dui/WindowImplBase.h"

class QAbstractButton;
class QLabel;
class QLineEdit;

namespace zav {

inline const QString kEmptyJobNameText = QStringLiteral(QT_TRANSLATE_NOOP("Zav", "任务名称不能为空!"));
inline const QString kBadJobTimesText = QStringLiteral(QT_TRANSLATE_NOOP("Zav", "请输入正确的开始/结束时间!"));

class NewCronJobDialog : public WindowImplBase {
  Q_OBJECT

 public:
  // owner receives the new job; it must outlive this dialog.
  explicit NewCronJobDialog(WindowImplBase* owner) : owner_(owner) {}

 protected:
  QString GetWindowClassName() const override { return QStringLiteral("新建定时任务"); }
  QString GetSkinFile() override { return QStringLiteral("NewCronJobDialog.xml"); }
  void InitWindow() override;
  void Notify(TNotifyUI& msg) override;
  void OnFinalMessage() override;

 private:
  void Save();

  WindowImplBase* owner_;
  QLineEdit* name_ = nullptr;
  QLineEdit* start_ = nullptr;
  QLineEdit* end_ = nullptr;
  QLabel* errorTips_ = nullptr;
  QAbstractButton* record_ = nullptr;
};

}  // namespace zav
