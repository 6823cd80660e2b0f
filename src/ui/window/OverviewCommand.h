#pragma once
// TOverviewCommand: "Overzicht" (Ctrl+O). Opens the overview of the session shown: its
// rows from the session's list and bindings (or its takes), the figures cijfers.tsv
// holds at once, and every take not measured yet (or changed since) measured on the
// survey's worker, the chosen takes first. While the overview is open it follows the
// main window: takes made, trimmed, untrimmed, deleted, chosen and rejected. Its keys
// act through the main window's own parts: the take flow plays, the text part chooses,
// rejects and shows, the take list selects. Closing the overview cancels the survey.

#include <QObject>
#include <QSet>
#include <QString>
#include <QTimer>

#include <memory>
#include <string>
#include <vector>

#include "ui/flow/OverviewModel.h"

namespace praatkist {
class TSessionManager;
class TBassRecorder;
} // namespace praatkist

namespace praatkist::ui {

class TTextCommands;
class TTakeList;
class TTakeFlow;
class TSurveyWork;
class TOverviewForm;

class TOverviewCommand : public QObject {
  Q_OBJECT

public:
  // AEngine may be null (no audio): the figures in cijfers.tsv are shown, nothing is
  // measured. AMain: the main window, owner of the overview's window.
  TOverviewCommand(TSessionManager &AStore, TTextCommands &AText, TTakeList &ATakes,
                   TTakeFlow &AFlow, TBassRecorder *AEngine, QWidget *AMain);
  ~TOverviewCommand() override;

  // Opens the overview of the session shown (or brings it to the front).
  void Open();
  bool IsOpen() const;
  TOverviewForm *Form() const noexcept { return FForm.get(); }
  const TOverviewModel &Model() const noexcept { return FModel; }
  // Takes are being measured, or wait for it.
  bool Measuring() const;

  // The main window has listed the session's takes again (after its bindings were read).
  void Listed();
  // The take at APath was shown or has ended: measured again where it has changed.
  void TakeSeen(const QString &APath);

protected:
  bool eventFilter(QObject *AWatched, QEvent *AEvent) override;

private:
  // Everything anew for the session shown: rows, stored figures, the survey.
  void Load();
  void Close();
  std::vector<TOverviewRow> MakeRows() const;
  void ShowRows(std::vector<TOverviewRow> ARows);
  // The takes of the rows that are neither known nor waiting, chosen ones first.
  std::vector<std::string> Unknown() const;
  void Measure(const std::vector<std::string> &ANames);
  void StartNext();
  void Taken(const QString &AFolder, const audio::TSurveyedTake &ATake);
  void SurveyEnded(const QString &AFolder, bool ACancelled);
  void Flush();
  void ShowProgress();
  QString PathOf(const QString &AName) const;
  // The take being recorded or ended now, which is measured once it is whole.
  bool Busy(const QString &AName) const;

  void Play(int ARow);
  void NextChoice(int ARow);
  void Reject(int ARow);
  void ShowInMain(int ARow);

  TSessionManager &FStore;
  TTextCommands &FText;
  TTakeList &FTakes;
  TTakeFlow &FFlow;
  TBassRecorder *FEngine;
  QWidget *FMain;
  TOverviewModel FModel;
  std::unique_ptr<TOverviewForm> FForm;
  std::unique_ptr<TSurveyWork> FSurvey;
  // The session folder shown.
  QString FFolder;
  // Takes to measure (in order) not yet handed to the survey, and every take handed or
  // waiting, until its figures come.
  std::vector<std::string> FPending;
  QSet<QString> FWaiting;
  // Measured since the overview opened (or all were last measured), of how many.
  int FDone = 0;
  int FTotal = 0;
  int FFailed = 0;
  // Measured takes are put into the table a few at a time.
  std::vector<TOverviewTake> FBatch;
  QTimer FFlushTimer;
};

} // namespace praatkist::ui
