// Markers in a take: set while it records (at the frame the input had delivered when
// the key went down) or while it plays, in the label file beside it and in a WAV's cue
// chunk, and kept through trim, undo and delete.

#include "audio/BassRecorder.h"
#include "audio/TakeFiles.h"
#include "audio/codec/TakeMarkers.h"
#include "support/AudioTestKit.h"
#include "support/ScriptedAudioLayer.h"
#include "support/TestFiles.h"
#include "support/TestTakes.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <cstdio>
#include <string>

using namespace praatkist;
using praatkist::test::Le32;
using praatkist::test::ReadBytes;
using praatkist::test::TScriptedAudioLayer;
using praatkist::test::TTempDir;
namespace fs = std::filesystem;

namespace {

std::string ReadText(const fs::path &path)
{
  const std::vector<std::uint8_t> bytes = ReadBytes(path);
  return std::string(bytes.begin(), bytes.end());
}

// Stereo frames holding their own number (left) and a loud constant (right).
std::vector<std::int16_t> Numbered(std::uint32_t first, std::uint32_t frames,
                                   std::int16_t right = 8000)
{
  std::vector<std::int16_t> s;
  for (std::uint32_t i = 0; i < frames; ++i) {
    s.push_back(static_cast<std::int16_t>((first + i) % 30000));
    s.push_back(right);
  }
  return s;
}

struct TCues {
  std::vector<std::uint32_t> Positions;
  std::vector<std::string> Names;
  sf_count_t Frames = -1;
};

// The cue points libsndfile reads from a WAV, as editors that read markers do.
TCues SndfileCues(const fs::path &file)
{
  TCues cues;
  SF_INFO info{};
  SNDFILE *sf = sf_open(file.string().c_str(), SFM_READ, &info);
  if (sf == nullptr)
    return cues;
  cues.Frames = info.frames;
  std::uint32_t count = 0;
  if (sf_command(sf, SFC_GET_CUE_COUNT, &count, sizeof count) == SF_TRUE && count > 0) {
    SF_CUES all{};
    if (sf_command(sf, SFC_GET_CUE, &all, sizeof all) == SF_TRUE)
      for (std::uint32_t i = 0; i < all.cue_count; ++i) {
        cues.Positions.push_back(all.cue_points[i].sample_offset);
        cues.Names.emplace_back(all.cue_points[i].name);
      }
  }
  sf_close(sf);
  return cues;
}

#ifndef _WIN32
// The frames sox finds in a file.
long long SoxFrames(const fs::path &file)
{
  const std::string cmd = "soxi -s '" + file.string() + "' 2>/dev/null";
  FILE *p = popen(cmd.c_str(), "r");
  long long frames = -1;
  if (p == nullptr || std::fscanf(p, "%lld", &frames) != 1)
    ADD_FAILURE() << "soxi did not run";
  if (p != nullptr)
    pclose(p);
  return frames;
}
#endif

struct MarkersTest : ::testing::Test {
  TTempDir dir;
  TScriptedAudioLayer layer;
  TBassRecorder rec{layer};
  fs::path take = dir / "Koor-1.wav";

  void Start(TRecordingFormat format = rfWave) { rec.Start({{0, 48000, 2}, format, 192}, take); }
};

} // namespace

