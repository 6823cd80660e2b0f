#pragma once
// A finished data set from a session's text list, in a new folder, in the layout that
// speech-synthesis trainers read (LJSpeech's, with the normalised text column) and
// Hugging Face's audiofolder loader:
//   wavs/<id>.wav        the chosen take of every item exported, as TakeExport writes it
//                        (<id>.flac in FLAC)
//   wavs/metadata.jsonl  {"file_name": "<id>.wav", "text": "..."} per exported take
//   metadata.csv         "id|text|text" per exported take (the text, then its normalised
//                        form: the same text), in list order, UTF-8, LF, no header
//   opnames.tsv          every take of the session with its item, state, length, figures,
//                        whether it meets the spoken-word limits and its remarks
//   overgeslagen.tsv     (when takes with remarks are skipped) the items skipped
// Before anything is exported the takes' figures are taken from the session's
// cijfers.tsv or measured and put there (SurveyTakes), and the chosen takes' remarks are
// found (CheckTake) against the session's median pace.
// The folder appears whole or not at all: everything is written into a hidden folder
// beside it, which is renamed into place at the end and removed on any failure or
// cancel. A folder that exists already and is not empty is never written into.

#include "audio/AudioLayer.h"
#include "audio/TakeResults.h"
#include "audio/WorkControl.h"
#include "audio/analysis/TakeAnalysis.h"
#include "audio/analysis/TakeChecks.h"
#include "audio/export/TakeExport.h"

#include <cstddef>
#include <filesystem>
#include <string>
#include <vector>

namespace praatkist::audio {

struct TDataSetItem {
  std::string Id;   // UTF-8
  std::string Text; // UTF-8, without "|" or line breaks
  std::filesystem::path ChosenTake; // empty: the item has no chosen take
  std::size_t SpokenChars = 0;      // of Text (session's SpokenChars), for its pace
};

struct TDataSetTake {
  std::string Name;   // the take's file name in the session folder, UTF-8
  std::string ItemId; // empty for a take bound to no item
  std::string State;  // "gekozen", "afgekeurd" or empty
  // Filled by the export:
  double Seconds = 0.0;
  TTakeFigures Figures{};
  TTakeRemarks Remarks{};
};

struct TDataSetJob {
  std::filesystem::path Folder;  // the data set's folder: new, or empty
  std::filesystem::path Session; // the takes' folder, with its cijfers.tsv
  TExportFormat Format;
  std::vector<TDataSetItem> Items; // in list order
  bool SkipRemarked = false; // an item whose chosen take has remarks is left out
};

struct TDataSetSkip {
  std::string Id, Take, Remarks; // Remarks joined by ", "
  bool operator==(const TDataSetSkip &) const = default;
};

struct TDataSetReport {
  int Exported = 0;
  std::vector<std::string> Missing; // ids of the items without a chosen take, in list order
  std::vector<TDataSetSkip> Skipped; // items left out for their remarks, in list order
  int QuotesMended = 0; // exported texts whose first '"' was written as U+201C
};

// Writes the data set Job describes, with the line of every take in Takes (their
// Seconds, Figures and Remarks filled here). The survey and then the exports run side
// by side, one thread per core (at least two); the files and lines are the same as one
// by one. Raises on any failure or a cancel, with no folder left behind; Control
// (optional) receives the progress.
TDataSetReport ExportDataSet(IAudioLayer &layer, const TAnalysisSplit &split,
                             const TDataSetJob &job, std::vector<TDataSetTake> takes,
                             TWorkControl *control = nullptr);

// A text as metadata.csv holds it: a first '"' becomes U+201C (a CSV reader would take
// it for the start of a quoted field and swallow the following lines). Mended: it did.
std::string CsvText(const std::string &text, bool *mended = nullptr);
// Text as a JSON string, quotes included (UTF-8 kept as it is).
std::string JsonString(const std::string &text);

// The lines of the files, for the items exported (in list order).
std::string MetadataCsv(const std::vector<const TDataSetItem *> &items);
std::string MetadataJsonl(const std::vector<const TDataSetItem *> &items, TExportFile file);
std::string TakesTsv(const std::vector<TDataSetTake> &takes);
std::string SkippedTsv(const std::vector<TDataSetSkip> &skipped);

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
  // Writes Text as the file Name (relative) in the folder, on the disk.
  void WriteText(const std::filesystem::path &name, const std::string &text);
  // Renames the filled folder to its name (an empty folder of that name is replaced).
  void Place();

private:
  std::filesystem::path FFolder, FWork;
  bool FPlaced = false;
};

} // namespace praatkist::audio
