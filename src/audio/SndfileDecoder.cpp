#include "audio/SndfileDecoder.h"

#include "audio/AudioLayer.h"

#include <sndfile.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace praatkist::audio {

namespace {

SNDFILE* Sf(void* p) { return static_cast<SNDFILE*>(p); }

} // namespace

TSndfileDecoder::~TSndfileDecoder() {
  Close();
}

void TSndfileDecoder::Close() noexcept {
  if (FFile) {
    sf_close(Sf(FFile));
    FFile = nullptr;
  }
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
  // Float data beyond full scale is clipped instead of wrapping round.
  sf_command(sf, SFC_SET_CLIPPING, nullptr, SF_TRUE);
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
  const sf_count_t got = sf_readf_short(Sf(FFile), dst, static_cast<sf_count_t>(frames));
  if (got <= 0)
    return 0;
  FPosition += static_cast<std::uint64_t>(got);
  return static_cast<std::size_t>(got);
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
