#pragma once
// The rows of the recordings list. Every row is an item of the list; only the rows in view
// (and a few around them) are built from the row template, so a list of thousands of
// recordings holds a few dozen row widgets and scrolls as fast as a short one. A built row is
// named "item-<n>", and the row and its buttons carry n as their tag. Every item carries its
// row's texts for screen readers, built or not, and a built row's buttons are that row's
// children in the accessibility tree (RowListAccessibility); the current row's buttons follow
// the list in the Tab chain. UI thread only.

#include <QObject>
#include <QString>

#include <map>
#include <memory>
#include <unordered_map>
#include <vector>

class QListWidget;
class QListWidgetItem;

namespace zav {

class CurrentRowTabChain;
class SkinTemplate;
class WindowImplBase;

class RecordingRows : public QObject {
  Q_OBJECT

 public:
  struct Row {
    int id = 0;
    QString fileName;
    QString sizeText;
    QString durationText;
  };

  // window: builds the rows' custom controls and receives their buttons' clicks.
  RecordingRows(QListWidget* list, WindowImplBase* window);
  ~RecordingRows() override;

  void Append(const std::vector<Row>& rows);
  // False when no row has this id.
  bool Remove(int id);
  // Shows a duration read after the row was made.
  void SetDuration(int id, const QString& durationText);
  // Scrolls to the end and selects the last row, without taking the focus.
  void ShowLast();

  int Count() const;
  // The built row of id, or nullptr while it is out of view.
  QWidget* RowWidget(int id) const;
  // The id of the row at a place in the list, or -1.
  int IdAt(int listRow) const;
  // The place in the list of the row with id, or -1.
  int ListRowOf(int id) const;
  QListWidget* list() const { return list_; }
  // The text of a row's button as the row template has it ("item-play", ...), for a menu that
  // offers what the buttons do.
  QString ButtonText(const QString& buttonName) const;

  // What a screen reader reads for a row: its name, size and (once read) duration.
  static QString AccessibleText(const Row& row);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void BuildRowsInView();
  QWidget* Build(const Row& row);

  QListWidget* list_;
  WindowImplBase* window_;
  std::unique_ptr<SkinTemplate> template_;
  CurrentRowTabChain* tabChain_ = nullptr;  // owned by the list
  std::map<QString, QString> buttonTexts_;  // button name -> its text
  int rowHeight_ = 0;
  struct Entry {
    Row row;
    QListWidgetItem* item = nullptr;
    bool built = false;
  };
  std::unordered_map<int, Entry> entries_;
  std::vector<int> built_;  // ids of the rows that have a widget now
};

}  // namespace zav