// The marker lands on the frame the input had delivered when the key went down, also
// when the press is handled only after more audio came in.
TEST_F(MarkersTest, LateHandledPressMarksTheFrameDeliveredAtThePress)
{
  Start();
  ASSERT_TRUE(layer.Deliver(Numbered(0, 4800)));
  const std::int64_t pressed = SteadyNowNs();
  ASSERT_TRUE(layer.Deliver(Numbered(4800, 9600)));
  ASSERT_TRUE(layer.Deliver(Numbered(14400, 9600)));
  EXPECT_EQ(rec.Mark(pressed), 1u);
  // the label line is on the disk at once, while the take runs
  EXPECT_EQ(ReadText(audio::MarkersPath(take)), "0.100000\t0.100000\tMarkering 1\n");
  EXPECT_EQ(rec.Mark(SteadyNowNs()), 2u);
  EXPECT_EQ(ReadText(audio::MarkersPath(take)),
            "0.100000\t0.100000\tMarkering 1\n0.500000\t0.500000\tMarkering 2\n");
  ASSERT_TRUE(rec.Stop());

  const std::vector<std::uint8_t> bytes = ReadBytes(take);
  const std::uint32_t data = 24000 * 4;
  // the 44-byte header as ever, the data where it was, the RIFF size over the chunks
  EXPECT_EQ(Le32(bytes, 40), data);
  EXPECT_EQ(Le32(bytes, 4), bytes.size() - 8);
  EXPECT_GT(bytes.size(), 44 + data);
  EXPECT_EQ(std::string(bytes.begin() + 44 + data, bytes.begin() + 48 + data), "cue ");
  const TCues cues = SndfileCues(take);
  EXPECT_EQ(cues.Frames, 24000);
  EXPECT_EQ(cues.Positions, (std::vector<std::uint32_t>{4800, 24000}));
#ifndef _WIN32
  EXPECT_EQ(SoxFrames(take), 24000);
#endif
  // The frame under the first marker is the one delivered last before the press.
  const test::TDecoded decoded = test::Decode(take);
  ASSERT_TRUE(decoded.Ok);
  EXPECT_EQ(decoded.Samples[2 * 4799], 4799);
}

// A take without markers is byte for byte what it always was, with no label file.
TEST_F(MarkersTest, TakeWithoutMarkersIsAsBefore)
{
  Start();
  const std::vector<std::int16_t> audio = Numbered(0, 4800);
  ASSERT_TRUE(layer.Deliver(audio));
  ASSERT_TRUE(rec.Stop());
  const fs::path expected = dir / "verwacht.wav";
  test::WriteWave(expected, 48000, 2, audio);
  EXPECT_EQ(ReadBytes(take), ReadBytes(expected));
  EXPECT_FALSE(fs::exists(audio::MarkersPath(take)));
}

// MP3 takes keep their markers in the label file alone.
TEST_F(MarkersTest, Mp3TakeKeepsItsMarkersInTheLabelFile)
{
  take = dir / "Koor-1.mp3";
  Start(rfMP3);
  ASSERT_TRUE(layer.Deliver(Numbered(0, 9600)));
  rec.Mark(SteadyNowNs());
  ASSERT_TRUE(rec.Stop());
  EXPECT_EQ(ReadText(audio::MarkersPath(take)), "0.200000\t0.200000\tMarkering 1\n");
  const std::vector<std::uint8_t> bytes = ReadBytes(take);
  EXPECT_EQ(std::string(bytes.begin(), bytes.end()).find("cue "), std::string::npos);
}

// Within a fiftieth of a second before Frame: where a playback marker lands when its
// press (now) is handled a moment later.
::testing::AssertionResult JustBefore(std::uint64_t marker, std::uint64_t frame)
{
  if (marker <= frame && marker + 960 >= frame)
    return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << marker << " is not just before " << frame;
}

