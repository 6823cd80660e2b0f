#include "support/AudioTestKit.h"

#include <sndfile.h>

#include <fcntl.h>
#ifdef _WIN32
#include <io.h>
#endif

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <numbers>
#include <thread>

namespace praatkist::test {

namespace {

// libsndfile on a path, through a descriptor of the wide path on Windows.
SNDFILE *Open(const std::filesystem::path &file, int mode, SF_INFO &info)
{
#ifdef _WIN32
  const int flags = mode == SFM_READ ? _O_RDONLY : _O_WRONLY | _O_CREAT | _O_TRUNC;
  const int fd = _wopen(file.c_str(), flags | _O_BINARY, 0644);
  return fd < 0 ? nullptr : sf_open_fd(fd, mode, &info, SF_TRUE);
#else
  return sf_open(file.c_str(), mode, &info);
#endif
}

} // namespace

bool HavePulse()
{
  const char *s = std::getenv("PULSE_SERVER");
  return s && *s;
}

bool PulseRequired()
{
  const char *r = std::getenv("PRAATKIST_REQUIRE_PULSE");
  return r && std::string(r) == "1";
}

double SecondsSince(TClock::time_point since)
{
  return std::chrono::duration<double>(TClock::now() - since).count();
}

void SleepMs(int ms)
{
  std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

int FindDevice(audio::IAudioLayer &layer, const std::string &driver)
{
  audio::TAudioDeviceInfo info;
  for (int i = 0; layer.RecordGetDeviceInfo(i, info); ++i)
    if (info.Driver == driver)
      return i;
  return -1;
}

TDecoded Decode(const std::filesystem::path &file)
{
  TDecoded d;
  SF_INFO info{};
  SNDFILE *f = Open(file, SFM_READ, info);
  if (!f)
    return d;
  // as the program's decoder reads: decoded float data clipped, not wrapped
  sf_command(f, SFC_SET_CLIPPING, nullptr, SF_TRUE);
  d.Ok = true;
  d.Rate = info.samplerate;
  d.Channels = info.channels;
  d.Frames = info.frames;
  std::vector<std::int16_t> block(4096 * static_cast<std::size_t>(info.channels));
  for (;;) {
    const sf_count_t n = sf_readf_short(f, block.data(), 4096);
    if (n <= 0)
      break;
    d.Samples.insert(d.Samples.end(), block.begin(),
                     block.begin() + static_cast<std::ptrdiff_t>(n * info.channels));
  }
  sf_close(f);
  return d;
}

TTone AnalyseTone(const std::vector<std::int16_t> &s, int channels, int ch, int rate,
                  std::size_t skipFrames)
{
  TTone t;
  const std::size_t chans = static_cast<std::size_t>(channels);
  const std::size_t frames = s.size() / chans;
  long first = -1, last = -1, crossings = 0;
  for (std::size_t f = skipFrames + 1; f < frames; ++f) {
    const int a = s[(f - 1) * chans + static_cast<std::size_t>(ch)];
    const int b = s[f * chans + static_cast<std::size_t>(ch)];
    t.Peak = std::max(t.Peak, std::abs(b));
    if (a < 0 && b >= 0) {
      if (first < 0)
        first = static_cast<long>(f);
      else
        ++crossings;
      last = static_cast<long>(f);
    }
  }
  if (crossings > 0)
    t.Frequency = static_cast<double>(crossings) * rate / static_cast<double>(last - first);
  return t;
}

void WriteSound(const std::filesystem::path &path, int format, std::uint32_t rate,
                std::uint32_t chans, const std::vector<std::int16_t> &samples)
{
  if ((format & SF_FORMAT_SUBMASK) == SF_FORMAT_FLOAT) {
    // Float files hold full scale as 1.0.
    std::vector<float> v(samples.size());
    for (std::size_t i = 0; i < v.size(); ++i)
      v[i] = samples[i] / 32768.0f;
    WriteFloats(path, rate, chans, v);
    return;
  }
  SF_INFO info{};
  info.samplerate = static_cast<int>(rate);
  info.channels = static_cast<int>(chans);
  info.format = format;
  SNDFILE *f = Open(path, SFM_WRITE, info);
  if (f == nullptr) {
    ADD_FAILURE() << sf_strerror(nullptr);
    return;
  }
  sf_writef_short(f, samples.data(), static_cast<sf_count_t>(samples.size() / chans));
  sf_close(f);
}

void WriteFloats(const std::filesystem::path &path, std::uint32_t rate, std::uint32_t chans,
                 const std::vector<float> &samples)
{
  SF_INFO info{};
  info.samplerate = static_cast<int>(rate);
  info.channels = static_cast<int>(chans);
  info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
  SNDFILE *f = Open(path, SFM_WRITE, info);
  if (f == nullptr) {
    ADD_FAILURE() << sf_strerror(nullptr);
    return;
  }
  sf_writef_float(f, samples.data(), static_cast<sf_count_t>(samples.size() / chans));
  sf_close(f);
}

std::vector<std::int16_t> Sine(std::uint32_t rate, std::uint32_t chans, double seconds, double freq,
                               double amplitude)
{
  const auto frames = static_cast<std::size_t>(std::lround(seconds * rate));
  std::vector<std::int16_t> s(frames * chans);
  for (std::size_t f = 0; f < frames; ++f)
    for (std::uint32_t c = 0; c < chans; ++c)
      s[f * chans + c] = static_cast<std::int16_t>(std::lround(
          amplitude * std::sin(2 * std::numbers::pi * freq * static_cast<double>(f) / rate)));
  return s;
}

// Walks the MPEG audio frames of an MP3 file.
TMp3Frames ParseMp3(const std::vector<std::uint8_t> &b)
{
  static const int kRates1[] = {0,   32,  40,  48,  56,  64,  80,  96,
                                112, 128, 160, 192, 224, 256, 320, 0};
  static const int kRates2[] = {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0};
  static const int kFreqs[] = {44100, 48000, 32000, 0};
  TMp3Frames r;
  r.Id3 = b.size() >= 3 && std::memcmp(b.data(), "ID3", 3) == 0;
  std::size_t at = 0;
  while (at + 4 <= b.size()) {
    if (b[at] != 0xFF || (b[at + 1] & 0xE0) != 0xE0) {
      r.TrailingGarbage = true;
      r.Id3 = r.Id3 || (b.size() - at == 128 && std::memcmp(&b[at], "TAG", 3) == 0);
      break;
    }
    const int version = (b[at + 1] >> 3) & 3; // 3: MPEG-1, 2: MPEG-2, 0: MPEG-2.5
    const int bitIndex = b[at + 2] >> 4, freqIndex = (b[at + 2] >> 2) & 3,
              pad = (b[at + 2] >> 1) & 1;
    int freq = kFreqs[freqIndex];
    if (version == 2)
      freq /= 2;
    else if (version == 0)
      freq /= 4;
    const int kbps = version == 3 ? kRates1[bitIndex] : kRates2[bitIndex];
    if (kbps == 0 || freq == 0) {
      r.TrailingGarbage = true;
      break;
    }
    const std::size_t len =
        static_cast<std::size_t>((version == 3 ? 144 : 72) * kbps * 1000 / freq + pad);
    if (r.Kbps.empty()) {
      const std::string first(reinterpret_cast<const char *>(&b[at]), std::min(len, b.size() - at));
      r.InfoTag =
          first.find("Info") != std::string::npos || first.find("Xing") != std::string::npos;
    }
    r.Kbps.push_back(kbps);
    at += len;
  }
  return r;
}

} // namespace praatkist::test
