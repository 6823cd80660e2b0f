#include "audio/codec/SndfileDecoder.h"

#include "audio/TakeFormat.h"

#include "audio/AudioLayer.h"
#include "audio/codec/Mp3Frames.h"
#include "platform/Descriptor.h"

#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <mutex>
#include <utility>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif


namespace praatkist::audio {

// A descriptor, a position, a block read ahead.
struct TSndfileDecoder::TReader {
  int Fd = -1;
  long long Position = 0;
  long long Start = 0;  // the file's byte that starts Block
  std::size_t Held = 0; // bytes of Block read from there
  std::vector<std::uint8_t> Block;
};

namespace {

constexpr std::size_t kFloatChunkFrames = 16384;
constexpr std::size_t kReadAhead = 65536;

SNDFILE *Sf(void *p)
{
  return static_cast<SNDFILE *>(p);
}

// 1.0 is kFullScale, the scale 16-bit samples had on their way into the MP3 (and
// libsndfile's own clipping conversion); beyond full scale is clipped, and what is
// not a number becomes silence. Rounded to nearest-even by adding and taking away
// 1.5 x 2^23 (exact for the clamped range), then a truncating conversion.
constexpr float kFull = kFullScale;
constexpr float kTop = kClipLevel;

inline std::int16_t ToShort(float x) noexcept
{
  constexpr float kRound = 12582912.0f; // 1.5 x 2^23
  float v = x * kFull;
  v = v == v ? v : 0.0f;
  v = v > -kFull ? v : -kFull;
  v = v < kTop ? v : kTop;
  v = (v + kRound) - kRound;
  return static_cast<std::int16_t>(static_cast<int>(v));
}

// The same eight samples at a time: after the clamp the processor's conversion rounds
// to nearest-even (its default mode, as the addition above assumes), and packing two
// fours into 16 bits needs no further care.
void ToShorts(const float *in, std::int16_t *out, std::size_t count) noexcept
{
  std::size_t i = 0;
#if defined(__SSE2__)
  const __m128 scale = _mm_set1_ps(kFull);
  const __m128 lo = _mm_set1_ps(-kFull);
  const __m128 hi = _mm_set1_ps(kTop);
  for (; i + 8 <= count; i += 8) {
    __m128 a = _mm_mul_ps(_mm_loadu_ps(in + i), scale);
    __m128 b = _mm_mul_ps(_mm_loadu_ps(in + i + 4), scale);
    a = _mm_and_ps(a, _mm_cmpord_ps(a, a)); // not a number: 0
    b = _mm_and_ps(b, _mm_cmpord_ps(b, b));
    a = _mm_min_ps(_mm_max_ps(a, lo), hi);
    b = _mm_min_ps(_mm_max_ps(b, lo), hi);
    const __m128i packed = _mm_packs_epi32(_mm_cvtps_epi32(a), _mm_cvtps_epi32(b));
    _mm_storeu_si128(reinterpret_cast<__m128i *>(out + i), packed);
  }
#endif
  for (; i < count; ++i)
    out[i] = ToShort(in[i]);
}

// The samples an MPEG-1 Layer III file written by LAME loses at its start when decoded
// without gaps: the encoder's delay noted in the LAME tag of its first frame, plus
// the 529 samples of the decoder's filter bank. -1 for any other file, whose frames
// cannot be told apart from the samples.
std::int64_t LameStartSkip(int fd) noexcept
{
  std::uint8_t b[1024];
  long long at = 0;
  long long n = platform::fd::ReadFrom(fd, b, sizeof b, at);
  if (n >= 10 && std::memcmp(b, "ID3", 3) == 0) { // an ID3v2 tag before the audio
    at = 10 + ((b[6] & 0x7F) << 21 | (b[7] & 0x7F) << 14 | (b[8] & 0x7F) << 7 | (b[9] & 0x7F));
    if (b[5] & 0x10)
      at += 10;
    n = platform::fd::ReadFrom(fd, b, sizeof b, at);
  }
  TMp3TagLayout tag;
  if (n < 4 || !FindMp3Tag(b, static_cast<std::size_t>(n), tag))
    return -1;
  const std::uint8_t *lame = b + tag.Lame;
  const int delay = lame[21] << 4 | lame[22] >> 4;
  return delay + kMp3DecoderDelay;
}

constexpr std::uint32_t kMpeg1Layer3Samples = 1152;

// libsndfile notes why an open failed in variables of its own shared by all files:
// streams of the same take are opened from several threads at once.
std::mutex gOpenMutex;

// libsndfile reads through these, from the decoder's descriptor (which stays ours to
// close, after the file). The MP3 decoder asks for each frame's header and body on
// their own, a few hundred bytes at a time, and walks the frames before a position it
// is sent to: straight from the descriptor that is a system call each, some 280,000
// for an hour, a quarter of the decoding's time. A block read ahead serves them; a
// read of a block or more (a WAV's samples) goes straight into the caller's memory.
sf_count_t ReaderLength(void *user)
{
  return platform::fd::FileSize(static_cast<TSndfileDecoder::TReader *>(user)->Fd);
}

sf_count_t ReaderSeek(sf_count_t offset, int whence, void *user)
{
  auto *r = static_cast<TSndfileDecoder::TReader *>(user);
  long long at = offset;
  if (whence == SEEK_CUR)
    at += r->Position;
  else if (whence == SEEK_END) {
    const long long size = platform::fd::FileSize(r->Fd);
    if (size < 0)
      return -1;
    at += size;
  }
  if (at < 0)
    return -1;
  r->Position = at;
  return at;
}

sf_count_t ReaderTell(void *user)
{
  return static_cast<TSndfileDecoder::TReader *>(user)->Position;
}

sf_count_t ReaderRead(void *ptr, sf_count_t count, void *user)
{
  auto *r = static_cast<TSndfileDecoder::TReader *>(user);
  auto *out = static_cast<std::uint8_t *>(ptr);
  sf_count_t done = 0;
  while (count > 0) {
    const long long end = r->Start + static_cast<long long>(r->Held);
    if (r->Position >= r->Start && r->Position < end) {
      const auto n = static_cast<std::size_t>(std::min<long long>(count, end - r->Position));
      std::memcpy(out, r->Block.data() + (r->Position - r->Start), n);
      out += n;
      count -= static_cast<sf_count_t>(n);
      done += static_cast<sf_count_t>(n);
      r->Position += static_cast<long long>(n);
      continue;
    }
    if (static_cast<std::size_t>(count) >= r->Block.size()) {
      const long long got = platform::fd::ReadFrom(r->Fd, out, static_cast<std::size_t>(count), r->Position);
      if (got <= 0)
        break;
      out += got;
      count -= got;
      done += got;
      r->Position += got;
      continue;
    }
    const long long got = platform::fd::ReadFrom(r->Fd, r->Block.data(), r->Block.size(), r->Position);
    if (got <= 0)
      break;
    r->Start = r->Position;
    r->Held = static_cast<std::size_t>(got);
  }
  return done;
}

sf_count_t ReaderWrite(const void *, sf_count_t, void *)
{
  return 0;
}

SF_VIRTUAL_IO gReaderCalls = {ReaderLength, ReaderSeek, ReaderRead, ReaderWrite, ReaderTell};

// A file on Fd read through a new Reader (null when libsndfile does not take it).
SNDFILE *OpenFd(int fd, SF_INFO &info, std::unique_ptr<TSndfileDecoder::TReader> &reader)
{
  reader = std::make_unique<TSndfileDecoder::TReader>();
  reader->Fd = fd;
  reader->Block.resize(kReadAhead);
  std::lock_guard lock(gOpenMutex);
  return sf_open_virtual(&gReaderCalls, SFM_READ, &info, reader.get());
}

void CloseFile(void *&file, int &fd, std::unique_ptr<TSndfileDecoder::TReader> &reader) noexcept
{
  if (file)
    sf_close(static_cast<SNDFILE *>(file));
  reader.reset();
  if (fd >= 0)
    platform::fd::Close(fd);
  file = nullptr;
  fd = -1;
}

} // namespace

TSndfileDecoder::TSndfileDecoder() = default;

TSndfileDecoder::~TSndfileDecoder()
{
  Close();
}

void TSndfileDecoder::Close() noexcept
{
  CloseFile(FFile, FFd, FReader);
  FFloatData = false;
  FRate = FChans = 0;
  FFrames = FPosition = 0;
  FMpeg = false;
  FMpegFrameSamples = 0;
  FMpegSkip = -1;
  if (FReopenFd >= 0) {
    platform::fd::Close(FReopenFd);
    FReopenFd = -1;
  }
}

int TSndfileDecoder::Open(const std::filesystem::path &file)
{
  Close();
  const int fd = platform::fd::OpenForReading(file);
  if (fd < 0)
    return kErrFileOpen;
  if (!platform::fd::IsRegularFile(fd)) {
    platform::fd::Close(fd);
    return kErrFileOpen;
  }
  const std::int64_t lameSkip = LameStartSkip(fd);
  // A second descriptor of the file, for an MP3 to be decoded afresh from its start.
  int keep = platform::fd::Duplicate(fd);
  SF_INFO info{};
  FFd = fd;
  FFile = OpenFd(fd, info, FReader);
  const auto fail = [&](int code) {
    Close();
    if (keep >= 0)
      platform::fd::Close(keep);
    return code;
  };
  if (!FFile)
    return fail(kErrFileForm);
  if (info.channels < 1 || info.channels > 32 || info.samplerate < 1000 ||
      info.samplerate > 384000 || info.frames < 0)
    return fail(kErrFormat);
  SNDFILE *sf = Sf(FFile);
  switch (info.format & SF_FORMAT_SUBMASK) {
  case SF_FORMAT_FLOAT:
  case SF_FORMAT_DOUBLE:
  case SF_FORMAT_VORBIS:
  case SF_FORMAT_OPUS:
  case SF_FORMAT_MPEG_LAYER_I:
  case SF_FORMAT_MPEG_LAYER_II:
  case SF_FORMAT_MPEG_LAYER_III:
    FFloatData = true;
    FFloatBuf.assign(std::size_t{kFloatChunkFrames} * static_cast<std::size_t>(info.channels),
                     0.0f);
    sf_command(sf, SFC_SET_NORM_FLOAT, nullptr, SF_TRUE);
    break;
  default:
    FFloatData = false;
    break;
  }
  if ((info.format & SF_FORMAT_TYPEMASK) == SF_FORMAT_MPEG) {
    FMpeg = true;
    FMpegFrameSamples = kMpeg1Layer3Samples;
    FMpegSkip = (info.format & SF_FORMAT_SUBMASK) == SF_FORMAT_MPEG_LAYER_III ? lameSkip : -1;
    std::swap(FReopenFd, keep);
  }
  if (keep >= 0)
    platform::fd::Close(keep);
  FRate = static_cast<std::uint32_t>(info.samplerate);
  FChans = static_cast<std::uint32_t>(info.channels);
  FFrames = static_cast<std::uint64_t>(info.frames);
  FPosition = 0;
  return kErrOk;
}

std::size_t TSndfileDecoder::ReadFrames(std::int16_t *dst, std::size_t frames) noexcept
{
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
    const sf_count_t got =
        sf_readf_float(Sf(FFile), FFloatBuf.data(), static_cast<sf_count_t>(want));
    if (got <= 0)
      break;
    const std::size_t samples = static_cast<std::size_t>(got) * FChans;
    std::int16_t *out = dst + done * FChans;
    ToShorts(FFloatBuf.data(), out, samples);
    done += static_cast<std::size_t>(got);
    if (static_cast<std::size_t>(got) < want)
      break;
  }
  FPosition += done;
  return done;
}

