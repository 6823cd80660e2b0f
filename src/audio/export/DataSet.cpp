#include "audio/export/DataSet.h"

#include "platform/Errors.h"
#include "platform/FileOps.h"

#include <cmath>
#include <cstdio>
#include <random>
#include <system_error>

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
  FWork = folder.parent_path() / ("." + folder.filename().string() + "." + suffix + ".deel");
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
  // Each take to export counts as much as each take to measure.
  std::size_t toExport = 0;
  for (const TDataSetItem &item : job.Items)
    toExport += item.ChosenTake.empty() ? 0 : 1;
  const double steps = static_cast<double>(toExport + takes.size());
  std::size_t step = 0;
  const auto next = [&] {
    if (control != nullptr) {
      if (control->Cancelled())
        throw EWorkCancelled();
      control->Report(steps > 0 ? static_cast<double>(step) / steps : 0.0);
    }
    ++step;
  };

  TDataSetFolder folder(job.Folder);
  std::error_code ec;
  if (!fs::create_directory(folder.Work() / "wavs", ec) || ec)
    platform::RaiseFileError(ec ? ec : std::make_error_code(std::errc::file_exists),
                             folder.Work() / "wavs");
  TDataSetReport report;
  for (const TDataSetItem &item : job.Items) {
    if (item.ChosenTake.empty()) {
      report.Missing.push_back(item.Id);
      continue;
    }
    next();
    ExportTake(layer, item.ChosenTake, folder.Work() / "wavs" / fs::u8path(item.Id + ".wav"),
               job.Format, nullptr);
    ++report.Exported;
  }
  for (TDataSetTake &take : takes) {
    next();
    const TWaveAnalysis wave = AnalyzeTake(layer, split, take.Path, 1, nullptr, true);
    take.Seconds = wave.Duration;
    take.Figures = wave.Figures;
  }
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
