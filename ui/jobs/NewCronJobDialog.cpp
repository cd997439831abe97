#include "NewCronJobDialog.h"

#include <QAbstractButton>
#include <QLabel>
#include <QLineEdit>

#include <memory>

#include "CronJob.h"
#include "JobTime.h"
#include "dui/Texts.h"

namespace zav {

void NewCronJobDialog::InitWindow() {
  name_ = FindControl<QLineEdit>(QStringLiteral("cron-job-name"));
  start_ = FindControl<QLineEdit>(QStringLiteral("start-time"));
  end_ = FindControl<QLineEdit>(QStringLiteral("end-time"));
  errorTips_ = FindControl<QLabel>(QStringLiteral("error-tips"));
  record_ = FindControl<QAbstractButton>(QStringLiteral("cron-job-record"));
}

void NewCronJobDialog::Notify(TNotifyUI& msg) {
  if (msg.type == kNotifyClick && msg.sender && msg.sender->objectName() == QLatin1String("cron-job-save-btn")) {
    Save();
  }
  WindowImplBase::Notify(msg);
}

void NewCronJobDialog::OnFinalMessage() { delete this; }

void NewCronJobDialog::Save() {
  if (!name_ || !start_ || !end_ || !errorTips_) return;
  // QString::trimmed uses Unicode's white space, the ideographic space included.
  const QString name = name_->text().trimmed();
  if (name.isEmpty()) {
    errorTips_->setText(Tr(kEmptyJobNameText));
    return;
  }
  auto job = std::make_unique<CronJob>();
  job->cronJobName = name.toStdString();
  job->starttime = start_->text().toStdString();
  job->endtime = end_->text().toStdString();
  job->record = !record_ || record_->isChecked();
  // Texts too short to hold every field (an empty one, say) are refused like a wrong order.
  if (!IsValidJobPeriod(job->starttime, job->endtime)) {
    errorTips_->setText(Tr(kBadJobTimesText));
    return;
  }
  owner_->PostMessage(kNewCronJobMessage, reinterpret_cast<uintptr_t>(job.release()), 0);
  Close(1);
}

}  // namespace zav
