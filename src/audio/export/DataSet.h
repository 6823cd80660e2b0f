#pragma once
// A finished data set from a session's text list, in a new folder:
//   wavs/<id>.wav   the chosen take of every item that has one, as TakeExport writes it
//   metadata.csv    "id|text" per exported take, in list order, UTF-8, no header
//   opnames.tsv     every take of the session with its item, state, length, figures and
//                   whether it meets the spoken-word limits
// The folder appears whole or not at all: everything is written into a hidden folder
// beside it, which is renamed into place at the end and removed on any failure or
// cancel. A folder that exists already and is not empty is never written into.

#include "audio/AudioLayer.h"
#include "audio/TakeResults.h"
#include "audio/WorkControl.h"
#include "audio/analysis/TakeAnalysis.h"
#include "audio/export/TakeExport.h"

#include <filesystem>
#include <string>
#include <vector>

namespace praatkist::audio {

struct TDataSetItem {
  std::string Id;   // UTF-8
  std::string Text; // UTF-8, without "|" or line breaks
  std::filesystem::path ChosenTake; // empty: the item has no chosen take
};

struct TDataSetTake {
  std::filesystem::path Path; // the take, measured for its line
  std::string Name;   // the take's file name, UTF-8
  std::string ItemId; // empty for a take bound to no item
  std::string State;  // "gekozen", "afgekeurd" or empty
  double Seconds = 0.0;
  TTakeFigures Figures;
};

struct TDataSetJob {
  std::filesystem::path Folder; // the data set's folder: new, or empty
  TExportFormat Format;
  std::vector<TDataSetItem> Items; // in list order
};

struct TDataSetReport {
  int Exported = 0;
  std::vector<std::string> Missing; // ids of the items without a chosen take, in list order
};

// Writes the data set Job describes, with the line of every take in Takes (their
// Seconds and Figures measured here). The takes are exported and measured side by
// side, one thread per core (at least two); the files and lines are the same as one
// by one. Raises on any failure or a cancel, with no folder left behind; Control
// (optional) receives the progress.
TDataSetReport ExportDataSet(IAudioLayer &layer, const TAnalysisSplit &split,
                             const TDataSetJob &job, std::vector<TDataSetTake> takes,
                             TWorkControl *control = nullptr);

// Lines of metadata.csv for the items that were exported; of opnames.tsv for Takes.
std::string MetadataCsv(const std::vector<TDataSetItem> &items);
std::string TakesTsv(const std::vector<TDataSetTake> &takes);

// The folder being filled, and the placing of it.
class TDataSetFolder {
public:
  // Raises EFileError when Folder exists and is not empty, or when the hidden folder
  // beside it cannot be made.
  explicit TDataSetFolder(const std::filesystem::path &folder);
  // Removes everything written unless Place succeeded.
  ~TDataSetFolder();
  TDataSetFolder(const TDataSetFolder &) = delete;
  TDataSetFolder &operator=(const TDataSetFolder &) = delete;

  const std::filesystem::path &Work() const noexcept { return FWork; }
  // Writes Text as the file Name in the folder, on the disk.
  void WriteText(const std::string &name, const std::string &text);
  // Renames the filled folder to its name (an empty folder of that name is replaced).
  void Place();

private:
  std::filesystem::path FFolder, FWork;
  bool FPlaced = false;
};

} // namespace praatkist::audio