bool TSndfileDecoder::Seek(std::uint64_t frame) noexcept
{
  if (!FFile || frame > FFrames)
    return false;
  if (FMpeg)
    return ExactMpegSeek(frame);
  const sf_count_t at = sf_seek(Sf(FFile), static_cast<sf_count_t>(frame), SEEK_SET);
  if (at < 0)
    return false;
  FPosition = static_cast<std::uint64_t>(at);
  return static_cast<std::uint64_t>(at) == frame;
}

// The MP3 decoder primes itself after a jump from the frames just before the target,
// which leaves the bit reservoir short at low bit rates, and the rounding of its
// filter bank follows how many MPEG frames it has decoded since its last restart: a
// mono take jumped into on an odd frame comes out a unit off here and there. So jump
// to an MPEG frame a multiple of 16 frames from the start, at least 8 frames before
// the target, and decode the rest of the way: from there on every sample is the one
// a reading from the start gives. Where the frames cannot be placed (no LAME tag,
// MPEG-2), decode from the very start.
bool TSndfileDecoder::ExactMpegSeek(std::uint64_t frame) noexcept
{
  if (frame == FPosition)
    return true; // read up to here in order: nothing to do
  std::uint64_t from = 0;
  if (FMpegSkip >= 0 && frame > 0) {
    const std::uint64_t skip = static_cast<std::uint64_t>(FMpegSkip);
    std::uint64_t mpegFrame = (frame + skip) / FMpegFrameSamples;
    mpegFrame = mpegFrame >= 8 ? mpegFrame - 8 : 0;
    mpegFrame -= mpegFrame % 16;
    const std::uint64_t sample = mpegFrame * FMpegFrameSamples;
    from = sample > skip ? sample - skip : 0;
  }
  if (from == 0) {
    // A jump to the start does not restart the decoder as opening the file does.
    if (!Reopen())
      return false;
  } else {
    const sf_count_t at = sf_seek(Sf(FFile), static_cast<sf_count_t>(from), SEEK_SET);
    if (at < 0 || static_cast<std::uint64_t>(at) != from)
      return false;
  }
  FPosition = from;
  return SkipFrames(frame - from);
}

