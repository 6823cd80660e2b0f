#include "audio/codec/Mp3Encoder.h"

#include "audio/AudioLayer.h"
#include "platform/Descriptor.h"
#include "platform/FileOps.h"

#include <lame/lame.h>


#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>

namespace praatkist::audio {

namespace {

constexpr std::size_t kChunkFrames = 4096;

lame_global_flags *Gf(void *p)
{
  return static_cast<lame_global_flags *>(p);
}

} // namespace

TMp3Encoder::~TMp3Encoder()
{
  Finish();
}

int TMp3Encoder::Open(const std::filesystem::path &file, std::uint32_t rate, std::uint32_t chans,
                      int kbps)
{
  if (FLame || FFd >= 0)
    return kErrAlready;
  if (chans < 1 || chans > 2 || rate < 8000 || rate > 192000)
    return kErrFormat;
  if (kbps < 8 || kbps > 320)
    return kErrIllegalParam;

  lame_global_flags *gf = lame_init();
  if (!gf)
    return kErrCodec;
  lame_set_in_samplerate(gf, static_cast<int>(rate));
  lame_set_num_channels(gf, static_cast<int>(chans));
  lame_set_mode(gf, chans == 1 ? MONO : JOINT_STEREO);
  lame_set_VBR(gf, vbr_off);
  lame_set_brate(gf, kbps);
  lame_set_bWriteVbrTag(gf, 1);           // reserve the first frame for the Info tag
  lame_set_write_id3tag_automatic(gf, 0); // no ID3 tags
  if (lame_init_params(gf) < 0) {
    lame_close(gf);
    return kErrIllegalParam;
  }

  try {
    // lame's own bound for one call: 1.25 x samples + 7200 bytes.
    FOut.assign(kChunkFrames * 5 / 4 + 7200 + kChunkFrames * 2 * sizeof(short), 0);
  } catch (const std::bad_alloc &) {
    lame_close(gf);
    return kErrMemory;
  }

  const int fd = platform::fd::CreateForWriting(file);
  if (fd < 0) {
    lame_close(gf);
    return kErrCreate;
  }
  FLame = gf;
  FFd = fd;
  FPath = file;
  FChans = chans;
  FActive = true;
  FFailed = false;
  return kErrOk;
}

bool TMp3Encoder::WriteAll(const unsigned char *data, std::size_t n) noexcept
{
  while (n > 0) {
    if (platform::FileFault("write", FPath) != 0)
      return false;
    const long long w = platform::fd::WriteSome(FFd, data, n);
    if (w < 0 && errno == EINTR)
      continue;
    if (w <= 0)
      return false;
    data += w;
    n -= static_cast<std::size_t>(w);
  }
  return true;
}

bool TMp3Encoder::Encode(const void *pcm, std::size_t bytes) noexcept
{
  if (!FActive)
    return false;
  const std::size_t frameBytes = FChans * 2;
  std::size_t frames = bytes / frameBytes;
  const auto *src = static_cast<const unsigned char *>(pcm);
  // The samples are copied into an aligned part of FOut's tail: the caller's
  // buffer may start at any address.
  const std::size_t mp3Room = FOut.size() - kChunkFrames * 2 * sizeof(short);
  auto *samples = reinterpret_cast<short *>(FOut.data() + mp3Room);
  while (frames > 0) {
    const std::size_t n = frames < kChunkFrames ? frames : kChunkFrames;
    std::memcpy(samples, src, n * frameBytes);
    int out;
    if (FChans == 1) {
      // The interleaved entry garbles mono: feed it as one plane.
      out = lame_encode_buffer(Gf(FLame), samples, samples, static_cast<int>(n), FOut.data(),
                               static_cast<int>(mp3Room));
    } else {
      out = lame_encode_buffer_interleaved(Gf(FLame), samples, static_cast<int>(n), FOut.data(),
                                           static_cast<int>(mp3Room));
    }
    if (out < 0 || !WriteAll(FOut.data(), static_cast<std::size_t>(out))) {
      FFailed = true;
      Close();
      return false;
    }
    src += n * frameBytes;
    frames -= n;
  }
  return true;
}

bool TMp3Encoder::Finish() noexcept
{
  if (!FLame && FFd < 0)
    return !FFailed;
  bool ok = FActive;
  if (FActive) {
    const int out = lame_encode_flush(Gf(FLame), FOut.data(), static_cast<int>(FOut.size()));
    ok = out >= 0 && platform::FileFault("flush", FPath) == 0 &&
         WriteAll(FOut.data(), static_cast<std::size_t>(out));
    if (ok) {
      // The Info tag carries the exact sample count and the encoder delay and
      // padding: without it decoders report a thousand frames or more too many.
      unsigned char tag[2880];
      const std::size_t n = lame_get_lametag_frame(Gf(FLame), tag, sizeof tag);
      ok = n <= sizeof tag;
      std::size_t done = 0;
      while (ok && done < n) {
        const long long w = platform::fd::WriteSomeAt(FFd, tag + done, n - done, static_cast<long long>(done));
        if (w < 0 && errno == EINTR)
          continue;
        ok = w > 0;
        if (ok)
          done += static_cast<std::size_t>(w);
      }
    }
  }
  if (!ok)
    FFailed = true;
  Close(); // a failing close fails the file as well
  return !FFailed;
}

void TMp3Encoder::Close() noexcept
{
  FActive = false;
  if (FFd >= 0) {
    if (platform::fd::Close(FFd) != 0)
      FFailed = true;
    FFd = -1;
  }
  if (FLame) {
    lame_close(Gf(FLame));
    FLame = nullptr;
  }
}

} // namespace praatkist::audio
