#include "RecordingRows.h"

#include <glog/logging.h>

#include <QAbstractButton>
#include <QEvent>
#include <QLabel>
#include <QListWidget>
#include <QScrollBar>

#include <algorithm>

#include "dui/ControlTag.h"
#include "dui/CurrentRowTabChain.h"
#include "dui/SkinLoader.h"
#include "dui/WindowImplBase.h"

namespace zav {
namespace {

const QString kRowTemplate = QStringLiteral("RecorderListContainerElement.xml");
constexpr int kItemIdRole = Qt::UserRole;
// Rows built beyond the view on each side, so a short scroll shows finished rows.
constexpr int kBuiltMarginRows = 4;
// Rows further out of view than this are dropped again.
constexpr int kKeptMarginRows = 24;
constexpr int kFallbackRowHeight = 58;
const char* const kRowButtons[] = {"item-play", "item-open-dir", "item-delete"};

void SetText(QWidget* row, const char* name, const QString& text) {
  if (auto* label = row->findChild<QLabel*>(QLatin1String(name))) label->setText(text);
}

}  // namespace

RecordingRows::RecordingRows(QListWidget* list, WindowImplBase* window)
    : list_(list), window_(window), template_(std::make_unique<SkinTemplate>(kRowTemplate, window)) {
  if (!template_->ok()) LOG(ERROR) << "MainWnd: " << template_->error().toStdString();
  if (QWidget* sample = template_->Build()) {
    rowHeight_ = std::max(sample->minimumHeight(), sample->sizeHint().height());
    for (const char* name : kRowButtons) {
      if (auto* button = sample->findChild<QAbstractButton*>(QLatin1String(name))) {
        buttonTexts_[button->objectName()] = button->text();
      }
    }
    delete sample;
  }
  if (rowHeight_ <= 0) rowHeight_ = kFallbackRowHeight;
  if (!list_) return;
  tabChain_ = new CurrentRowTabChain(list_);
  list_->setUniformItemSizes(true);
  list_->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
  connect(list_->verticalScrollBar(), &QScrollBar::valueChanged, this, &RecordingRows::BuildRowsInView);
  connect(list_->verticalScrollBar(), &QScrollBar::rangeChanged, this, &RecordingRows::BuildRowsInView);
  list_->viewport()->installEventFilter(this);
}

RecordingRows::~RecordingRows() = default;

int RecordingRows::Count() const { return list_ ? list_->count() : 0; }

void RecordingRows::Append(const std::vector<Row>& rows) {
  if (!list_) return;
  for (const Row& row : rows) {
    auto* item = new QListWidgetItem(list_);
    item->setData(kItemIdRole, row.id);
    item->setData(Qt::AccessibleTextRole, AccessibleText(row));
    item->setSizeHint(QSize(0, rowHeight_));
    entries_[row.id] = Entry{row, item, false};
  }
  BuildRowsInView();
}

bool RecordingRows::Remove(int id) {
  const auto it = entries_.find(id);
  if (it == entries_.end()) return false;
  delete list_->takeItem(list_->row(it->second.item));  // the row widget goes with its item
  entries_.erase(it);
  std::erase(built_, id);
  BuildRowsInView();
  return true;
}

void RecordingRows::SetDuration(int id, const QString& durationText) {
  const auto it = entries_.find(id);
  if (it == entries_.end()) return;
  it->second.row.durationText = durationText;
  it->second.item->setData(Qt::AccessibleTextRole, AccessibleText(it->second.row));
  if (QWidget* row = RowWidget(id)) SetText(row, "durationLabel", durationText);
}

void RecordingRows::ShowLast() {
  if (!list_ || list_->count() == 0) return;
  list_->scrollToBottom();
  list_->setCurrentRow(list_->count() - 1);
}

QWidget* RecordingRows::RowWidget(int id) const {
  const auto it = entries_.find(id);
  return it != entries_.end() && it->second.built ? list_->itemWidget(it->second.item) : nullptr;
}

int RecordingRows::IdAt(int listRow) const {
  const QListWidgetItem* item = list_ ? list_->item(listRow) : nullptr;
  return item ? item->data(kItemIdRole).toInt() : -1;
}

QString RecordingRows::ButtonText(const QString& buttonName) const {
  const auto it = buttonTexts_.find(buttonName);
  return it == buttonTexts_.end() ? QString() : it->second;
}

QString RecordingRows::AccessibleText(const Row& row) {
  QStringList parts{row.fileName, row.sizeText};
  if (!row.durationText.isEmpty()) parts << row.durationText;
  return parts.join(QLatin1String(", "));
}

bool RecordingRows::eventFilter(QObject* watched, QEvent* event) {
  if (list_ && watched == list_->viewport() && event->type() == QEvent::Resize) BuildRowsInView();
  return QObject::eventFilter(watched, event);
}

void RecordingRows::BuildRowsInView() {
  if (!list_ || list_->count() == 0) return;
  // Every row has the same height, so the rows in view follow from the scroll position alone,
  // also before the list has laid its new items out.
  const int top = list_->verticalScrollBar()->value();
  const int firstInView = top / rowHeight_;
  const int lastInView = (top + list_->viewport()->height()) / rowHeight_;
  const int last = list_->count() - 1;
  const int buildFrom = std::max(0, firstInView - kBuiltMarginRows);
  const int buildTo = std::min(last, lastInView + kBuiltMarginRows);

  std::erase_if(built_, [&](int id) {
    Entry& entry = entries_.at(id);
    const int row = list_->row(entry.item);
    if (row >= firstInView - kKeptMarginRows && row <= lastInView + kKeptMarginRows) return false;
    list_->removeItemWidget(entry.item);
    entry.built = false;
    return true;
  });
  for (int row = buildFrom; row <= buildTo; ++row) {
    QListWidgetItem* item = list_->item(row);
    const int id = item->data(kItemIdRole).toInt();
    Entry& entry = entries_.at(id);
    if (entry.built) continue;
    if (QWidget* widget = Build(entry.row)) {
      list_->setItemWidget(item, widget);
      tabChain_->RowBuilt(item, widget);
      entry.built = true;
      built_.push_back(id);
    }
  }
}

QWidget* RecordingRows::Build(const Row& row) {
  QWidget* widget = template_->Build();
  if (!widget) return nullptr;
  widget->setObjectName(QStringLiteral("item-%1").arg(row.id));
  SetTag(widget, row.id);
  SetText(widget, "fileNameLabel", row.fileName);
  SetText(widget, "fileSizeLabel", row.sizeText);
  SetText(widget, "durationLabel", row.durationText);
  for (const char* button : kRowButtons) {
    if (QWidget* control = widget->findChild<QWidget*>(QLatin1String(button))) {
      SetTag(control, row.id);
      control->setAccessibleDescription(row.fileName);  // which recording the button acts on
    }
  }
  window_->BindNotifications(widget);
  return widget;
}

}  // namespace zav
