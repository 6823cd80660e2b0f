// Decoding streams, playback streams, and a server that dies, through the audio layer.

#include "audio/layer/contract/LayerKit.h"
#include "support/TestTakes.h"

#ifdef _WIN32
#include <io.h>
#else
#include "support/PulseTestKit.h"
#endif

#include <sndfile.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <random>

using namespace praatkist::audio;
using namespace praatkist::test;
namespace fs = std::filesystem;

namespace {

// ---- decoding streams (no server needed) ------------------------------------------------

class SndfileStreams : public ::testing::Test {
protected:
  std::unique_ptr<IAudioLayer> Layer = CreateSystemAudioLayer();
  TTempDir Dir;
};

// The process's open file descriptors.
long OpenDescriptors()
{
#ifdef _WIN32
  long n = 0;
  for (int fd = 0; fd < 2048; ++fd)
    n += _get_osfhandle(fd) != -1;
  return n;
#else
  return std::distance(fs::directory_iterator("/proc/self/fd"), fs::directory_iterator{});
#endif
}

// A stream read to its end: the bytes delivered.
std::uint64_t ReadToEnd(IAudioLayer &layer, THandle h)
{
  std::vector<std::uint8_t> buf(65536);
  std::uint64_t bytes = 0;
  for (std::uint32_t n; (n = layer.ChannelGetData(h, buf.data(), 65536)) != kDataError && n > 0;)
    bytes += n;
  return bytes;
}

} // namespace

