// MP3 trims that copy the take's own frames: decoded by libsndfile (the decoder the
// program uses, libmpg123 inside), the trimmed take must give exactly the original's
// samples over the kept range, and a take that cannot be copied so is encoded anew.

#include "audio/BassRecorder.h"
#include "audio/trim/Mp3FrameTrim.h"
#include "audio/codec/Mp3Frames.h"
#include "audio/codec/SndfileDecoder.h"
#include "audio/TakeFiles.h"
#include "platform/FileOps.h"
#include "support/ScriptedAudioLayer.h"
#include "support/TestFiles.h"
#include "support/TestTakes.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

using namespace praatkist;
using namespace praatkist::audio;
using praatkist::test::ReadBytes;
using praatkist::test::TTempDir;
namespace fs = std::filesystem;

namespace {

struct TFormat {
  std::uint32_t Rate;
  std::uint16_t Chans;
  int Kbps;
};

// Noise bursts of changing loudness from From to To seconds, silence elsewhere.
std::vector<std::int16_t> Speech(const TFormat &f, double seconds, double from, double to)
{
  const auto frames = static_cast<std::size_t>(seconds * f.Rate);
  std::vector<std::int16_t> s(frames * f.Chans, 0);
  std::uint32_t seed = 99;
  for (std::size_t i = static_cast<std::size_t>(from * f.Rate);
       i < std::min(frames, static_cast<std::size_t>(to * f.Rate)); ++i) {
    const double loud = 3000 + 9000 * std::fabs(std::sin(static_cast<double>(i) / 4000.0));
    for (std::size_t c = 0; c < f.Chans; ++c) {
      seed = seed * 1664525u + 1013904223u;
      s[i * f.Chans + c] = static_cast<std::int16_t>(loud * ((seed >> 16) / 32768.0 - 1.0));
    }
  }
  return s;
}

// The take as the program records it: LAME at a constant bit rate, with its tag frame.
void EncodeTake(const fs::path &path, const TFormat &f, const std::vector<std::int16_t> &s)
{
  ASSERT_TRUE(test::WriteMp3(path, f.Rate, f.Chans, f.Kbps, s));
}

// Every sample libsndfile decodes, as floats (no rounding of ours in between).
std::vector<float> Decode(const fs::path &path, std::uint16_t chans)
{
  SF_INFO info{};
  SNDFILE *sf = sf_open(path.string().c_str(), SFM_READ, &info);
  EXPECT_NE(sf, nullptr) << path;
  if (sf == nullptr)
    return {};
  EXPECT_EQ(info.channels, chans);
  std::vector<float> out(static_cast<std::size_t>(info.frames) * chans + 1152 * chans);
  const sf_count_t got = sf_readf_float(sf, out.data(), info.frames + 1152);
  EXPECT_EQ(got, info.frames) << "delivers what it reports";
  sf_close(sf);
  out.resize(static_cast<std::size_t>(got) * chans);
  return out;
}

// Decoded frames [Start, End) of Whole equal All of Part, sample for sample.
void ExpectKeptRange(const std::vector<float> &whole, const std::vector<float> &part,
                     std::uint64_t start, std::uint64_t end, std::uint16_t chans)
{
  ASSERT_EQ(part.size(), (end - start) * chans) << "the same count";
  std::size_t differ = 0;
  for (std::size_t i = 0; i < part.size(); ++i)
    differ += part[i] != whole[start * chans + i];
  EXPECT_EQ(differ, 0u) << "samples that differ of " << part.size();
}

// The tag's CRC as LAME computes it over the tag frame up to the field.
bool TagCrcValid(const std::vector<std::uint8_t> &file)
{
  TMp3TagLayout tag;
  if (!FindMp3Tag(file.data(), file.size(), tag))
    return false;
  const std::uint16_t crc = Mp3Crc16(file.data(), tag.Lame + 34);
  return file[tag.Lame + 34] == (crc >> 8) && file[tag.Lame + 35] == (crc & 0xFF);
}

#ifndef _WIN32
std::uint64_t Mpg123Frames(const fs::path &path, std::uint16_t chans)
{
  const std::string cmd = "mpg123 -q -s '" + path.string() + "' | wc -c";
  FILE *p = popen(cmd.c_str(), "r");
  unsigned long long bytes = 0;
  if (p == nullptr || std::fscanf(p, "%llu", &bytes) != 1)
    ADD_FAILURE() << "mpg123 did not run";
  if (p != nullptr)
    pclose(p);
  return bytes / (2u * chans);
}
#endif

class Mp3FrameTrimTest : public ::testing::TestWithParam<TFormat> {
protected:
  TTempDir dir;
};

} // namespace

