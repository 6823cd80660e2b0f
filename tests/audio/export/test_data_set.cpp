#include "audio/WorkControl.h"
#include "audio/export/DataSet.h"
#include "platform/Errors.h"
#include "platform/FileOps.h"
#include "support/ScriptedAudioLayer.h"
#include "support/TestFiles.h"

#include <gtest/gtest.h>

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

// the n-th write fails as on a full disk (0: none); takes are written side by side
std::atomic<int> gFailWrites{0};
int FullDisk(const char *step, const fs::path &)
{
  return std::strcmp(step, "write") == 0 && --gFailWrites == 0 ? ENOSPC : 0;
}

class DataSet : public ::testing::Test {
protected:
  test::TTempDir dir;
  TScriptedAudioLayer layer;
  TDataSetJob job;
  std::vector<TDataSetTake> takes;

  void SetUp() override
  {
    TScriptedAudioLayer::TScriptedStream s;
    // one second of 1 kHz, peak 1000 (-30.3 dB), on both channels: RMS 3 dB under the
    // peak, as its quietest half second; K-weighted +0.7 dB at 1 kHz, two channels +3 dB,
    // less 0.691: -30.3 LUFS
    for (int f = 0; f < 48000; ++f) {
      const double phase = 2 * std::numbers::pi * 1000 * f / 48000.0;
      const auto v = static_cast<std::int16_t>(std::lround(1000 * std::sin(phase)));
      s.Samples.push_back(v);
      s.Samples.push_back(v);
    }
    for (const char *take : {"/s/Koor-1.wav", "/s/Koor-2.wav", "/s/Koor-3.wav"})
      layer.AddStream(take, s);
    job.Folder = dir.Path() / "dataset";
    job.Format = {22050, true};
    job.Items = {{"zin-1", "Eén zin, met een komma.", "/s/Koor-2.wav"},
                 {"zin-2", "Geen opname.", {}},
                 {"zin-3", "Derde", "/s/Koor-3.wav"}};
    takes = {{"/s/Koor-1.wav", "Koor-1.wav", "zin-1", "afgekeurd", 0.0, {}},
             {"/s/Koor-2.wav", "Koor-2.wav", "zin-1", "", 0.0, {}},
             {"/s/Koor-3.wav", "Koor-3.wav", "zin-3", "gekozen", 0.0, {}}};
  }
  void TearDown() override { platform::SetFileFaultHook(nullptr); }
};

} // namespace

TEST_F(DataSet, FilesAsTheListAndTheChosenTakesSay)
{
  const TDataSetReport report = ExportDataSet(layer, {}, job, takes);
  EXPECT_EQ(report.Exported, 2);
  EXPECT_EQ(report.Missing, std::vector<std::string>{"zin-2"});
  EXPECT_EQ(Text(job.Folder / "metadata.csv"), "zin-1|Eén zin, met een komma.\nzin-3|Derde\n");
  EXPECT_TRUE(fs::is_regular_file(job.Folder / "wavs" / "zin-1.wav"));
  EXPECT_TRUE(fs::is_regular_file(job.Folder / "wavs" / "zin-3.wav"));
  EXPECT_FALSE(fs::exists(job.Folder / "wavs" / "zin-2.wav"));
  EXPECT_EQ(Text(job.Folder / "opnames.tsv"),
            "opname\tid\tstatus\tseconden\tluidheid_lufs\trms_db\tpiek_db\truisvloer_db\tgeclipt"
            "\tspraaklimieten\n"
            "Koor-1.wav\tzin-1\tafgekeurd\t1.000\t-30.3\t-33.3\t-30.3\t-33\t0\tnee\n"
            "Koor-2.wav\tzin-1\t\t1.000\t-30.3\t-33.3\t-30.3\t-33\t0\tnee\n"
            "Koor-3.wav\tzin-3\tgekozen\t1.000\t-30.3\t-33.3\t-30.3\t-33\t0\tnee\n");
  // Nothing left beside it.
  int entries = 0;
  for (const auto &e : fs::directory_iterator(dir.Path()))
    entries += e.path() != job.Folder;
  EXPECT_EQ(entries, 0);
}

TEST_F(DataSet, ManyTakesSideBySideEachInItsOwnFileAndLineAndOneGoneFailsThemAll)
{
  // Twelve takes of 0.1 .. 1.2 s, more than there are threads: every file and every line
  // holds its own take's length, the lines in the takes' order.
  job.Items.clear();
  takes.clear();
  for (int k = 1; k <= 12; ++k) {
    TScriptedAudioLayer::TScriptedStream s;
    for (int f = 0; f < k * 4800; ++f) {
      const auto v = static_cast<std::int16_t>(
          std::lround(1000 * std::sin(2 * std::numbers::pi * 440 * f / 48000.0)));
      s.Samples.insert(s.Samples.end(), {v, v});
    }
    const std::string n = std::to_string(k);
    layer.AddStream("/s/Lang-" + n + ".wav", s);
    job.Items.push_back({"lang-" + n, "Tekst " + n, "/s/Lang-" + n + ".wav"});
    takes.push_back({"/s/Lang-" + n + ".wav", "Lang-" + n + ".wav", "lang-" + n, "", 0.0, {}});
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
  job.Items[6].ChosenTake = dir.Path() / "weg.wav";
  EXPECT_THROW(ExportDataSet(layer, {}, job, takes), EAudioError);
  int entries = 0;
  for (const auto &e : fs::directory_iterator(dir.Path()))
    entries += e.path() != dir.Path() / "dataset";
  EXPECT_EQ(entries, 0);
}

TEST_F(DataSet, FullDiskCancelOrAFolderInUseLeaveNoFolder)
{
  for (int nth : {1, 3, 9}) {
    gFailWrites = nth;
    platform::SetFileFaultHook(FullDisk);
    EXPECT_THROW(ExportDataSet(layer, {}, job, takes), EFileError) << nth;
    platform::SetFileFaultHook(nullptr);
    EXPECT_TRUE(fs::is_empty(dir.Path())) << nth;
  }
  TWorkControl control;
  control.Cancel();
  EXPECT_THROW(ExportDataSet(layer, {}, job, takes, &control), EWorkCancelled);
  EXPECT_TRUE(fs::is_empty(dir.Path()));

  // An empty folder of that name is taken; one with anything in it never written into.
  fs::create_directory(job.Folder);
  ExportDataSet(layer, {}, job, takes);
  EXPECT_TRUE(fs::exists(job.Folder / "metadata.csv"));
  EXPECT_THROW(ExportDataSet(layer, {}, job, takes), EFileError);
  EXPECT_EQ(Text(job.Folder / "metadata.csv"), "zin-1|Eén zin, met een komma.\nzin-3|Derde\n");
}
