#include "audio/analysis/TakeSurvey.h"

#include "audio/analysis/ShareOut.h"
#include "platform/Errors.h"
#include "platform/FileOps.h"

#include <exception>
#include <map>
#include <optional>

namespace praatkist::audio {

namespace fs = std::filesystem;

std::vector<TSurveyedTake> SurveyTakes(IAudioLayer &layer, const TAnalysisSplit &split,
                                       const fs::path &folder,
                                       const std::vector<std::string> &names,
                                       TWorkControl *control, const TSurveyReport &report,
                                       const std::vector<TStoredFigures> *known)
{
  std::vector<TStoredFigures> read;
  if (known == nullptr) {
    read = figure_store::ReadCurrent(folder);
    known = &read;
  }
  std::map<std::string_view, const TStoredFigures *> byName;
  for (const TStoredFigures &s : *known)
    byName.emplace(s.Take, &s);

  std::vector<TSurveyedTake> out(names.size());
  std::vector<std::size_t> todo;
  for (std::size_t i = 0; i < names.size(); ++i) {
    out[i].Stored.Take = names[i];
    const auto found = byName.find(names[i]);
    const fs::path path = folder / fs::u8path(names[i]);
    if (found != byName.end()) {
      // Known and unchanged since: taken as it is.
      const std::optional<TFileKey> key = FileKeyOf(path);
      if (key && *key == found->second->Key) {
        out[i].Stored = *found->second;
        continue;
      }
    }
    todo.push_back(i);
  }

  std::vector<char> measured(todo.size(), 0);
  try {
    ShareOut(
        todo.size(),
        [&](std::size_t j) {
          TSurveyedTake &take = out[todo[j]];
          const fs::path path = folder / fs::u8path(take.Stored.Take);
          try {
            // The key before the reading: a change while it is read leaves a line that
            // no longer matches, and the take is measured again next time.
            const std::optional<TFileKey> key = FileKeyOf(path);
            if (!key)
              throw EFileError("De opname is er niet meer: " + platform::PathText(path));
            const TWaveAnalysis wave = AnalyzeTake(layer, split, path, 1, nullptr, true);
            take.Stored.Key = *key;
            take.Stored.Seconds = wave.Duration;
            take.Stored.Figures = wave.Figures;
            measured[j] = 1;
          } catch (const EWorkCancelled &) {
            throw;
          } catch (const std::exception &e) {
            take.Failed = true;
            take.Error = e.what();
          }
          if (report)
            report(todo[j], take);
        },
        control, static_cast<double>(todo.size()));
  } catch (const EWorkCancelled &) {
    // what was measured is kept below
  }

  std::vector<TStoredFigures> fresh;
  for (std::size_t j = 0; j < todo.size(); ++j)
    if (measured[j] != 0)
      fresh.push_back(out[todo[j]].Stored);
  if (!fresh.empty()) {
    try {
      figure_store::Merge(folder, fresh);
    } catch (const std::exception &) {
      // A folder that cannot be written: the figures are still given, and measured
      // again next time.
    }
  }
  if (control != nullptr && !control->Cancelled())
    control->Report(1.0);
  return out;
}

} // namespace praatkist::audio