TEST_P(Mp3FrameTrimTest, KeptRangeDecodesExactlyAndTheFileIsSound)
{
  const TFormat f = GetParam();
  const fs::path take = dir / "take.mp3", cut = dir / "cut.mp3";
  EncodeTake(take, f, Speech(f, 3.0, 0.0, 3.0)); // loud material right at every cut
  const auto original = ReadBytes(take);
  ASSERT_TRUE(TagCrcValid(original)) << "the CRC is LAME's";
  const std::vector<float> whole = Decode(take, f.Chans);
  TMp3Take mp3;
  ASSERT_TRUE(ReadMp3Take(take, mp3));
  ASSERT_EQ(mp3.Samples() * f.Chans, whole.size());

  // Output sample k lies in frame (k + delay + 529) / 1152: cuts one sample before, on
  // and after a frame's first sample, near the start, in the middle and at the very end.
  const std::int64_t skip = mp3.Delay + 529;
  const std::uint64_t total = mp3.Samples();
  std::vector<std::pair<std::uint64_t, std::uint64_t>> cuts = {{0, 5000}, {3, total}};
  for (const std::int64_t d : {-1, 0, 1})
    for (const std::int64_t frame : {2, 3, 40, 41})
      cuts.emplace_back(frame * 1152 - skip + d, (frame + 60) * 1152 - skip + d);
  for (const auto &[start, end] : cuts) {
    SCOPED_TRACE(std::to_string(start) + " .. " + std::to_string(end));
    platform::TReadFile source(take);
    TFrameTrim plan;
    ASSERT_TRUE(PlanFrameTrim(mp3, source, start, end, plan));
    fs::remove(cut);
    std::vector<std::uint8_t> buffer(1 << 16);
    WriteFrameTrim(mp3, plan, source, cut, buffer.data(), buffer.size(), [](double) {});
    ExpectKeptRange(whole, Decode(cut, f.Chans), start, end, f.Chans);

    const auto bytes = ReadBytes(cut);
    EXPECT_TRUE(TagCrcValid(bytes));
#ifndef _WIN32 // the mpg123 program is the host's
    EXPECT_EQ(Mpg123Frames(cut, f.Chans), end - start) << "mpg123 agrees on the length";
#endif
    // After the tag (and a frame made for the bit reservoir) come the original's bytes.
    TMp3Take back;
    ASSERT_TRUE(ReadMp3Take(cut, back));
    const std::size_t from = back.Frames.size() > plan.End - plan.First ? 1 : 0;
    const auto tail = bytes.begin() + static_cast<std::ptrdiff_t>(back.Frames[from].Offset);
    EXPECT_NE(std::search(original.begin(), original.end(), tail, bytes.end()), original.end());
  }
}

INSTANTIATE_TEST_SUITE_P(Formats, Mp3FrameTrimTest,
                         ::testing::Values(TFormat{44100, 1, 128}, TFormat{44100, 2, 320},
                                           TFormat{48000, 2, 128}, TFormat{48000, 1, 320}),
                         [](const auto &info) {
                           return std::to_string(info.param.Rate) +
                                  (info.param.Chans == 1 ? "Mono" : "Stereo") +
                                  std::to_string(info.param.Kbps);
                         });

// ---- through the engine: the trim as the window asks for it ----

namespace {

class Mp3TrimTest : public ::testing::Test {
protected:
  TTempDir dir;
  test::TScriptedAudioLayer layer; // decodes MP3 with libsndfile, as the real layer
  TBassRecorder rec{layer};
  fs::path take = dir / "Koor-1.mp3";
  TFormat format{44100, 2, 128};
  double start = -1, end = -1;

