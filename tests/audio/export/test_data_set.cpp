#include "audio/WorkControl.h"
#include "audio/export/DataSet.h"
#include "platform/Errors.h"
#include "platform/FileOps.h"
#include "support/ScriptedAudioLayer.h"
#include "support/TestFiles.h"
#include "support/TestTakes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <numbers>
#include <sstream>

using namespace praatkist;
using namespace praatkist::audio;
namespace fs = std::filesystem;
using praatkist::test::TScriptedAudioLayer;

namespace {

std::string Text(const fs::path &file)
{
  std::ifstream in(file, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// the n-th write of the data set fails as on a full disk (0: none); takes are written
// side by side (cijfers.tsv in the session is not the data set's)
std::atomic<int> gFailWrites{0};
int FullDisk(const char *step, const fs::path &path)
{
  return std::strcmp(step, "write") == 0 && path.filename().string().rfind("cijfers", 0) != 0 &&
                 --gFailWrites == 0
             ? ENOSPC
             : 0;
}

// A second of 1 kHz at peak 1000 (-30.3 dB) on both channels at 48 kHz: a steady tone,
// so no speech and too quiet.
std::vector<std::int16_t> Tone(double seconds = 1.0)
{
  std::vector<std::int16_t> s;
  for (int f = 0; f < seconds * 48000; ++f) {
    const auto v = static_cast<std::int16_t>(
        std::lround(1000 * std::sin(2 * std::numbers::pi * 1000 * f / 48000.0)));
    s.insert(s.end(), {v, v});
  }
  return s;
}

class DataSet : public ::testing::Test {
protected:
  test::TTempDir dir;
  TScriptedAudioLayer layer;
  TDataSetJob job;
  std::vector<TDataSetTake> takes;

  fs::path Take(const std::string &name, const std::vector<std::int16_t> &samples,
                std::uint32_t rate = 48000)
  {
    test::WriteWave(job.Session / name, rate, 2, samples);
    return job.Session / name;
  }

  void SetUp() override
  {
    job.Session = dir.Path() / "Koor";
    fs::create_directory(job.Session);
    for (const char *take : {"Koor-1.wav", "Koor-2.wav", "Koor-3.wav", "Koor-4.wav"})
      Take(take, Tone());
    job.Folder = dir.Path() / "dataset";
    job.Format = {22050, true};
    job.Items = {{"zin-1", "\"Kom hier,\" zei ze.", job.Session / "Koor-2.wav", 13},
                 {"zin-2", "Geen opname.", {}, 10},
                 {"zin-3", "Een café, über het ĳs.", job.Session / "Koor-3.wav", 16},
                 {"zin-4", "Gewoon een zin.", job.Session / "Koor-4.wav", 13}};
    takes = {{"Koor-1.wav", "zin-1", "afgekeurd"},
             {"Koor-2.wav", "zin-1", ""},
             {"Koor-3.wav", "zin-3", "gekozen"},
             {"Koor-4.wav", "zin-4", "gekozen"}};
  }
  void TearDown() override { platform::SetFileFaultHook(nullptr); }
};

} // namespace

// metadata.csv with the normalised column, "“" for a first '"'; metadata.jsonl beside
// the audio; opnames.tsv with the remarks.
TEST_F(DataSet, FilesAsTrainersReadThem)
{
  const TDataSetReport report = ExportDataSet(layer, {}, job, takes);
  EXPECT_EQ(report.Exported, 3);
  EXPECT_EQ(report.Missing, std::vector<std::string>{"zin-2"});
  EXPECT_EQ(report.QuotesMended, 1);
  EXPECT_EQ(Text(job.Folder / "metadata.csv"),
            "zin-1|\u201CKom hier,\" zei ze.|\u201CKom hier,\" zei ze.\n"
            "zin-3|Een café, über het ĳs.|Een café, über het ĳs.\n"
            "zin-4|Gewoon een zin.|Gewoon een zin.\n");
  EXPECT_EQ(Text(job.Folder / "wavs" / "metadata.jsonl"),
            "{\"file_name\": \"zin-1.wav\", \"text\": \"\\\"Kom hier,\\\" zei ze.\"}\n"
            "{\"file_name\": \"zin-3.wav\", \"text\": \"Een café, über het ĳs.\"}\n"
            "{\"file_name\": \"zin-4.wav\", \"text\": \"Gewoon een zin.\"}\n");
  for (const char *wav : {"zin-1.wav", "zin-3.wav", "zin-4.wav"})
    EXPECT_TRUE(fs::is_regular_file(job.Folder / "wavs" / wav)) << wav;
  EXPECT_FALSE(fs::exists(job.Folder / "wavs" / "zin-2.wav"));
  EXPECT_FALSE(fs::exists(job.Folder / "overgeslagen.tsv"));
  const std::string line = "\t1.000\t-30.3\t-33.3\t-30.3\t-33\t0\tnee\tgeen spraak, ruisvloer te hoog\n";
  EXPECT_EQ(Text(job.Folder / "opnames.tsv"),
            "opname\tid\tstatus\tseconden\tluidheid_lufs\trms_db\tpiek_db\truisvloer_db\tgeclipt"
            "\tspraaklimieten\topmerkingen\n"
            "Koor-1.wav\tzin-1\tafgekeurd" + line + "Koor-2.wav\tzin-1\t" + line +
            "Koor-3.wav\tzin-3\tgekozen" + line + "Koor-4.wav\tzin-4\tgekozen" + line);
  // Nothing left beside it.
  int entries = 0;
  for (const auto &e : fs::directory_iterator(dir.Path()))
    entries += e.path() != job.Folder && e.path() != job.Session;
  EXPECT_EQ(entries, 0);
}

TEST_F(DataSet, ManyTakesSideBySideEachInItsOwnFileAndLineAndOneGoneFailsThemAll)
{
  // Twelve takes of 0.1 .. 1.2 s, more than there are threads: every file and every line
  // holds its own take's length, the lines in the takes' order.
  job.Items.clear();
  takes.clear();
  for (int k = 1; k <= 12; ++k) {
    const std::string n = std::to_string(k);
    job.Items.push_back({"lang-" + n, "Tekst " + n, Take("Lang-" + n + ".wav", Tone(k / 10.0)), 6});
    takes.push_back({"Lang-" + n + ".wav", "lang-" + n, ""});
  }
  EXPECT_EQ(ExportDataSet(layer, {}, job, takes).Exported, 12);
  std::istringstream tsv(Text(job.Folder / "opnames.tsv"));
  std::string line;
  std::getline(tsv, line);
  for (int k = 1; k <= 12; ++k) {
    const std::string n = std::to_string(k);
    const std::string wav = Text(job.Folder / "wavs" / ("lang-" + n + ".wav"));
    EXPECT_NEAR(double(wav.size() - 44) / 2, k * 2205.0, 2.0) << k;
    char seconds[16];
    std::snprintf(seconds, sizeof seconds, "%.3f", k / 10.0);
    ASSERT_TRUE(std::getline(tsv, line));
    EXPECT_EQ(line.substr(0, line.find('\t', line.find(seconds))),
              "Lang-" + n + ".wav\tlang-" + n + "\t\t" + seconds);
  }

  // A take gone meanwhile, among the others: no data set, nothing beside the first.
  job.Folder = dir.Path() / "tweede";
  job.Items[6].ChosenTake = job.Session / "weg.wav";
  EXPECT_THROW(ExportDataSet(layer, {}, job, takes), EAudioError);
  int entries = 0;
  for (const auto &e : fs::directory_iterator(dir.Path()))
    entries += e.path() != dir.Path() / "dataset" && e.path() != job.Session;
  EXPECT_EQ(entries, 0);
}

TEST_F(DataSet, FullDiskCancelOrAFolderInUseLeaveNoFolder)
{
  const auto onlySession = [&] {
    return std::distance(fs::directory_iterator(dir.Path()), fs::directory_iterator{}) == 1;
  };
  for (int nth : {1, 3, 9}) {
    gFailWrites = nth;
    platform::SetFileFaultHook(FullDisk);
    EXPECT_THROW(ExportDataSet(layer, {}, job, takes), EFileError) << nth;
    platform::SetFileFaultHook(nullptr);
    EXPECT_TRUE(onlySession()) << nth;
  }
  TWorkControl control;
  control.Cancel();
  EXPECT_THROW(ExportDataSet(layer, {}, job, takes, &control), EWorkCancelled);
  EXPECT_TRUE(onlySession());

  // An empty folder of that name is taken; one with anything in it never written into.
  fs::create_directory(job.Folder);
  ExportDataSet(layer, {}, job, takes);
  const std::string written = Text(job.Folder / "metadata.csv");
  EXPECT_FALSE(written.empty());
  EXPECT_THROW(ExportDataSet(layer, {}, job, takes), EFileError);
  EXPECT_EQ(Text(job.Folder / "metadata.csv"), written);
}
