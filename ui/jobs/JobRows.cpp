#include "JobRows.h"

#include <glog/logging.h>

#include <QCheckBox>
#include <QEvent>
#include <QLabel>
#include <QSignalBlocker>
#include <QListWidget>
#include <QScrollBar>
#include <QTimer>

#include <algorithm>

#include "dui/ControlTag.h"
#include "dui/CurrentRowTabChain.h"
#include "dui/RowListAccessibility.h"
#include "dui/RowsInView.h"
#include "dui/DialogBuilder.h"
#include "dui/SkinLoader.h"
#include "dui/WindowImplBase.h"
#include "dui/Texts.h"

namespace zav {

// The job store's state texts, for translation where they are shown.
[[maybe_unused]] constexpr const char* kJobStateTexts[] = {
    QT_TRANSLATE_NOOP("Zav", "未开始"), QT_TRANSLATE_NOOP("Zav", "已完成"), QT_TRANSLATE_NOOP("Zav", "已失效"),
    QT_TRANSLATE_NOOP("Zav", "进行中")};
namespace {

const QString kRowTemplate = QStringLiteral("CronJobListContainerElement.xml");
// Items added per turn of the event loop: about 5 ms of work, so input and signals are handled
// in between while a list of 100,000 jobs fills.
constexpr int kItemsPerBatch = 10'000;
// More items than this are added with no row built (see AddItems).
constexpr int kItemsAddedAmongRows = 8;
constexpr int kFallbackRowHeight = 48;

// Job texts come from a file anyone can edit: shown as they are, never as rich text.
void SetLabel(QWidget* row, const QString& name, const QString& text) {
  if (auto* label = qobject_cast<QLabel*>(FindSubControl(row, name))) {
    label->setTextFormat(Qt::PlainText);
    label->setText(text);
  }
}

// The state as the row shows it and a screen reader reads it.
QString ShownState(JobState state) { return Tr(std::string_view(JobStateText(state))); }

// An item that asks its rows for its text when a screen reader reads it, so that a list of
// 100,000 jobs keeps no second copy of their texts.
class JobItem final : public QListWidgetItem {
 public:
  JobItem(QListWidget* list, const JobRows& rows) : QListWidgetItem(list), rows_(rows) {}
  QVariant data(int role) const override {
    if (role != Qt::AccessibleTextRole) return QListWidgetItem::data(role);
    const int index = listWidget() ? listWidget()->row(this) : -1;
    return index >= 0 && index < rows_.Count() ? rows_.AccessibleTextAt(index) : QString();
  }