bool TSndfileDecoder::Reopen() noexcept
{
  if (FReopenFd < 0 || !platform::fd::Rewind(FReopenFd))
    return false;
  const int fd = platform::fd::Duplicate(FReopenFd);
  if (fd < 0)
    return false;
  SF_INFO info{};
  std::unique_ptr<TReader> reader;
  void *sf = OpenFd(fd, info, reader);
  int sfFd = fd;
  if (!sf || static_cast<std::uint32_t>(info.channels) != FChans) {
    CloseFile(sf, sfFd, reader);
    return false;
  }
  sf_command(Sf(sf), SFC_SET_NORM_FLOAT, nullptr, SF_TRUE);
  std::swap(FFile, sf);
  std::swap(FFd, sfFd);
  std::swap(FReader, reader);
  CloseFile(sf, sfFd, reader);
  FPosition = 0;
  return true;
}

bool TSndfileDecoder::SkipFrames(std::uint64_t frames) noexcept
{
  while (frames > 0) {
    const std::size_t want =
        static_cast<std::size_t>(std::min<std::uint64_t>(frames, kFloatChunkFrames));
    const sf_count_t got =
        sf_readf_float(Sf(FFile), FFloatBuf.data(), static_cast<sf_count_t>(want));
    if (got <= 0)
      return false;
    FPosition += static_cast<std::uint64_t>(got);
    frames -= static_cast<std::uint64_t>(got);
  }
  return true;
}

} // namespace praatkist::audio