TEST_F(SndfileStreams, DecodesCommonWavFormatsTo16Bit)
{
  const auto pcm = Sine(44100, 2, 0.5, 1000, 20000);
  struct TCase {
    const char *Name;
    int Format;
    int Tolerance;
  };
  for (const TCase k : {TCase{"pcm16.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 0},
                        TCase{"pcm24.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_24, 0},
                        TCase{"float.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 1},
                        TCase{"u8.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_U8, 256},
                        TCase{"extensible.wav", SF_FORMAT_WAVEX | SF_FORMAT_PCM_16, 0}}) {
    SCOPED_TRACE(k.Name);
    const fs::path path = Dir / k.Name;
    WriteSound(path, k.Format, 44100, 2, pcm);
    const THandle h = Layer->StreamCreateFile(path, true);
    ASSERT_NE(h, 0u) << Layer->ErrorGetCode();
    TChannelInfo info;
    ASSERT_TRUE(Layer->ChannelGetInfo(h, info));
    EXPECT_EQ(info.Freq, 44100u);
    EXPECT_EQ(info.Chans, 2u);
    EXPECT_EQ(Layer->ChannelGetLength(h), pcm.size() * 2);
    std::vector<std::int16_t> all;
    std::vector<std::int16_t> buf(8193);
    for (;;) {
      // An odd size: only whole frames come back.
      const std::uint32_t n = Layer->ChannelGetData(h, buf.data(), 16387);
      if (n == kDataError) {
        EXPECT_EQ(Layer->ErrorGetCode(), kErrEnded);
        break;
      }
      ASSERT_EQ(n % 4, 0u);
      all.insert(all.end(), buf.begin(), buf.begin() + n / 2);
    }
    ASSERT_EQ(all.size(), pcm.size());
    int worst = 0;
    for (std::size_t i = 0; i < pcm.size(); ++i)
      worst = std::max(worst, std::abs(all[i] - pcm[i]));
    EXPECT_LE(worst, k.Tolerance);
    EXPECT_EQ(Layer->ChannelGetPosition(h), pcm.size() * 2);
    Layer->StreamFree(h);
  }
}

// Decoded MP3 overshoots full scale where the input was at full scale: it is clipped,
// never wrapped round to the other sign; float WAV beyond 1.0 alike.
TEST_F(SndfileStreams, BeyondFullScaleIsClippedNotWrapped)
{
  std::vector<std::int16_t> square(2 * 48000);
  for (std::size_t f = 0; f < 48000; ++f)
    square[2 * f] = square[2 * f + 1] = (f / 24) % 2 ? 32767 : -32768;
  const fs::path wav = Dir / "square.wav", mp3 = Dir / "square.mp3";
  WriteSound(wav, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 48000, 2, square);
  ASSERT_TRUE(WriteMp3(mp3, 48000, 2, 192, square));

  std::vector<std::int16_t> buf(32768);
  auto decode = [&](const fs::path &p) {
    std::vector<std::int16_t> all;
    const THandle h = Layer->StreamCreateFile(p, true);
    EXPECT_NE(h, 0u);
    for (std::uint32_t n; (n = Layer->ChannelGetData(h, buf.data(), 65536)) != kDataError;)
      all.insert(all.end(), buf.begin(), buf.begin() + n / 2);
    Layer->StreamFree(h);
    return all;
  };
  const auto back = decode(mp3);
  ASSERT_EQ(back.size(), square.size());
  std::size_t wrapped = 0, atFull = 0;
  for (std::size_t i = 2; i < back.size(); ++i) {
    wrapped += std::abs(back[i] - back[i - 2]) > 50000;
    atFull += back[i] == 32767 || back[i] == -32768;
  }
  EXPECT_EQ(wrapped, 0u);
  EXPECT_GT(atFull, 1000u);

  const fs::path hot = Dir / "hot.wav";
  WriteFloats(hot, 48000, 1, {0.5f, 1.5f, -1.5f, -0.25f});
  EXPECT_EQ(decode(hot), (std::vector<std::int16_t>{16384, 32767, -32768, -8192}));
}

TEST_F(SndfileStreams, PositionsAndSeconds)
{
  std::vector<std::int16_t> ramp(48000);
  for (std::size_t i = 0; i < ramp.size(); ++i)
    ramp[i] = static_cast<std::int16_t>(i % 30000);
  const fs::path path = Dir / "ramp.wav";
  WriteSound(path, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 48000, 1, ramp);
  const THandle h = Layer->StreamCreateFile(path, true);
  ASSERT_NE(h, 0u);
  EXPECT_DOUBLE_EQ(Layer->ChannelBytes2Seconds(h, 96000), 1.0);
  EXPECT_DOUBLE_EQ(Layer->ChannelBytes2Seconds(h, 24000), 0.25);
  EXPECT_LT(Layer->ChannelBytes2Seconds(0xBAD, 100), 0.0);
  ASSERT_TRUE(Layer->ChannelSetPosition(h, 2 * 12345));
  EXPECT_EQ(Layer->ChannelGetPosition(h), 2u * 12345);
  std::int16_t s[4];
  ASSERT_EQ(Layer->ChannelGetData(h, s, sizeof s), sizeof s);
  EXPECT_EQ(s[0], 12345);
  EXPECT_EQ(s[3], 12348);
  EXPECT_FALSE(Layer->ChannelSetPosition(h, 96002));
  EXPECT_EQ(Layer->ErrorGetCode(), kErrPosition);
  ASSERT_TRUE(Layer->ChannelSetPosition(h, 96000)); // the very end
  EXPECT_EQ(Layer->ChannelGetData(h, s, sizeof s), kDataError);
  EXPECT_EQ(Layer->ErrorGetCode(), kErrEnded);
  ASSERT_TRUE(Layer->ChannelSetPosition(h, 0));
  ASSERT_EQ(Layer->ChannelGetData(h, s, sizeof s), sizeof s);
  EXPECT_EQ(s[1], 1);
  // A decoding stream is read, not played.
  EXPECT_FALSE(Layer->ChannelPlay(h, true));
  float levels[2];
  EXPECT_FALSE(Layer->ChannelGetLevelEx(h, levels, 0.05f));
  Layer->StreamFree(h);
  EXPECT_EQ(Layer->ChannelGetLength(h), kPositionError);
  EXPECT_EQ(Layer->ErrorGetCode(), kErrHandle);
}

TEST_F(SndfileStreams, DamagedFilesGiveErrorCodes)
{
  const auto pcm = Sine(48000, 2, 1.0, 440, 10000);
  const fs::path good = Dir / "good.wav";
  WriteSound(good, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 48000, 2, pcm);
  const auto bytes = ReadBytes(good);
  ASSERT_EQ(bytes.size(), 44 + pcm.size() * 2);

  auto openCode = [&](const fs::path &p) {
    const THandle h = Layer->StreamCreateFile(p, true);
    if (h)
      Layer->StreamFree(h);
    return h ? kErrOk : Layer->ErrorGetCode();
  };
  EXPECT_EQ(openCode(Dir / "missing.wav"), kErrFileOpen);
  EXPECT_EQ(openCode(Dir.Path()), kErrFileOpen);
  WriteBytes(Dir / "empty.wav", "", 0);
  EXPECT_EQ(openCode(Dir / "empty.wav"), kErrFileForm);
  std::mt19937 rng(7);
  std::vector<std::uint8_t> noise(100000);
  for (auto &b : noise)
    b = static_cast<std::uint8_t>(rng());
  WriteBytes(Dir / "noise.wav", noise.data(), noise.size());
  EXPECT_EQ(openCode(Dir / "noise.wav"), kErrFileForm);
  WriteBytes(Dir / "noise.mp3", noise.data(), noise.size());
  EXPECT_EQ(openCode(Dir / "noise.mp3"), kErrFileForm);
  WriteBytes(Dir / "half-header.wav", bytes.data(), 20);
  EXPECT_EQ(openCode(Dir / "half-header.wav"), kErrFileForm);

  // Reads a stream to its end: the frames delivered.
  auto readAll = [&](const fs::path &p, std::uint64_t &reported) -> std::int64_t {
    const THandle h = Layer->StreamCreateFile(p, true);
    if (!h)
      return -Layer->ErrorGetCode();
    reported = Layer->ChannelGetLength(h) / 4;
    const std::int64_t frames = static_cast<std::int64_t>(ReadToEnd(*Layer, h) / 4);
    std::vector<std::uint8_t> buf(65536);
    EXPECT_EQ(Layer->ChannelGetData(h, buf.data(), 65536), kDataError);
    EXPECT_EQ(Layer->ErrorGetCode(), kErrEnded);
    Layer->StreamFree(h);
    return frames;
  };
  std::uint64_t reported = 0;
  // The header alone: a valid file of no frames.
  WriteBytes(Dir / "header-only.wav", bytes.data(), 44);
  EXPECT_EQ(readAll(Dir / "header-only.wav", reported), 0);
  // Cut in the middle: what is there is read.
  WriteBytes(Dir / "cut.wav", bytes.data(), 44 + 4 * 1000);
  EXPECT_EQ(readAll(Dir / "cut.wav", reported), 1000);
  // Sizes of 0xFFFFFFFF (a take that never got its header): read to the end.
  auto open = bytes;
  for (std::size_t at : {std::size_t{4}, std::size_t{40}})
    std::memset(&open[at], 0xFF, 4);
  WriteBytes(Dir / "open.wav", open.data(), open.size());
  EXPECT_EQ(readAll(Dir / "open.wav", reported), 48000);

  // A truncated MP3 ends where its data ends.
  ASSERT_TRUE(WriteMp3(Dir / "whole.mp3", 48000, 2, 128, pcm));
  const auto mp3 = ReadBytes(Dir / "whole.mp3");
  WriteBytes(Dir / "cut.mp3", mp3.data(), mp3.size() / 2);
  const std::int64_t cut = readAll(Dir / "cut.mp3", reported);
  EXPECT_EQ(reported, 48000u) << "the tag still tells the whole length";
  EXPECT_GT(cut, 15000);
  EXPECT_LT(cut, 33000);

  // Opens, failed or freed, leave no file descriptors behind.
  const long before = OpenDescriptors();
  for (int i = 0; i < 20; ++i) {
    openCode(Dir / "noise.wav");
    openCode(Dir / "empty.wav");
    openCode(good);
    openCode(Dir / "whole.mp3");
  }
  EXPECT_EQ(OpenDescriptors(), before);
}