// While a take plays, a marker goes at the playback position, into both places.
TEST_F(MarkersTest, MarkerDuringPlaybackGoesIntoLabelFileAndCueChunk)
{
  test::WriteWave(take, 48000, 2, Numbered(0, 48000));
  EXPECT_EQ(rec.Mark(SteadyNowNs()), 0u) << "nothing runs";
  rec.PlayFile(take);
  const audio::THandle stream = layer.OpenStreams.rbegin()->first;
  layer.SetPlaybackPosition(stream, 24000 * 4, false);
  EXPECT_EQ(rec.Mark(SteadyNowNs()), 1u);
  layer.SetPlaybackPosition(stream, 12000 * 4, false);
  EXPECT_EQ(rec.Mark(SteadyNowNs()), 1u) << "the earlier one comes first";
  const audio::TMarkers marked = audio::ReadMarkers(take, 48000);
  ASSERT_EQ(marked.size(), 2u);
  EXPECT_TRUE(JustBefore(marked[0], 12000));
  EXPECT_TRUE(JustBefore(marked[1], 24000));
  const std::string text = ReadText(audio::MarkersPath(take));
  EXPECT_NE(text.find("\tMarkering 1\n"), std::string::npos);
  EXPECT_TRUE(text.ends_with("\tMarkering 2\n"));
  EXPECT_EQ(SndfileCues(take).Positions,
            (std::vector<std::uint32_t>{static_cast<std::uint32_t>(marked[0]),
                                        static_cast<std::uint32_t>(marked[1])}));
  EXPECT_EQ(SndfileCues(take).Frames, 48000);
  // and the playback moves from marker to marker
  layer.SetPlaybackPosition(stream, 0, false);
  EXPECT_EQ(rec.SeekPlaybackToMarker(true), 1u);
  EXPECT_EQ(layer.OpenStreams[stream].Position, marked[0] * 4);
  EXPECT_EQ(rec.SeekPlaybackToMarker(true), 2u);
  EXPECT_EQ(rec.SeekPlaybackToMarker(true), 0u);
  EXPECT_EQ(rec.SeekPlaybackToMarker(false), 1u);
  rec.StopPlayback();
}

// A trim moves the markers by what it cut at the start (those in a cut stretch to the
// nearest kept end); undo gives them back as they were; delete takes the label files.
TEST_F(MarkersTest, TrimMovesMarkersUndoRestoresThemDeleteTakesThem)
{
  Start();
  std::vector<std::int16_t> silence(48000 * 2, 0);
  const std::vector<std::int16_t> half(silence.begin(), silence.begin() + 48000);
  ASSERT_TRUE(layer.Deliver(half));
  rec.Mark(SteadyNowNs()); // at 0.5 s: in the cut start
  ASSERT_TRUE(layer.Deliver(half));
  ASSERT_TRUE(layer.Deliver(Numbered(0, 48000))); // 1 s of sound
  rec.Mark(SteadyNowNs());         // at 2.0 s: kept
  ASSERT_TRUE(layer.Deliver(silence));
  rec.Mark(SteadyNowNs()); // at 3.0 s: in the cut end
  ASSERT_TRUE(rec.Stop());
  const std::string recorded = ReadText(audio::MarkersPath(take));
  const auto untrimmed = ReadBytes(take);
  EXPECT_EQ(SndfileCues(take).Positions, (std::vector<std::uint32_t>{24000, 96000, 144000}));

  const TTrimCut cut = rec.TrimSilence(take, rfWave, 192);
  ASSERT_TRUE(cut.Trimmed);
  // kept: frames 43200 .. 100800 (100 ms of room either side)
  EXPECT_EQ(ReadText(audio::MarkersPath(take)), "0.000000\t0.000000\tMarkering 1\n"
                                                "1.100000\t1.100000\tMarkering 2\n"
                                                "1.200000\t1.200000\tMarkering 3\n");
  const TCues trimmed = SndfileCues(take);
  EXPECT_EQ(trimmed.Frames, 57600);
  EXPECT_EQ(trimmed.Positions, (std::vector<std::uint32_t>{0, 52800, 57600}));
  EXPECT_TRUE(rec.ReadTrimInfo(take).Trimmed);

  ASSERT_TRUE(rec.UndoTrim(take));
  EXPECT_EQ(ReadText(audio::MarkersPath(take)), recorded);
  EXPECT_EQ(ReadBytes(take), untrimmed);

  // The purge at close offers only trim leftovers: never the label file.
  for (const fs::path &leftover : audio::FindTrimLeftovers(dir.Path()))
    EXPECT_NE(leftover, audio::MarkersPath(take));
  audio::DeleteTakeWithCompanions(take);
  EXPECT_FALSE(fs::exists(audio::MarkersPath(take)));
  EXPECT_FALSE(fs::exists(audio::MarkersBackupPath(take)));
}

