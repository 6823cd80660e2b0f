// The data set from takes of real synthetic speech: the figures from cijfers.tsv, the
// takes with remarks skipped, the margins of silence and the loudness measured on the
// written files (the loudness by libebur128, the reference), FLAC read back.

#include "audio/analysis/FigureStore.h"
#include "audio/analysis/TakeAnalysis.h"
#include "audio/export/DataSet.h"
#include "support/AudioTestKit.h"
#include "support/ScriptedAudioLayer.h"
#include "support/TestFiles.h"
#include "support/TestSpeech.h"
#include "support/TestTakes.h"

#include <ebur128.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <sstream>

using namespace praatkist;
using namespace praatkist::audio;
namespace fs = std::filesystem;

namespace {

std::string Text(const fs::path &file)
{
  std::ifstream in(file, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// A file's integrated loudness by libebur128, its sample peak and frames.
struct TLevel {
  double Lufs = 0;
  int Peak = 0;
  std::int64_t Frames = 0;
};
TLevel Level(const fs::path &file)
{
  const test::TDecoded d = test::Decode(file);
  ebur128_state *st = ebur128_init(static_cast<unsigned>(d.Channels),
                                   static_cast<unsigned long>(d.Rate), EBUR128_MODE_I);
  ebur128_add_frames_short(st, d.Samples.data(), d.Samples.size() / d.Channels);
  TLevel level;
  ebur128_loudness_global(st, &level.Lufs);
  ebur128_destroy(&st);
  for (const std::int16_t s : d.Samples)
    level.Peak = std::max(level.Peak, std::abs(int{s}));
  level.Frames = d.Frames;
  return level;
}

int Opened(const test::TScriptedAudioLayer &layer)
{
  return static_cast<int>(std::count(layer.Log.begin(), layer.Log.end(), "StreamCreateFile"));
}

} // namespace

TEST(DataSetSpeech, SkippedMarginsLoudnessAndFlac)
{
  test::TTempDir dir;
  test::TScriptedAudioLayer layer;
  TDataSetJob job;
  job.Session = dir.Path() / "Koor";
  fs::create_directory(job.Session);
  // A clean take with room to cut at its start and too little at its end, one the
  // other way round, and room alone.
  test::TSpeechTake take;
  take.LeadSeconds = 0.6;
  take.TailSeconds = 0.05;
  test::WriteSpeech(job.Session / "Koor-1.wav", take);
  take.Text = "Een café, über het ijs.";
  take.LeadSeconds = 0.05;
  take.TailSeconds = 0.7;
  test::WriteSpeech(job.Session / "Koor-2.wav", take);
  take.Text.clear();
  test::WriteSpeech(job.Session / "Koor-3.wav", take);
  job.Items = {{"zin-1", "De kat krabt de krullen van de trap.", job.Session / "Koor-1.wav", 29},
               {"zin-2", "Een café, über het ĳs.", job.Session / "Koor-2.wav", 17},
               {"zin-3", "Stilte.", job.Session / "Koor-3.wav", 6}};
  const std::vector<TDataSetTake> takes = {
      {"Koor-1.wav", "zin-1", "gekozen"}, {"Koor-2.wav", "zin-2", ""}, {"Koor-3.wav", "zin-3", ""}};
  job.Folder = dir.Path() / "marge";
  job.SkipRemarked = true;
  job.Format = {16000, true, TExportFile::Wav, 200};

  const TDataSetReport report = ExportDataSet(layer, {}, job, takes);
  EXPECT_EQ(report.Exported, 2);
  ASSERT_EQ(report.Skipped.size(), 1u);
  EXPECT_EQ(report.Skipped[0], (TDataSetSkip{"zin-3", "Koor-3.wav", "geen spraak"}));
  EXPECT_EQ(Text(job.Folder / "overgeslagen.tsv"),
            "id\topname\topmerkingen\nzin-3\tKoor-3.wav\tgeen spraak\n");
  EXPECT_EQ(Text(job.Folder / "metadata.csv").find("zin-3"), std::string::npos);
  EXPECT_EQ(Text(job.Folder / "wavs" / "metadata.jsonl").find("zin-3"), std::string::npos);
  EXPECT_FALSE(fs::exists(job.Folder / "wavs" / "zin-3.wav"));
  EXPECT_NE(Text(job.Folder / "opnames.tsv").find("\tnee\tgeen spraak\n"), std::string::npos);

  // The figures went into cijfers.tsv: exactly the margin around the speech they found,
  // cut or padded, and the silence measured on the file as the figures find speech.
  const std::vector<TStoredFigures> stored = figure_store::ReadCurrent(job.Session);
  ASSERT_EQ(stored.size(), 3u);
  for (const TStoredFigures &s : stored) {
    if (s.Take == "Koor-3.wav")
      continue;
    ASSERT_TRUE(s.Figures.HasSpeech) << s.Take;
    const fs::path file = job.Folder / "wavs" / (s.Take == "Koor-1.wav" ? "zin-1.wav" : "zin-2.wav");
    const std::int64_t speech = std::llround(s.Figures.SpeechEndSeconds * 16000) -
                                std::llround(s.Figures.SpeechStartSeconds * 16000);
    const TLevel level = Level(file);
    EXPECT_EQ(level.Frames, speech + 2 * 3200) << s.Take;
    const TTakeFigures out = AnalyzeTake(layer, {}, file, 1, nullptr, true).Figures;
    EXPECT_NEAR(out.SpeechStartSeconds, 0.200, 0.012) << s.Take;
    EXPECT_NEAR(level.Frames / 16000.0 - out.SpeechEndSeconds, 0.200, 0.012) << s.Take;
  }

  // Known now: the next exports decode only the takes they export. The loudness at the
  // target, or held back by the ceiling (-1 dBFS); a take without speech as it is.
  job.SkipRemarked = false;
  for (const double target : {-23.0, -12.0}) {
    layer.Log.clear();
    job.Folder = dir.Path() / ("luid" + std::to_string(int(-target)));
    job.Format.LoudnessLufs = target;
    ExportDataSet(layer, {}, job, takes);
    EXPECT_EQ(Opened(layer), 3);
    for (const char *id : {"zin-1", "zin-2"}) {
      const TLevel level = Level(job.Folder / "wavs" / (std::string(id) + ".wav"));
      EXPECT_LE(level.Peak, 29204) << id;
      if (target == -23.0)
        EXPECT_NEAR(level.Lufs, target, 0.1) << id;
      else
        EXPECT_TRUE(level.Peak == 29204 && level.Lufs < target) << id << " " << level.Lufs;
    }
    EXPECT_EQ(Level(job.Folder / "wavs" / "zin-3.wav").Frames, 16000 * 3 / 4);
  }

  job.Folder = dir.Path() / "flac";
  job.Format.File = TExportFile::Flac;
  ExportDataSet(layer, {}, job, takes);
  EXPECT_EQ(Text(job.Folder / "metadata.csv"), Text(dir.Path() / "luid12" / "metadata.csv"));
  EXPECT_EQ(Text(job.Folder / "wavs" / "metadata.jsonl").substr(0, 37),
            "{\"file_name\": \"zin-1.flac\", \"text\": \"");
  for (const char *id : {"zin-1", "zin-2", "zin-3"}) {
    const test::TDecoded flac = test::Decode(job.Folder / "wavs" / (std::string(id) + ".flac"));
    const test::TDecoded wav =
        test::Decode(dir.Path() / "luid12" / "wavs" / (std::string(id) + ".wav"));
    EXPECT_TRUE(flac.Rate == 16000 && flac.Channels == 1 && flac.Frames == wav.Frames) << id;
    EXPECT_TRUE(flac.Samples == wav.Samples) << id;
  }
}