 private:
  const JobRows& rows_;
};

}  // namespace

JobRows::JobRows(QListWidget* list, WindowImplBase* window)
    : list_(list), window_(window), template_(std::make_unique<SkinTemplate>(kRowTemplate, window)) {
  if (!template_->ok()) LOG(ERROR) << "job list: " << template_->error().toStdString();
  rowHeight_ = SampleRowHeight(*template_, kFallbackRowHeight);
  if (!list_) return;
  tabChain_ = new CurrentRowTabChain(list_);
  ExposeRowList(list_);
  list_->setUniformItemSizes(true);
  connect(list_->verticalScrollBar(), &QScrollBar::valueChanged, this, &JobRows::BuildRowsInView);
  connect(list_->verticalScrollBar(), &QScrollBar::rangeChanged, this, &JobRows::BuildRowsInView);
  list_->viewport()->installEventFilter(this);
}

// The items ask these rows for their texts: they go first.
JobRows::~JobRows() {
  if (list_) list_->clear();
}

void JobRows::Append(std::vector<Row> rows) {
  entries_.reserve(entries_.size() + rows.size());
  for (Row& row : rows) entries_.push_back({std::move(row), nextKey_++, false});
  if (!addingItems_) AddItems();  // else the batch that is due takes them too
}

// Adds the items of the next batch of rows and, while rows without an item are left, asks for
// the next batch after the events that have come in meanwhile. Rows are built once every item
// is in: an item added to a list that holds row widgets makes it lay out every item again at
// once, which turns filling a long list into minutes.
void JobRows::AddItems() {
  if (!list_) return;
  addingItems_ = true;
  const int first = list_->count();
  const int end = std::min(Count(), first + kItemsPerBatch);
  if (end - first > kItemsAddedAmongRows) DropBuiltWidgets();
  for (int index = first; index < end; ++index) {
    auto* item = new JobItem(list_, *this);
    item->setSizeHint(QSize(0, rowHeight_));
  }
  if (end < Count()) {
    QTimer::singleShot(0, this, [this] {
      if (addingItems_) AddItems();  // not when the rows were cleared meanwhile
    });
    return;
  }
  addingItems_ = false;
  BuildRowsInView();
}

void JobRows::DropBuiltWidgets() {
  for (int index : built_) list_->removeItemWidget(list_->item(index));
  built_.clear();
}

int JobRows::RowOf(const QWidget* control) const {
  for (const QWidget* widget = control; widget; widget = widget->parentWidget()) {
    for (int index : built_) {
      if (BuiltWidget(index) == widget) return index;
    }
  }
  return -1;
}

int JobRows::IndexOf(uint64_t key) const {
  const auto it = std::find_if(entries_.begin(), entries_.end(), [key](const Entry& e) { return e.key == key; });
  return it == entries_.end() ? -1 : static_cast<int>(it - entries_.begin());
}

void JobRows::SetRemoving(int index, bool removing) {
  entries_[static_cast<size_t>(index)].removing = removing;
  if (QWidget* row = BuiltWidget(index)) {
    if (QWidget* button = FindSubControl(row, QStringLiteral("cron-job-remove"))) button->setEnabled(!removing);
  }
}

size_t JobRows::FilePosition(int index) const {
  const auto end = entries_.begin() + index;
  return static_cast<size_t>(index - std::count_if(entries_.begin(), end, [](const Entry& e) { return e.removing; }));
}

void JobRows::RemoveAt(int index) {
  if (list_ && index < list_->count()) {
    // The widget goes at once (the list would only schedule its deletion), so no control of a
    // removed row can be found or clicked afterwards.
    delete BuiltWidget(index);
    delete list_->takeItem(index);
  }
  entries_.erase(entries_.begin() + index);
  std::erase(built_, index);
  for (int& built : built_) {
    if (built > index) --built;
  }
  BuildRowsInView();
}

void JobRows::Clear() {
  addingItems_ = false;
  for (int index : built_) delete BuiltWidget(index);
  built_.clear();
  entries_.clear();
  if (list_) list_->clear();
}

bool JobRows::eventFilter(QObject* watched, QEvent* event) {
  if (list_ && watched == list_->viewport() && event->type() == QEvent::Resize) BuildRowsInView();
  return QObject::eventFilter(watched, event);
}

void JobRows::BuildRowsInView() {
  if (!list_ || list_->count() == 0 || addingItems_) return;
  const RowsInView rows = RowsNearTheView(*list_, rowHeight_);
  std::erase_if(built_, [&](int index) {
    if (rows.Keeps(index)) return false;
    list_->removeItemWidget(list_->item(index));
    return true;
  });
  for (int index = rows.buildFrom; index <= rows.buildTo; ++index) {
    if (std::find(built_.begin(), built_.end(), index) != built_.end()) continue;
    if (QWidget* widget = Build(entries_[static_cast<size_t>(index)])) {
      ExposeRow(list_, list_->item(index), widget);
      list_->setItemWidget(list_->item(index), widget);
      tabChain_->RowBuilt(list_->item(index), widget);
      built_.push_back(index);
    }
  }
}

QWidget* JobRows::Build(const Entry& entry) {
  QWidget* widget = template_->Build();
  if (!widget) return nullptr;
  const int32_t id = entry.row.stored.cronJobId;
  const CronJob& job = entry.row.stored.job;
  widget->setObjectName(QString::asprintf("item-%d", id));
  SetTag(widget, id);
  SetLabel(widget, QStringLiteral("cron-job-name"), QString::fromStdString(job.cronJobName));
  SetLabel(widget, QStringLiteral("starttime"), QString::fromStdString(job.starttime));
  SetLabel(widget, QStringLiteral("endtime"), QString::fromStdString(job.endtime));
  SetLabel(widget, QStringLiteral("status"), ShownState(entry.row.state));
  if (auto* record = qobject_cast<QCheckBox*>(FindSubControl(widget, QStringLiteral("cron-job-record")))) {
    SetTag(record, id);
    record->setChecked(job.record);
    record->setAccessibleDescription(QString::fromStdString(job.cronJobName));
  }
  if (QWidget* button = FindSubControl(widget, QStringLiteral("cron-job-remove"))) {
    SetTag(button, id);
    button->setAccessibleDescription(QString::fromStdString(job.cronJobName));  // which job it removes
    button->setEnabled(!entry.removing);
  }
  window_->BindNotifications(widget);
  return widget;
}

void JobRows::Update(int index, Row row) {
  Entry& entry = entries_[static_cast<size_t>(index)];
  entry.row = std::move(row);
  QWidget* widget = BuiltWidget(index);
  if (!widget) return;
  SetLabel(widget, QStringLiteral("status"), ShownState(entry.row.state));
  if (auto* record = qobject_cast<QCheckBox*>(FindSubControl(widget, QStringLiteral("cron-job-record")))) {
    const QSignalBlocker quiet(record);
    record->setChecked(entry.row.stored.job.record);
  }
}

QString JobRows::AccessibleTextAt(int index) const {
  const Row& row = At(index);
  const CronJob& job = row.stored.job;
  return QStringList{QString::fromStdString(job.cronJobName), QString::fromStdString(job.starttime),
                     QString::fromStdString(job.endtime), ShownState(row.state)}
      .join(QLatin1String(", "));
}

QWidget* JobRows::BuiltWidget(int index) const {
  if (!list_ || std::find(built_.begin(), built_.end(), index) == built_.end()) return nullptr;
  return list_->itemWidget(list_->item(index));
}

}  // namespace zav
