// TResultListForm: the list of the files of this run's drops and what became of each.
#pragma once

#include <QString>
#include <QStringList>
#include <QWidget>
#include <chrono>
#include <deque>
#include <functional>
#include <vector>

class QLabel;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace qv {
struct TFileResult;
}

namespace qv::gui {

// What a row says of its file.
enum class TRowState {
  kWaiting,     // its drop runs (or waits to) and has not come to it
  kConverting,  // being converted
  kConverted,
  kWarned,      // converted, with a reservation (a picture that may be incomplete)
  kPassedOver,  // and why
  kFailed,      // and why
  kNotReached,  // a failure or a stop ended its drop before it
};

// One row per name of the drops since the program started (or since the list was last cleared),
// in the order they were handled, with its state, its output and the time it took. The batch
// host tells it what happens (the calls below follow IBatchHost's); the user copies rows as text,
// opens the folder of an output, stops the running drop after its file and clears the list.
class TResultListForm : public QWidget {
  Q_OBJECT

 public:
  // Columns of the list.
  enum TColumn { kFileColumn, kResultColumn, kOutputColumn, kTimeColumn, kColumnCount };

  explicit TResultListForm(QWidget* parent = nullptr);

  // A drop queued behind the running one: its names wait as they were dropped.
  void DropQueued(const QStringList& files);
  // A drop begins: rows of its names follow (the oldest queued drop's waiting rows give way).
  void DropStarting();
  void FileListed(int index, const QString& file_name);
  void FileStarting(int index);
  void FileFinished(int index, const TFileResult& result);
  // The page of name index failed after all (its PDF file could not be written).
  void FileFailedAfterAll(int index, const TFileResult& result);
  // The drop ended: the names it did not come to were not reached.
  void DropFinished();
  // The oldest queued drop will not start (a stop): its names were not reached.
  void DropNotStarted();
  // Whether a drop runs (the stop button serves only then).
  void SetRunning(bool running);
  // The counts of the last run, shown below the list.
  void SetTotals(const QString& totals);

  // Removes the rows of the drops that have ended (those of a running or queued drop stay).
  void Clear();
  // The rows as text, one line each: file, result, output and time separated by tabs; the
  // selected rows, or every row when none is selected.
  QString RowsText() const;
  // Puts RowsText on the clipboard.
  void CopyRows();
  // The folder of the output of the first selected row that has one, or of the last row that
  // has one; empty when no row has an output.
  QString OutputFolder() const;
  // Opens OutputFolder in the desktop's file manager.
  void OpenOutputFolder();

  // Asked by the stop button: stop after the file being converted.
  std::function<void()> OnStop;

  QTreeWidget* List() const { return list_; }
  int RowCount() const;
  TRowState State(int row) const;
  QPushButton* StopButton() const { return stop_; }
  QPushButton* OpenFolderButton() const { return open_folder_; }

  // The text of a state in the result column ("failed: reason").
  static QString StateText(TRowState state, const QString& detail = QString());

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QTreeWidgetItem* AddRow(const QString& file_name);
  void SetState(QTreeWidgetItem* row, TRowState state, const QString& detail = QString());
  // The row of name index of the running drop; nullptr when there is none.
  QTreeWidgetItem* Row(int index) const;
  void SetResult(QTreeWidgetItem* row, const TFileResult& result);
  void UpdateButtons();

  QTreeWidget* list_;
  QLabel* totals_;
  QPushButton* copy_;
  QPushButton* open_folder_;
  QPushButton* stop_;
  QPushButton* clear_;
  QPushButton* close_;
  bool running_ = false;
  // Rows of the running drop, by index; rows of the queued drops, oldest first.
  std::vector<QTreeWidgetItem*> current_;
  std::deque<std::vector<QTreeWidgetItem*>> queued_;
  // Where the running drop's next row goes: where its waiting rows stood, or at the end (-1).
  int insert_at_ = -1;
};

}  // namespace qv::gui
