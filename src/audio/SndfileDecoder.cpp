#include "audio/SndfileDecoder.h"

#include "audio/AudioLayer.h"

#include <sndfile.h>

#include <algorithm>
#include <cmath>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace praatkist::audio {

namespace {

constexpr std::size_t kFloatChunkFrames = 16384;

SNDFILE* Sf(void* p) { return static_cast<SNDFILE*>(p); }

// 1.0 is 32768, the scale 16-bit samples had on their way into the MP3 (and
// libsndfile's own clipping conversion); beyond full scale is clipped, and what is
// not a number becomes silence. Written so that the compiler turns the loop into
// vector code: clamping by selects, rounding to nearest-even by adding and taking
// away 1.5 x 2^23 (exact for the clamped range), then a truncating conversion.
void ToShorts(const float* in, std::int16_t* out, std::size_t count) noexcept {
  constexpr float kRound = 12582912.0f;  // 1.5 x 2^23
  for (std::size_t i = 0; i < count; ++i) {
    float v = in[i] * 32768.0f;
    v = v == v ? v : 0.0f;
    v = v > -32768.0f ? v : -32768.0f;
    v = v < 32767.0f ? v : 32767.0f;
    v = (v + kRound) - kRound;
    out[i] = static_cast<std::int16_t>(static_cast<int>(v));
  }
}

} // namespace

TSndfileDecoder::~TSndfileDecoder() {
  Close();
}

void TSndfileDecoder::Close() noexcept {
  if (FFile) {
    sf_close(Sf(FFile));
    FFile = nullptr;
  }
  FFloatData = false;
  FRate = FChans = 0;
  FFrames = FPosition = 0;
}

int TSndfileDecoder::Open(const std::filesystem::path& file) {
  Close();
  const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0)
    return kErrFileOpen;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return kErrFileOpen;
  }
  SF_INFO info{};
  SNDFILE* sf = sf_open_fd(fd, SFM_READ, &info, SF_TRUE);  // closes fd, also on failure
  if (!sf)
    return kErrFileForm;
  if (info.channels < 1 || info.channels > 32 || info.samplerate < 1000 ||
      info.samplerate > 384000 || info.frames < 0) {
    sf_close(sf);
    return kErrFormat;
  }
  switch (info.format & SF_FORMAT_SUBMASK) {
  case SF_FORMAT_FLOAT:
  case SF_FORMAT_DOUBLE:
  case SF_FORMAT_VORBIS:
  case SF_FORMAT_OPUS:
  case SF_FORMAT_MPEG_LAYER_I:
  case SF_FORMAT_MPEG_LAYER_II:
  case SF_FORMAT_MPEG_LAYER_III:
    FFloatData = true;
    FFloatBuf.assign(std::size_t{kFloatChunkFrames} * static_cast<std::size_t>(info.channels), 0.0f);
    sf_command(sf, SFC_SET_NORM_FLOAT, nullptr, SF_TRUE);
    break;
  default:
    FFloatData = false;
    break;
  }
  FFile = sf;
  FRate = static_cast<std::uint32_t>(info.samplerate);
  FChans = static_cast<std::uint32_t>(info.channels);
  FFrames = static_cast<std::uint64_t>(info.frames);
  FPosition = 0;
  return kErrOk;
}

std::size_t TSndfileDecoder::ReadFrames(std::int16_t* dst, std::size_t frames) noexcept {
  if (!FFile || frames == 0)
    return 0;
  if (!FFloatData) {
    const sf_count_t got = sf_readf_short(Sf(FFile), dst, static_cast<sf_count_t>(frames));
    if (got <= 0)
      return 0;
    FPosition += static_cast<std::uint64_t>(got);
    return static_cast<std::size_t>(got);
  }
  std::size_t done = 0;
  while (done < frames) {
    const std::size_t want = std::min(frames - done, kFloatChunkFrames);
    const sf_count_t got = sf_readf_float(Sf(FFile), FFloatBuf.data(), static_cast<sf_count_t>(want));
    if (got <= 0)
      break;
    const std::size_t samples = static_cast<std::size_t>(got) * FChans;
    std::int16_t* out = dst + done * FChans;
    ToShorts(FFloatBuf.data(), out, samples);
    done += static_cast<std::size_t>(got);
    if (static_cast<std::size_t>(got) < want)
      break;
  }
  FPosition += done;
  return done;
}

bool TSndfileDecoder::Seek(std::uint64_t frame) noexcept {
  if (!FFile || frame > FFrames)
    return false;
  const sf_count_t at = sf_seek(Sf(FFile), static_cast<sf_count_t>(frame), SEEK_SET);
  if (at < 0)
    return false;
  FPosition = static_cast<std::uint64_t>(at);
  return static_cast<std::uint64_t>(at) == frame;
}

} // namespace praatkist::audio
