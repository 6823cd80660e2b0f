#include "audio/export/DataSet.h"

#include "audio/analysis/ShareOut.h"
#include "platform/Errors.h"
#include "platform/FileOps.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <exception>
#include <functional>
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

} // namespace

std::string MetadataCsv(const std::vector<TDataSetItem> &items)
{
  std::string out;
  for (const TDataSetItem &item : items) {
    if (item.ChosenTake.empty())
      continue;
    out += item.Id;
    out += '|';
    out += item.Text;
    out += '\n';
  }
  return out;
}

std::string TakesTsv(const std::vector<TDataSetTake> &takes)
{
  std::string out = "opname\tid\tstatus\tseconden\tluidheid_lufs\trms_db\tpiek_db\truisvloer_db"
                    "\tgeclipt\tspraaklimieten\n";
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
    out += '\n';
  }
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

void TDataSetFolder::WriteText(const std::string &name, const std::string &text)
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
  // The items to export, in list order. Each take to export counts as much as each
  // take to measure.
  TDataSetReport report;
  std::vector<const TDataSetItem *> chosen;
  for (const TDataSetItem &item : job.Items) {
    if (item.ChosenTake.empty())
      report.Missing.push_back(item.Id);
    else
      chosen.push_back(&item);
  }
  const double steps = static_cast<double>(chosen.size() + takes.size());

  TDataSetFolder folder(job.Folder);
  std::error_code ec;
  if (!fs::create_directory(folder.Work() / "wavs", ec) || ec)
    platform::RaiseFileError(ec ? ec : std::make_error_code(std::errc::file_exists),
                             folder.Work() / "wavs");
  // Every take is a file of its own and every line its own element: the takes go side
  // by side, the exports first.
  ShareOut(
      chosen.size() + takes.size(),
      [&](std::size_t i) {
        if (i < chosen.size()) {
          const TDataSetItem &item = *chosen[i];
          ExportTake(layer, item.ChosenTake,
                     folder.Work() / "wavs" / fs::u8path(item.Id + ".wav"), job.Format, nullptr);
          return;
        }
        TDataSetTake &take = takes[i - chosen.size()];
        const TWaveAnalysis wave = AnalyzeTake(layer, split, take.Path, 1, nullptr, true);
        take.Seconds = wave.Duration;
        take.Figures = wave.Figures;
      },
      control, steps);
  report.Exported = static_cast<int>(chosen.size());
  folder.WriteText("metadata.csv", MetadataCsv(job.Items));
  folder.WriteText("opnames.tsv", TakesTsv(takes));
  if (control != nullptr && control->Cancelled())
    throw EWorkCancelled();
  folder.Place();
  if (control != nullptr)
    control->Report(1.0);
  return report;
}

} // namespace praatkist::audio
