#pragma once
// TExportCommand: "Exporteren" (Ctrl+E). Asks for the data set's new folder, rate,
// channels, file format and options (proposed from the settings' [Export], which keep
// what the user changed), writes the data set on the export's worker while a progress
// window shows how far it is (and can cancel it), and says at the end what was written,
// which texts have no chosen take, which were skipped for their remarks and how many
// texts' first quote was changed.

#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

#include "ui/dialogs/ExportDialog.h"
#include "ui/window/MainSettings.h"

namespace praatkist {
class TSessionManager;
class TBassRecorder;
} // namespace praatkist

namespace praatkist::ui {

class TTextCommands;
class TStatusLine;
class TExportWork;
class TDarkProgress;
struct TExportResult;

class TExportCommand : public QObject {
  Q_OBJECT

public:
  // AEngine may be null (no audio): nothing can then be exported.
  TExportCommand(TSessionManager &AStore, TTextCommands &AText, TBassRecorder *AEngine,
                 TStatusLine &AStatus, QObject *AParent = nullptr);
  ~TExportCommand() override;

  // The question; the export dialog by default.
  std::function<std::optional<TExportChoice>(const TExportChoice &)> Ask;
  // The options of the question, as stored and as the user changed them since.
  TExportSettings Settings;
  // Why FLAC cannot be written here (libsndfile without it); empty where it can.
  static QString FlacRefused();

  void Run();
  bool Running() const noexcept;
  // Cancels a running export and waits for it (before the engine goes).
  void End();

signals:
  void Ended();

private:
  QString ProposedFolder() const;
  TExportChoice Proposed() const;
  void Remember(const TExportChoice &AProposed, const TExportChoice &AChosen);
  void Finished(const TExportResult &AResult);

  TSessionManager &FStore;
  TTextCommands &FText;
  TBassRecorder *FEngine;
  TStatusLine &FStatus;
  std::unique_ptr<TExportWork> FWork;
  std::unique_ptr<TDarkProgress> FProgress;
  QString FFolder;
};

} // namespace praatkist::ui