  // The take as the layer decodes it, and the cut points that gives: 100 ms before the
  // first and after the last sample above 184.
  std::vector<std::int16_t> samples;
  std::int64_t from = -1, to = -1;
  void DecodedCut()
  {
    TSndfileDecoder dec;
    ASSERT_EQ(dec.Open(take), kErrOk);
    samples.assign(static_cast<std::size_t>(dec.Frames()) * dec.Chans(), 0);
    dec.ReadFrames(samples.data(), static_cast<std::size_t>(dec.Frames()));
    std::int64_t first = -1, last = -1;
    for (std::size_t i = 0; i < samples.size(); ++i)
      if (std::abs(static_cast<int>(samples[i])) > 184) {
        last = static_cast<std::int64_t>(i / dec.Chans());
        first = first < 0 ? last : first;
      }
    const std::int64_t margin = dec.Rate() / 10, frames = static_cast<std::int64_t>(dec.Frames());
    from = std::max<std::int64_t>(first - margin, 0);
    to = std::min(last + margin + 1, frames);
  }
};

} // namespace

TEST_F(Mp3TrimTest, TakeKeepsItsOwnFramesAndBitRate)
{
  EncodeTake(take, format, Speech(format, 4.0, 1.0, 3.0));
  const auto original = ReadBytes(take);
  const std::vector<float> whole = Decode(take, 2);
  DecodedCut();

  const TTrimCut cut2 = rec.TrimSilence(take, rfMP3, 320);
  start = cut2.StartSeconds;
  end = cut2.EndSeconds;
  ASSERT_TRUE(cut2.Trimmed);
  EXPECT_EQ(std::count(layer.Log.begin(), layer.Log.end(), "StreamCreateFile"), 1)
      << "no second encode: nothing decoded for the rewrite";
  EXPECT_DOUBLE_EQ(start, from / 44100.0);
  EXPECT_DOUBLE_EQ(end, (static_cast<double>(whole.size() / 2) - to) / 44100.0);
  ExpectKeptRange(whole, Decode(take, 2), from, to, 2);
  TMp3Take trimmed;
  ASSERT_TRUE(ReadMp3Take(take, trimmed));
  EXPECT_EQ(trimmed.First.Kbps, 128u) << "the Bitrate argument serves the encode only";

  // the rest of a trim as ever: backup, record, undo
  EXPECT_EQ(ReadBytes(BackupPath(take)), original);
  const TTrimCut info = rec.ReadTrimInfo(take);
  ASSERT_TRUE(info.Trimmed);
  EXPECT_EQ(info.StartSeconds, start);
  ASSERT_TRUE(rec.UndoTrim(take));
  EXPECT_EQ(ReadBytes(take), original);
}

TEST_F(Mp3TrimTest, TakesThatCannotBeCopiedAreEncodedAnew)
{
  // the new take is what the MP3 writer makes of the kept frames, at the bit rate asked
  const auto expectEncoded = [&](const char *what) {
    SCOPED_TRACE(what);
    layer.Log.clear();
    DecodedCut();
    const TTrimCut cut3 = rec.TrimSilence(take, rfMP3, 256);
    start = cut3.StartSeconds;
    end = cut3.EndSeconds;
    ASSERT_TRUE(cut3.Trimmed);
    EXPECT_EQ(std::count(layer.Log.begin(), layer.Log.end(), "StreamCreateFile"), 2)
        << "decoded once more to be encoded anew";
    const fs::path expected = dir / "verwacht.mp3";
    ASSERT_TRUE(test::WriteMp3(expected, format.Rate, format.Chans, 256,
                               {samples.begin() + from * 2, samples.begin() + to * 2}));
    EXPECT_EQ(ReadBytes(take), ReadBytes(expected));
    TMp3Take written;
    ASSERT_TRUE(ReadMp3Take(take, written));
    EXPECT_EQ(written.First.Kbps, 256u);
    fs::remove(BackupPath(take));
    fs::remove(TrimRecordPath(take));
  };
  EncodeTake(take, format, Speech(format, 4.0, 1.0, 3.0));
  auto bytes = ReadBytes(take);
  TMp3Take mp3;
  ASSERT_TRUE(ReadMp3Take(take, mp3));

  // no tag: the frames alone
  test::WriteBytes(take, bytes.data() + mp3.Frames[0].Offset, bytes.size() - mp3.Frames[0].Offset);
  expectEncoded("no tag");

  // a damaged frame in the middle of the kept range
  bytes[mp3.Frames[mp3.Frames.size() / 2].Offset + 1] = 0x12;
  test::WriteBytes(take, bytes.data(), bytes.size());
  expectEncoded("damaged frame");
}
