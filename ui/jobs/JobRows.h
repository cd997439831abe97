#pragma once
// The rows of the job list. Every job is an item of the list, added in batches so the window
// answers while a long list fills; only the rows in view (and a few around them) are built from
// the row template "CronJobListContainerElement.xml", so a list of 100,000 jobs holds a few
// dozen row widgets. A built row is named "item-<job number>", and the row, its
// "cron-job-remove" button and its "cron-job-record" box carry the job number as their tag. A
// hand-edited file may repeat numbers, so a row is found again by its place in the list (RowOf)
// or by its key, never by that number. Every item gives screen readers its row's texts, built or
// not, and a built row's box and button are that row's children in the accessibility tree
// (RowListAccessibility); the current row's controls follow the list in the Tab chain. UI thread
// only.

#include <QObject>
#include <QString>

#include <cstdint>
#include <memory>
#include <vector>

#include "CronJob.h"
#include "JobTime.h"

class QListWidget;

namespace zav {

class CurrentRowTabChain;
class SkinTemplate;
class WindowImplBase;

class JobRows : public QObject {
  Q_OBJECT

 public:
  struct Row {
    StoredJob stored;
    JobState state = JobState::kNotStarted;
  };

  // window: builds the rows' custom controls and receives their buttons' clicks.
  JobRows(QListWidget* list, WindowImplBase* window);
  ~JobRows() override;

  // Adds rows at the end, in this order.
  void Append(std::vector<Row> rows);

  // Every row, also those whose list item is still to come.
  int Count() const { return static_cast<int>(entries_.size()); }
  const Row& At(int index) const { return entries_[static_cast<size_t>(index)].row; }
  // The row whose widget holds control (such as its remove button); -1 when none does.
  int RowOf(const QWidget* control) const;
  // A number that stays with the row at index while other rows come and go.
  uint64_t KeyAt(int index) const { return entries_[static_cast<size_t>(index)].key; }
  // The row with key; -1 when it has gone.
  int IndexOf(uint64_t key) const;

  // A row whose removal is under way keeps its place but its button is disabled, and it no
  // longer counts for FilePosition.
  void SetRemoving(int index, bool removing);
  bool Removing(int index) const { return entries_[static_cast<size_t>(index)].removing; }
  // Where the job of the row at index is in the file once the removals under way are done.
  size_t FilePosition(int index) const;

  void RemoveAt(int index);
  void Clear();
  // Shows row in the place of the row at index (its state, whether it records).
  void Update(int index, Row row);

  // What a screen reader reads for the row at index: the job's name, start, end and state.
  QString AccessibleTextAt(int index) const;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  struct Entry {
    Row row;
    uint64_t key = 0;
    bool removing = false;
  };

  void AddItems();
  void DropBuiltWidgets();
  void BuildRowsInView();
  QWidget* Build(const Entry& entry);
  // The widget of the row at index; nullptr while the row is not built.
  QWidget* BuiltWidget(int index) const;

  QListWidget* list_;
  WindowImplBase* window_;
  std::unique_ptr<SkinTemplate> template_;
  CurrentRowTabChain* tabChain_ = nullptr;  // owned by the list
  int rowHeight_ = 0;
  std::vector<Entry> entries_;  // in list order; the first list_->count() have their item
  std::vector<int> built_;      // indices of the rows that have a widget now
  uint64_t nextKey_ = 1;
  bool addingItems_ = false;  // items are being added, batch by batch
};

}  // namespace zav