// A marker set while a trimmed take plays: the record still names the take, so the
// trim can be undone, and the untrimmed take has the marker at its own place.
TEST_F(MarkersTest, MarkerOnATrimmedTakeSurvivesItsUndo)
{
  std::vector<std::int16_t> samples(48000 * 2, 0);
  const std::vector<std::int16_t> sound = Numbered(0, 48000);
  samples.insert(samples.end(), sound.begin(), sound.end());
  samples.insert(samples.end(), 48000 * 2, 0);
  test::WriteWave(take, 48000, 2, samples);
  ASSERT_TRUE(rec.TrimSilence(take, rfWave, 192).Trimmed);
  rec.PlayFile(take);
  layer.SetPlaybackPosition(layer.OpenStreams.rbegin()->first, 4800 * 4, false);
  EXPECT_EQ(rec.Mark(SteadyNowNs()), 1u);
  rec.StopPlayback();
  EXPECT_TRUE(rec.ReadTrimInfo(take).Trimmed);
  const audio::TMarkers marked = audio::ReadMarkers(take, 48000);
  ASSERT_EQ(marked.size(), 1u);
  EXPECT_TRUE(JustBefore(marked[0], 4800));
  EXPECT_EQ(SndfileCues(take).Positions,
            (std::vector<std::uint32_t>{static_cast<std::uint32_t>(marked[0])}));
  ASSERT_TRUE(rec.UndoTrim(take));
  // the trim cut 0.9 s (43200 frames) at the start
  EXPECT_EQ(audio::ReadMarkers(take, 48000), (audio::TMarkers{marked[0] + 43200}));
  EXPECT_EQ(SndfileCues(take).Positions,
            (std::vector<std::uint32_t>{static_cast<std::uint32_t>(marked[0] + 43200)}));
}

// A take a crash ended (its provisional header, its label file) gets its true sizes and
// its cue chunk when its session is listed; the take still being recorded is held by
// its writer and left alone.
TEST_F(MarkersTest, CrashedTakeIsMendedAndARunningOneLeftAlone)
{
  Start();
  ASSERT_TRUE(layer.Deliver(Numbered(0, 4800)));
  rec.Mark(SteadyNowNs());
  ASSERT_TRUE(layer.Deliver(Numbered(4800, 4801)));
  // What a kill at this moment would leave: the file as it is now, no writer holding it.
  const fs::path crashed = dir / "Koor-2.wav";
  const std::vector<std::uint8_t> now = ReadBytes(take);
  test::WriteBytes(crashed, now.data(), now.size());
  const std::string labels = ReadText(audio::MarkersPath(take));
  test::WriteBytes(audio::MarkersPath(crashed), labels.data(), labels.size());
  ASSERT_EQ(Le32(now, 40), 0xFFFFFFFFu);

  EXPECT_EQ(audio::MendCrashedTakes(dir.Path()), 1);
  EXPECT_EQ(ReadBytes(take), now) << "held by its writer";
  const std::vector<std::uint8_t> mended = ReadBytes(crashed);
  EXPECT_EQ(Le32(mended, 40), 9601u * 4);
  EXPECT_EQ(Le32(mended, 4), mended.size() - 8);
  EXPECT_EQ(SndfileCues(crashed).Positions, (std::vector<std::uint32_t>{4800}));
  EXPECT_EQ(SndfileCues(crashed).Frames, 9601);
  EXPECT_EQ(audio::MendCrashedTakes(dir.Path()), 0) << "once";

  ASSERT_TRUE(rec.Stop());
  EXPECT_EQ(audio::MendCrashedTakes(dir.Path()), 0);
  EXPECT_EQ(SndfileCues(take).Positions, (std::vector<std::uint32_t>{4800}));
}
