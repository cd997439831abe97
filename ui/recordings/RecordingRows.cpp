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
#include "dui/RowListAccessibility.h"
#include "dui/RowsInView.h"
#include "dui/SkinLoader.h"
#include "dui/WindowImplBase.h"

namespace zav {
namespace {

const QString kRowTemplate = QStringLiteral("RecorderListContainerElement.xml");
constexpr int kItemIdRole = Qt::UserRole;
constexpr int kFallbackRowHeight = 58;
const char* const kRowButtons[] = {"item-play", "item-open-dir", "item-delete"};

void SetText(QWidget* row, const char* name, const QString& text) {
  if (auto* label = row->findChild<QLabel*>(QLatin1String(name))) label->setText(text);
}

}  // namespace

RecordingRows::RecordingRows(QListWidget* list, WindowImplBase* window)
    : list_(list), window_(window), template_(std::make_unique<SkinTemplate>(kRowTemplate, window)) {
  if (!template_->ok()) LOG(ERROR) << "MainWnd: " << template_->error().toStdString();
  rowHeight_ = SampleRowHeight(*template_, kFallbackRowHeight, [this](QWidget& sample) {
    for (const char* name : kRowButtons) {
      if (auto* button = sample.findChild<QAbstractButton*>(QLatin1String(name))) {
        buttonTexts_[button->objectName()] = button->text();
      }
    }
  });
  if (!list_) return;
  tabChain_ = new CurrentRowTabChain(list_);
  ExposeRowList(list_);
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

int RecordingRows::ListRowOf(int id) const {
  const auto it = entries_.find(id);
  return it == entries_.end() || !list_ ? -1 : list_->row(it->second.item);
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
  const RowsInView rows = RowsNearTheView(*list_, rowHeight_);
  std::erase_if(built_, [&](int id) {
    Entry& entry = entries_.at(id);
    if (rows.Keeps(list_->row(entry.item))) return false;
    list_->removeItemWidget(entry.item);
    entry.built = false;
    return true;
  });
  for (int row = rows.buildFrom; row <= rows.buildTo; ++row) {
    QListWidgetItem* item = list_->item(row);
    const int id = item->data(kItemIdRole).toInt();
    Entry& entry = entries_.at(id);
    if (entry.built) continue;
    if (QWidget* widget = Build(entry.row)) {
      ExposeRow(list_, item, widget);
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
