#pragma once
// The figures of many takes of a session at once, for the overview and the export:
// what cijfers.tsv holds for an unchanged take is taken as it is; every other take is
// measured (AnalyzeTake with its figures) side by side, one thread per core, and its
// figures put into the file, once all are measured or the work was cancelled (what was
// measured by then is kept).

#include "audio/AudioLayer.h"
#include "audio/WorkControl.h"
#include "audio/analysis/FigureStore.h"
#include "audio/analysis/TakeAnalysis.h"

#include <cstddef>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace praatkist::audio {

// What a survey found for one take: its figures, or (Failed) why it could not be read.
struct TSurveyedTake {
  TStoredFigures Stored; // Stored.Take is the name asked for
  bool Failed = false;
  std::string Error; // UTF-8, where it failed
};

// Called on a worker thread for each take measured (Index into Names), never for one
// taken from the file.
using TSurveyReport = std::function<void(std::size_t index, const TSurveyedTake &take)>;

// The figures of the takes Names (file names in Folder), in that order. Known (optional)
// is what the caller read from the file already; it is not read again then. A take that
// cannot be read is Failed and the rest go on. Control (optional) gets the progress of
// the measuring; once cancelled no new take is begun and the call returns what it has
// (the takes not measured have Stored.Figures.Measured false) after raising nothing.
std::vector<TSurveyedTake> SurveyTakes(IAudioLayer &layer, const TAnalysisSplit &split,
                                       const std::filesystem::path &folder,
                                       const std::vector<std::string> &names,
                                       TWorkControl *control = nullptr,
                                       const TSurveyReport &report = nullptr,
                                       const std::vector<TStoredFigures> *known = nullptr);

} // namespace praatkist::audio
