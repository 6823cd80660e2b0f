#pragma once
// TOverviewForm: the overview ("Overzicht"), a window of its own beside the main window
// in the same dark look: the session's table (a row per text, or per take without a
// list), two filters, the measuring's progress and a line of what its keys did. It
// shows and asks; what a key does to a take is the overview command's
// (TOverviewCommand), told by signals with the model's row.
//
// Keys in the table: Up and Down move, Space plays the row's chosen take or stops it,
// Alt+Right and Alt+Left go to its next or previous marker, Ctrl+K chooses the text's
// next take, Ctrl+Shift+A rejects the chosen take, Return shows the text in the main
// window, Alt+S sorts by the current cell's column (again: the other way). Alt+M and
// Alt+Z tick the filters, Alt+L goes to the table, Escape closes.

#include <QString>
#include <QWidget>

class QCheckBox;
class QLabel;
class QTableView;

namespace praatkist::ui {

class TOverviewModel;
class TOverviewFilter;

class TOverviewForm : public QWidget {
  Q_OBJECT

public:
  // AOwner: the main window, whose colours and font it takes.
  TOverviewForm(TOverviewModel &AModel, QWidget *AOwner);

  QTableView *tblOverview = nullptr;
  QCheckBox *chkRemarksOnly = nullptr;
  QCheckBox *chkWithoutChoice = nullptr;
  QLabel *lblHeading = nullptr;
  QLabel *lblProgress = nullptr;
  QLabel *lblSaid = nullptr;
  QLabel *lblKeys = nullptr;

  // The model's row of the table's current row; -1: none.
  int CurrentRow() const;
  // Makes the model's row ARow the current one, where it is shown.
  void SelectRow(int ARow);
  // The rows the table shows now.
  int ShownRows() const;
  void Say(const QString &AText);

signals:
  void PlayAsked(int ARow);
  void NextChoiceAsked(int ARow);
  void RejectAsked(int ARow);
  void ShowAsked(int ARow);
  void MarkerAsked(bool AForward);
  void Closed();

protected:
  void closeEvent(QCloseEvent *AEvent) override;
  bool eventFilter(QObject *AWatched, QEvent *AEvent) override;

private:
  void MakeControls();
  void SortByCurrentColumn();
  // The key's command on the current row; false when it is no key of the table's.
  bool TableKey(int AKey, Qt::KeyboardModifiers AMods);

  TOverviewModel &FModel;
  TOverviewFilter *FFilter = nullptr;
};

} // namespace praatkist::ui
