#include "audio/export/DataSet.h"

#include "audio/analysis/FigureStore.h"
#include "audio/analysis/ShareOut.h"
#include "audio/analysis/TakeSurvey.h"
#include "platform/Errors.h"
#include "platform/FileOps.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <exception>
#include <functional>
#include <map>
#include <random>
#include <system_error>
#include <thread>

namespace praatkist::audio {

namespace fs = std::filesystem;

namespace {

// A figure as tools read it: a dot for decimals, "-inf" for silence.
std::string Figure(double value, int decimals)
{
  if (std::isinf(value))
    return value < 0 ? "-inf" : "inf";
  if (std::isnan(value))
    return "nan";
  char text[64];
  std::snprintf(text, sizeof text, "%.*f", decimals, spoken_word::Shown(value, decimals));
  return text;
}

// A file's name in UTF-8.
std::string NameOf(const fs::path &path)
{
  const std::u8string name = path.filename().u8string();
  return {name.begin(), name.end()};
}

// The export's progress over its two parts (the survey, the exports), each step a take,
// and its cancel, which each part's own control hears from it.
struct TProgress {
  TWorkControl *Outer;
  double Total;
  std::atomic<std::size_t> Done{0};
  void Step() noexcept
  {
    const std::size_t done = ++Done;
    if (Outer != nullptr && Total > 0)
      Outer->Report(0.99 * static_cast<double>(done) / Total);
  }
  bool Cancelled() const noexcept { return Outer != nullptr && Outer->Cancelled(); }
};

} // namespace

std::string CsvText(const std::string &text, bool *mended)
{
  const bool quote = !text.empty() && text.front() == '"';
  if (mended != nullptr)
    *mended = quote;
  return quote ? "\xE2\x80\x9C" + text.substr(1) : text;
}

std::string JsonString(const std::string &text)
{
  std::string out = "\"";
  for (const char c : text) {
    const auto u = static_cast<unsigned char>(c);
    switch (c) {
    case '"': out += "\\\""; break;
    case '\\': out += "\\\\"; break;
    case '\n': out += "\\n"; break;
    case '\r': out += "\\r"; break;
    case '\t': out += "\\t"; break;
    case '\b': out += "\\b"; break;
    case '\f': out += "\\f"; break;
    default:
      if (u < 0x20) {
        char escaped[8];
        std::snprintf(escaped, sizeof escaped, "\\u%04x", u);
        out += escaped;
      } else {
        out += c;
      }
    }
  }
  return out + '"';
}

std::string MetadataCsv(const std::vector<const TDataSetItem *> &items)
{
  std::string out;
  for (const TDataSetItem *item : items) {
    const std::string text = CsvText(item->Text);
    out.append(item->Id).append(1, '|').append(text).append(1, '|').append(text).append(1, '\n');
  }
  return out;
}

std::string MetadataJsonl(const std::vector<const TDataSetItem *> &items, TExportFile file)
{
  std::string out;
  for (const TDataSetItem *item : items) {
    out.append("{\"file_name\": ")
        .append(JsonString(item->Id + FileExtension(file)))
        .append(", \"text\": ")
        .append(JsonString(item->Text))
        .append("}\n");
  }
  return out;
}

std::string TakesTsv(const std::vector<TDataSetTake> &takes)
{
  std::string out = "opname\tid\tstatus\tseconden\tluidheid_lufs\trms_db\tpiek_db\truisvloer_db"
                    "\tgeclipt\tspraaklimieten\topmerkingen\n";
  for (const TDataSetTake &t : takes) {
    const bool measured = t.Figures.Measured;
    out += t.Name + '\t' + t.ItemId + '\t' + t.State + '\t' + Figure(t.Seconds, 3) + '\t';
    if (measured) {
      out += Figure(t.Figures.LoudnessLufs, 1) + '\t' + Figure(t.Figures.RmsDb, 1) + '\t' +
             Figure(t.Figures.PeakDb, 1) + '\t' + Figure(t.Figures.NoiseFloorDb, 0) + '\t' +
             std::to_string(t.Figures.ClippedSamples) + '\t' +
             (spoken_word::Judge(t.Figures).Meets() ? "ja" : "nee");
    } else {
      out += "\t\t\t\t\t";
    }
    out += '\t' + t.Remarks.Joined() + '\n';
  }
  return out;
}

std::string SkippedTsv(const std::vector<TDataSetSkip> &skipped)
{
  std::string out = "id\topname\topmerkingen\n";
  for (const TDataSetSkip &s : skipped)
    out.append(s.Id).append(1, '\t').append(s.Take).append(1, '\t').append(s.Remarks).append(1, '\n');
  return out;
}

TDataSetFolder::TDataSetFolder(const fs::path &folder) : FFolder(folder)
{
  std::error_code ec;
  if (fs::exists(folder, ec) && !(fs::is_directory(folder, ec) && fs::is_empty(folder, ec)))
    throw EFileError("De map bestaat al en is niet leeg: " + platform::PathText(folder));
  // Hidden beside it, under a name of its own, so that two exports never meet.
  std::random_device random;
  char suffix[16];
  std::snprintf(suffix, sizeof suffix, "%08x", random());
  // (Built by appending: GCC 12 warns falsely about chained operator+ on strings at -O3.)
  std::string name(1, '.');
  name.append(folder.filename().string()).append(1, '.').append(suffix).append(".deel");
  FWork = folder.parent_path() / name;
  if (!fs::create_directory(FWork, ec) || ec)
    platform::RaiseFileError(ec ? ec : std::make_error_code(std::errc::file_exists), FWork);
}

TDataSetFolder::~TDataSetFolder()
{
  if (FPlaced)
    return;
  std::error_code ec;
  fs::remove_all(FWork, ec);
}

void TDataSetFolder::WriteText(const fs::path &name, const std::string &text)
{
  platform::TWriteFile file(FWork / name);
  file.Write(text.data(), text.size());
  file.Sync();
  file.Close();
}

void TDataSetFolder::Place()
{
  std::error_code ec;
  // An empty folder of that name (one the user made in the dialog) gives way.
  if (fs::is_directory(FFolder, ec) && fs::is_empty(FFolder, ec))
    fs::remove(FFolder, ec);
  platform::SyncFolderQuietly(FWork / "wavs");
  platform::SyncFolderQuietly(FWork);
  if (const int fault = platform::FileFault("rename", FFolder); fault != 0)
    ec = std::error_code(fault, std::generic_category());
  else
    fs::rename(FWork, FFolder, ec);
  if (ec)
    platform::RaiseFileError(ec, FFolder);
  FPlaced = true;
  platform::SyncFolderQuietly(FFolder.parent_path());
}

TDataSetReport ExportDataSet(IAudioLayer &layer, const TAnalysisSplit &split,
                             const TDataSetJob &job, std::vector<TDataSetTake> takes,
                             TWorkControl *control)
{
  TDataSetReport report;
  std::vector<const TDataSetItem *> chosen;
  for (const TDataSetItem &item : job.Items) {
    if (item.ChosenTake.empty())
      report.Missing.push_back(item.Id);
    else
      chosen.push_back(&item);
  }
  TDataSetFolder folder(job.Folder);
  const fs::path wavs = folder.Work() / "wavs";
  std::error_code ec;
  if (!fs::create_directory(wavs, ec) || ec)
    platform::RaiseFileError(ec ? ec : std::make_error_code(std::errc::file_exists), wavs);

  // The figures of every take, and of every chosen take (one the list of takes lacks
  // too): from cijfers.tsv where it knows them, else measured and put there. Each take
  // to measure counts as much as each take to export.
  std::vector<std::string> names;
  for (const TDataSetTake &t : takes)
    names.push_back(t.Name);
  for (const TDataSetItem *item : chosen)
    if (const std::string name = NameOf(item->ChosenTake);
        std::find(names.begin(), names.end(), name) == names.end())
      names.push_back(name);
  const std::vector<TStoredFigures> known = figure_store::ReadCurrent(job.Session);
  std::size_t toMeasure = names.size();
  for (const std::string &name : names)
    for (const TStoredFigures &k : known)
      if (k.Take == name && FileKeyOf(job.Session / fs::u8path(name)) == k.Key) {
        --toMeasure;
        break;
      }
  TProgress progress{control, static_cast<double>(toMeasure + chosen.size())};
  if (progress.Cancelled())
    throw EWorkCancelled();
  // The survey's own control: the export's cancel reaches it after each take measured.
  TWorkControl survey;
  const std::vector<TSurveyedTake> surveyed = SurveyTakes(
      layer, split, job.Session, names, &survey,
      [&](std::size_t, const TSurveyedTake &) {
        progress.Step();
        if (progress.Cancelled())
          survey.Cancel();
      },
      &known);
  if (progress.Cancelled())
    throw EWorkCancelled();
  const auto figuresOf = [&](const std::string &name) -> const TStoredFigures & {
    return surveyed[static_cast<std::size_t>(
                        std::find(names.begin(), names.end(), name) - names.begin())]
        .Stored;
  };

  // The chosen takes' remarks, against the median pace of them all.
  std::vector<double> paces;
  for (const TDataSetItem *item : chosen)
    paces.push_back(CharsPerSecond(figuresOf(NameOf(item->ChosenTake)).Figures,
                                   item->SpokenChars));
  const double medianPace = MedianPace(paces);
  std::map<std::string, std::size_t> spoken;
  for (const TDataSetItem &item : job.Items)
    spoken.emplace(item.Id, item.SpokenChars);
  for (std::size_t i = 0; i < takes.size(); ++i) {
    TDataSetTake &t = takes[i];
    t.Seconds = surveyed[i].Stored.Seconds;
    t.Figures = surveyed[i].Stored.Figures;
    const auto chars = spoken.find(t.ItemId);
    t.Remarks = CheckTake(t.Figures, t.Seconds, chars == spoken.end() ? 0 : chars->second,
                          medianPace);
  }
  std::vector<const TDataSetItem *> exported;
  std::vector<const TTakeFigures *> speech;
  for (const TDataSetItem *item : chosen) {
    const std::string name = NameOf(item->ChosenTake);
    const TStoredFigures &stored = figuresOf(name);
    const TTakeRemarks remarks =
        CheckTake(stored.Figures, stored.Seconds, item->SpokenChars, medianPace);
    if (job.SkipRemarked && remarks.Any()) {
      report.Skipped.push_back({item->Id, name, remarks.Joined()});
      progress.Step();
      continue;
    }
    exported.push_back(item);
    speech.push_back(&stored.Figures);
  }

  // Every take is a file of its own: side by side.
  const std::string extension = FileExtension(job.Format.File);
  TWorkControl exports;
  ShareOut(
      exported.size(),
      [&](std::size_t i) {
        if (progress.Cancelled()) {
          exports.Cancel();
          throw EWorkCancelled();
        }
        ExportTake(layer, exported[i]->ChosenTake, wavs / fs::u8path(exported[i]->Id + extension),
                   job.Format, nullptr, speech[i]);
        progress.Step();
      },
      &exports, static_cast<double>(exported.size()));
  report.Exported = static_cast<int>(exported.size());
  for (const TDataSetItem *item : exported) {
    bool mended = false;
    CsvText(item->Text, &mended);
    report.QuotesMended += mended ? 1 : 0;
  }
  folder.WriteText("metadata.csv", MetadataCsv(exported));
  folder.WriteText(fs::path("wavs") / "metadata.jsonl", MetadataJsonl(exported, job.Format.File));
  folder.WriteText("opnames.tsv", TakesTsv(takes));
  if (job.SkipRemarked)
    folder.WriteText("overgeslagen.tsv", SkippedTsv(report.Skipped));
  if (progress.Cancelled())
    throw EWorkCancelled();
  folder.Place();
  if (control != nullptr)
    control->Report(1.0);
  return report;
}

} // namespace praatkist::audio
