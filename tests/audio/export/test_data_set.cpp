#include "audio/WorkControl.h"
#include "audio/analysis/FigureStore.h"
#include "audio/analysis/TakeAnalysis.h"
#include "audio/export/DataSet.h"
#include "platform/Errors.h"
#include "platform/FileOps.h"
#include "support/AudioTestKit.h"
#include "support/ScriptedAudioLayer.h"
#include "support/TestFiles.h"
#include "support/TestTakes.h"

#include <ebur128.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cmath>
#include <cstdlib>
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

// Dutch speech by espeak-ng (22050 Hz mono, 1.1 dB louder: RMS and peak then within the
// spoken-word limits) inside Lead and Tail seconds of room, all of it over a little noise
// (about -66 dB), as stereo. Empty without espeak-ng.
std::vector<std::int16_t> Speech(const fs::path &scratch, const std::string &text, double lead,
                                 double tail)
{
  const fs::path said = scratch / "espeak.wav";
  const std::string command =
      "espeak-ng -v nl -w '" + said.string() + "' '" + text + "' 2>/dev/null";
  if (std::system(command.c_str()) != 0)
    return {};
  const test::TDecoded voice = test::Decode(said);
  std::vector<std::int16_t> mono(static_cast<std::size_t>(lead * 22050), 0);
  mono.insert(mono.end(), voice.Samples.begin(), voice.Samples.end());
  mono.resize(mono.size() + static_cast<std::size_t>(tail * 22050), 0);
  std::uint32_t seed = 5;
  std::vector<std::int16_t> stereo;
  for (const std::int16_t v : mono) {
    seed = seed * 1664525u + 1013904223u;
    const auto s = static_cast<std::int16_t>(std::lround(v * 1.135) + (seed >> 27) - 16);
    stereo.insert(stereo.end(), {s, s});
  }
  return stereo;
}

// Integrated loudness by libebur128, the reference, and the sample peak of a file.
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

int Opened(const TScriptedAudioLayer &layer)
{
  return static_cast<int>(std::count(layer.Log.begin(), layer.Log.end(), "StreamCreateFile"));
}

} // namespace

// metadata.csv with the normalised column, "“" for a first '"'; metadata.jsonl beside
// the audio; opnames.tsv with the remarks; the figures in cijfers.tsv, so that a second
// export decodes only the takes it exports.
TEST_F(DataSet, FilesAsTrainersReadThemAndFiguresFromTheStore)
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
  const std::string line = "\t1.000\t-30.3\t-33.3\t-30.3\t-33\t0\tnee\tgeen spraak, te zacht\n";
  EXPECT_EQ(Text(job.Folder / "opnames.tsv"),
            "opname\tid\tstatus\tseconden\tluidheid_lufs\trms_db\tpiek_db\truisvloer_db\tgeclipt"
            "\tspraaklimieten\topmerkingen\n"
            "Koor-1.wav\tzin-1\tafgekeurd" + line + "Koor-2.wav\tzin-1\t" + line +
            "Koor-3.wav\tzin-3\tgekozen" + line + "Koor-4.wav\tzin-4\tgekozen" + line);
  std::cerr << "CIJFERS[" << Text(job.Session / "cijfers.tsv") << "]\n"; for (auto &e : fs::directory_iterator(job.Session)) std::cerr << e.path() << "\n";
  EXPECT_EQ(figure_store::ReadCurrent(job.Session).size(), 4u);
  EXPECT_EQ(Opened(layer), 4 + 3);
  // Nothing left beside it.
  int entries = 0;
  for (const auto &e : fs::directory_iterator(dir.Path()))
    entries += e.path() != job.Folder && e.path() != job.Session;
  EXPECT_EQ(entries, 0);

  layer.Log.clear();
  job.Folder = dir.Path() / "tweede";
  ExportDataSet(layer, {}, job, takes);
  EXPECT_EQ(Opened(layer), 3);
  EXPECT_EQ(Text(dir.Path() / "tweede" / "opnames.tsv"), Text(dir.Path() / "dataset" / "opnames.tsv"));
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

