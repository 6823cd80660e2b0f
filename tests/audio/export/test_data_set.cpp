#include "audio/WorkControl.h"
#include "audio/export/DataSet.h"
#include "platform/Errors.h"
#include "platform/FileOps.h"
#include "support/ScriptedAudioLayer.h"
#include "support/TestFiles.h"

#include <gtest/gtest.h>

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

int gFailWrites = 0; // the n-th write fails as on a full disk (0: none)
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
