#include "audio/trim/TrimScan.h"

#include "audio/AudioErrors.h"
#include "audio/TakeFormat.h"
#include "audio/codec/DecodeStream.h"
#include "audio/codec/Mp3Frames.h"
#include "audio/codec/Peaks.h"
#include "audio/codec/WavHeader.h"
#include "platform/FileOps.h"

#include <algorithm>

namespace praatkist::audio {

namespace {

// A sample is sound when its magnitude is above this (about 45 dB below full scale).
constexpr std::int32_t kLoudness = 184;

// Index of the first (or last) sample in Data[0 .. Count) louder than kLoudness, or -1.
std::int64_t FirstLoud(const std::int16_t *data, std::size_t count) noexcept
{
  for (std::size_t i = 0; i < count; ++i)
    if (Magnitude(data[i]) > kLoudness)
      return static_cast<std::int64_t>(i);
  return -1;
}

std::int64_t LastLoud(const std::int16_t *data, std::size_t count) noexcept
{
  for (std::size_t i = count; i > 0; --i)
    if (Magnitude(data[i - 1]) > kLoudness)
      return static_cast<std::int64_t>(i - 1);
  return -1;
}

bool AnyLoud(const std::int16_t *data, std::size_t count) noexcept
{
  std::int32_t peak = 0, unused = 0;
  BufferPeaks(reinterpret_cast<const std::uint8_t *>(data), static_cast<std::uint32_t>(count * 2),
              1, peak, unused);
  return peak > kLoudness;
}

} // namespace

std::optional<std::uint64_t> PlainSampleOffset(const std::filesystem::path &file,
                                               const TChannelInfo &info, std::uint64_t length,
                                               void *scratch, std::size_t scratchSize) noexcept
{
  try {
    platform::TReadFile f(file);
    const std::size_t n = f.ReadAt(0, scratch, scratchSize);
    TWaveLayout layout;
    if (!ParseWaveLayout(static_cast<const std::uint8_t *>(scratch), n, layout))
      return std::nullopt;
    if (!IsPcm16(layout) || layout.Channels != info.Chans || layout.SampleRate != info.Freq)
      return std::nullopt;
    const std::uint64_t size = f.Size();
    if (size < layout.DataOffset)
      return std::nullopt;
    const std::uint64_t frameBytes = TPcmFormat{layout.SampleRate, layout.Channels}.FrameBytes();
    std::uint64_t samples = std::min<std::uint64_t>(layout.DataBytes, size - layout.DataOffset);
    samples -= samples % frameBytes;
    if (samples != length)
      return std::nullopt;
    return layout.DataOffset;
  } catch (...) {
    return std::nullopt;
  }
}

TTrimScan ScanForSound(IAudioLayer &layer, const std::filesystem::path &FileName,
                       std::vector<std::int16_t> &block, const TTrimStep &step)
{
  TTrimScan r;
  auto *bytes = reinterpret_cast<std::uint8_t *>(block.data());
  const THandle stream = layer.StreamCreateFile(FileName, true);
  CheckBass(layer, stream != 0, "Zoeken naar stiltes");
  TStreamGuard guard(layer, stream);
  CheckBass(layer, layer.ChannelGetInfo(stream, r.Info), "Lezen van audioformaat");
  r.Rate = r.Info.Freq;
  r.Channels = r.Info.Chans == 0 ? 1 : r.Info.Chans;
  const std::uint32_t channels = r.Channels;
  const std::uint64_t frameBytes = PcmFrameBytes(channels);
  const std::uint64_t length = r.Length = layer.ChannelGetLength(stream);
  const double lengthSamples = length == kPositionError || length == 0 ? 0.0 : length / 2.0;
  if (length != kPositionError)
    r.PlainOffset = PlainSampleOffset(FileName, r.Info, length, bytes, kReadBlock);

  // Reads on from the stream's position (sample Samples), block by block, up to the
  // end of the data or a read error, which ends the scan the same way. With StopAtSound
  // it stops after the first block with sound in it.
  std::int64_t samples = 0;
  const auto scanForward = [&](bool stopAtSound) {
    for (;;) {
      step(lengthSamples > 0 ? 0.5 * static_cast<double>(samples) / lengthSamples : 0.0);
      const std::uint32_t got = layer.ChannelGetData(stream, bytes, kReadBlock);
      if (got == 0 || got == kDataError)
        return;
      const std::size_t n = got / 2;
      const bool loud = AnyLoud(block.data(), n); // most blocks are all silence or sound
      if (loud) {
        if (r.FirstLoud < 0)
          r.FirstLoud = (samples + FirstLoud(block.data(), n)) / channels;
        r.LastLoud = (samples + LastLoud(block.data(), n)) / channels;
      }
      samples += static_cast<std::int64_t>(n);
      if (loud && stopAtSound)
        return;
    }
  };

  // Where the samples are the file's own bytes, or the frames of an MP3 whose tag lets
  // the decoder place every sample, only the two ends need reading: from the start up
  // to the first sound, and from the end back to the last.
  bool fromBothEnds = (r.PlainOffset.has_value() || StartsWithLameTag(FileName)) &&
                      length != kPositionError && length % frameBytes == 0;
  scanForward(fromBothEnds);
  if (fromBothEnds && r.FirstLoud >= 0) {
    const std::uint64_t scanned = static_cast<std::uint64_t>(samples) * 2;
    const std::uint64_t floor = scanned - scanned % frameBytes;
    const std::uint64_t stride = kReadBlock - kReadBlock % frameBytes;
    std::uint64_t hi = length;
    while (hi > floor) {
      step(0.5 * static_cast<double>(scanned + (length - hi)) / (2.0 * lengthSamples));
      const std::uint64_t lo = hi - std::min(stride, hi - floor);
      const auto want = static_cast<std::uint32_t>(hi - lo);
      std::uint32_t have = 0;
      if (layer.ChannelSetPosition(stream, lo)) {
        while (have < want) {
          const std::uint32_t got = layer.ChannelGetData(stream, bytes + have, want - have);
          if (got == 0 || got == kDataError)
            break;
          have += got;
        }
      }
      if (have < want) {
        // The decoder does not give the end as it should: read it all from the start,
        // so that the result is what one pass over the take gives.
        fromBothEnds = false;
        break;
      }
      const std::int64_t at = LastLoud(block.data(), want / 2);
      if (at >= 0) {
        r.LastLoud = std::max<std::int64_t>(r.LastLoud, (static_cast<std::int64_t>(lo / 2) + at) /
                                                            static_cast<std::int64_t>(channels));
        break;
      }
      hi = lo;
    }
    if (!fromBothEnds) {
      r.FirstLoud = r.LastLoud = -1;
      samples = 0;
      CheckBass(layer, layer.ChannelSetPosition(stream, 0), "Zoeken naar stiltes");
      scanForward(false);
    }
  }
  // A length the decoder cannot tell: go by what it delivered.
  const std::uint64_t frames = length == kPositionError
                                   ? static_cast<std::uint64_t>(samples) / channels
                                   : length / frameBytes;
  r.TotalFrames = static_cast<std::int64_t>(std::min<std::uint64_t>(frames, INT64_MAX));
  return r;
}

bool CutPoints(const TTrimScan &scan, TCutPoints &cut) noexcept
{
  // Sound found only past the reported length cannot be cut to; nor can a rate of 0.
  if (scan.FirstLoud < 0 || scan.TotalFrames <= 0 || scan.Rate == 0 ||
      scan.FirstLoud >= scan.TotalFrames)
    return false;
  const std::int64_t margin = scan.Rate / 10;
  cut.Start = std::max<std::int64_t>(scan.FirstLoud - margin, 0);
  cut.End = std::min<std::int64_t>(scan.LastLoud + margin + 1, scan.TotalFrames);
  return true;
}

} // namespace praatkist::audio