// Speech takes: the remarked ones skipped and listed; each file with exactly the margin
// around its speech, cut or padded; the loudness at the target (libebur128) unless the
// ceiling holds it back; FLAC with the same samples as WAV.
TEST_F(DataSet, SkippedMarginsLoudnessAndFlac)
{
  const std::vector<std::int16_t> roomy =
      Speech(dir.Path(), "Een café, über het ijs.", 0.6, 0.05);
  if (roomy.empty())
    GTEST_SKIP() << "no espeak-ng";
  Take("Koor-2.wav", roomy, 22050);
  Take("Koor-3.wav", Speech(dir.Path(), "Gewoon een zin.", 0.05, 0.7), 22050);
  job.SkipRemarked = true;
  job.Format = {16000, true, TExportFile::Wav, 200, std::nullopt};
  const TDataSetReport report = ExportDataSet(layer, {}, job, takes);
  EXPECT_EQ(report.Exported, 2);
  ASSERT_EQ(report.Skipped.size(), 1u);
  EXPECT_EQ(report.Skipped[0], (TDataSetSkip{"zin-4", "Koor-4.wav", "geen spraak, te zacht"}));
  EXPECT_EQ(Text(job.Folder / "overgeslagen.tsv"),
            "id\topname\topmerkingen\nzin-4\tKoor-4.wav\tgeen spraak, te zacht\n");
  EXPECT_EQ(Text(job.Folder / "metadata.csv").find("zin-4"), std::string::npos);
  EXPECT_EQ(Text(job.Folder / "wavs" / "metadata.jsonl").find("zin-4"), std::string::npos);
  EXPECT_FALSE(fs::exists(job.Folder / "wavs" / "zin-4.wav"));

  const std::vector<TStoredFigures> stored = figure_store::ReadCurrent(job.Session);
  for (const auto &[id, take] : {std::pair{"zin-1", "Koor-2.wav"}, std::pair{"zin-3", "Koor-3.wav"}}) {
    const auto of = std::find_if(stored.begin(), stored.end(),
                                 [&](const TStoredFigures &s) { return s.Take == take; });
    ASSERT_NE(of, stored.end());
    ASSERT_TRUE(of->Figures.HasSpeech) << take;
    const fs::path file = job.Folder / "wavs" / (std::string(id) + ".wav");
    const double speech = std::llround(of->Figures.SpeechEndSeconds * 16000) -
                          std::llround(of->Figures.SpeechStartSeconds * 16000);
    EXPECT_EQ(Level(file).Frames, speech + 2 * 3200) << id;
    // The silence measured on the file, as the figures find speech.
    const TTakeFigures out = AnalyzeTake(layer, {}, file, 1, nullptr, true).Figures;
    EXPECT_NEAR(out.SpeechStartSeconds, 0.200, 0.012) << id;
    EXPECT_NEAR(Level(file).Frames / 16000.0 - out.SpeechEndSeconds, 0.200, 0.012) << id;
  }

  // The loudness, with and without the ceiling; a take without speech as it is.
  job.SkipRemarked = false;
  for (const double target : {-23.0, -10.0}) {
    job.Folder = dir.Path() / ("luid" + std::to_string(int(-target)));
    job.Format.LoudnessLufs = target;
    ExportDataSet(layer, {}, job, takes);
    for (const char *id : {"zin-1", "zin-3"}) {
      const TLevel level = Level(job.Folder / "wavs" / (std::string(id) + ".wav"));
      EXPECT_LE(level.Peak, 29204) << id; // -1 dBFS
      if (target == -23.0)
        EXPECT_NEAR(level.Lufs, target, 0.1) << id;
      else
        EXPECT_TRUE(level.Peak == 29204 && level.Lufs < target) << id << " " << level.Lufs;
    }
    EXPECT_EQ(Level(job.Folder / "wavs" / "zin-4.wav").Frames, 16000);
  }

  job.Folder = dir.Path() / "flac";
  job.Format.File = TExportFile::Flac;
  ExportDataSet(layer, {}, job, takes);
  EXPECT_EQ(Text(job.Folder / "metadata.csv"), Text(dir.Path() / "luid10" / "metadata.csv"));
  EXPECT_EQ(Text(job.Folder / "wavs" / "metadata.jsonl").substr(0, 38),
            "{\"file_name\": \"zin-1.flac\", \"text\": \"");
  for (const char *id : {"zin-1", "zin-3", "zin-4"}) {
    const test::TDecoded flac = test::Decode(job.Folder / "wavs" / (std::string(id) + ".flac"));
    const test::TDecoded wav = test::Decode(dir.Path() / "luid10" / "wavs" / (std::string(id) + ".wav"));
    EXPECT_TRUE(flac.Rate == 16000 && flac.Channels == 1 && flac.Frames == wav.Frames) << id;
    EXPECT_TRUE(flac.Samples == wav.Samples) << id;
  }
}
