// The checks of a data set's takes on real synthetic speech: for each remark a take
// made to deserve it, beside a clean take that deserves none, each measured as the
// program measures its takes.

#include "audio/BassRecorder.h"
#include "audio/analysis/TakeChecks.h"
#include "support/ScriptedAudioLayer.h"
#include "support/TestFiles.h"
#include "support/TestSpeech.h"

#include <gtest/gtest.h>

using namespace praatkist;
using audio::TRemark;
using test::TSpeechTake;

namespace {

constexpr std::size_t kChars = 29; // letters of the default sentence

struct TCase {
  const char *Name;
  TSpeechTake Take;
  std::size_t Chars;
  std::vector<TRemark> Expected; // exactly these
};

TSpeechTake With(void (*change)(TSpeechTake &))
{
  TSpeechTake take;
  change(take);
  return take;
}

std::string Describe(const audio::TTakeFigures &f, double seconds)
{
  char text[256];
  std::snprintf(text, sizeof text,
                "length %.3f s, speech %.3f..%.3f s (%d), rms %.1f, peak %.1f, floor %.1f, "
                "speech rms %.1f, clipped %llu",
                seconds, f.SpeechStartSeconds, f.SpeechEndSeconds, f.HasSpeech ? 1 : 0, f.RmsDb,
                f.PeakDb, f.NoiseFloorDb, f.SpeechRmsDb,
                static_cast<unsigned long long>(f.ClippedSamples));
  return text;
}

TEST(TakeChecks, EachRemarkFiresOnTheTakeThatDeservesItAndOnNoOther)
{
  const std::vector<TCase> cases = {
      {"clean", {}, kChars, {}},
      {"room alone", With([](TSpeechTake &t) { t.Text.clear(); t.LeadSeconds = 1.0; }), kChars,
       {TRemark::NoSpeech}},
      {"one short word, no text",
       With([](TSpeechTake &t) { t.Text = "ja"; t.WordsPerMinute = 280; t.PeakDb = -7; }),
       0, {TRemark::TooShort}},
      {"half the sentence", With([](TSpeechTake &t) { t.Text = "De kat"; }), kChars,
       {TRemark::TooShort, TRemark::Tempo}},
      {"cut at its start", With([](TSpeechTake &t) { t.LeadSeconds = 0; t.CutStartSeconds = 0.04; }),
       kChars, {TRemark::CutStart}},
      {"cut at its end", With([](TSpeechTake &t) { t.TailSeconds = 0; t.CutEndSeconds = 0.04; }),
       kChars, {TRemark::CutEnd}},
      {"twice the pace", With([](TSpeechTake &t) { t.WordsPerMinute = 300; }), kChars,
       {TRemark::Tempo}},
      {"clipped", With([](TSpeechTake &t) { t.GainDb = 8; }), kChars,
       {TRemark::Clipped, TRemark::TooLoud, TRemark::PeakHigh}},
      {"quiet", With([](TSpeechTake &t) { t.PeakDb = -20; }), kChars, {TRemark::TooQuiet}},
      {"peak near full scale", With([](TSpeechTake &t) { t.PeakDb = -1; }), kChars,
       {TRemark::PeakHigh}},
      {"noisy room", With([](TSpeechTake &t) { t.NoiseDb = -52; }), kChars,
       {TRemark::FloorHigh}},
      {"voice in the noise", With([](TSpeechTake &t) { t.NoiseDb = -42; }), kChars,
       {TRemark::FloorHigh, TRemark::Noise}},
  };
  test::TScriptedAudioLayer layer;
  TBassRecorder engine{layer};
  test::TTempDir dir;

  // The session's pace: the clean take's, as if most takes were like it.
  double median = 0;
  for (const TCase &c : cases) {
    const auto file = dir.Path() / (std::string(c.Name) + ".wav");
    test::WriteSpeech(file, c.Take);
    const TWaveAnalysis wave = engine.AnalyzeFile(file, 1, nullptr, true);
    if (median == 0)
      median = audio::CharsPerSecond(wave.Figures, kChars);
    ASSERT_GT(median, 5.0);
    audio::TTakeRemarks expected;
    for (TRemark r : c.Expected)
      expected.Add(r);
    const audio::TTakeRemarks got = audio::CheckTake(wave.Figures, wave.Duration, c.Chars, median);
    EXPECT_EQ(got.Joined(), expected.Joined())
        << c.Name << ": " << Describe(wave.Figures, wave.Duration);
  }
}

} // namespace
