#include "audio/export/TakeExport.h"

#include "audio/TakeFormat.h"

#include "audio/AudioErrors.h"
#include "audio/analysis/FigureMeter.h"
#include "audio/codec/WaveWriter.h"
#include "audio/codec/DecodeStream.h"
#include "audio/codec/WavHeader.h"
#include "platform/Errors.h"
#include "platform/FileOps.h"

#include <sndfile.h>
#include <soxr.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

namespace praatkist::audio {

namespace fs = std::filesystem;

namespace {

struct TSoxrFree {
  void operator()(soxr_t s) const noexcept { soxr_delete(s); }
};
using TSoxr = std::unique_ptr<std::remove_pointer_t<soxr_t>, TSoxrFree>;

// The take decoded, in the file's channels and at its rate, into Pcm (interleaved, full
// scale kFullScale, not yet rounded: the gain comes before the one rounding to 16 bits).
void ReadConverted(IAudioLayer &layer, const fs::path &take, const TExportFormat &format,
                   TWorkControl *control, TExportedTake &out, std::vector<float> &pcm)
{
  const THandle stream = layer.StreamCreateFile(take, true);
  CheckBass(layer, stream != 0, "Lezen van opname");
  TStreamGuard guard(layer, stream);
  TChannelInfo info;
  CheckBass(layer, layer.ChannelGetInfo(stream, info), "Lezen van audioformaat");
  const std::uint32_t inChannels = info.Chans == 0 ? 1 : info.Chans;
  const std::uint64_t length = layer.ChannelGetLength(stream);

  out.SampleRate =
      format.SampleRate > 0 ? static_cast<std::uint32_t>(format.SampleRate) : info.Freq;
  out.Channels =
      static_cast<std::uint16_t>(format.Mono ? 1 : std::min<std::uint32_t>(inChannels, 2));
  if (length != kPositionError) {
    out.Seconds = BytesToSeconds(layer, stream, length);
    const double frames = static_cast<double>(length) / (2.0 * inChannels) * out.SampleRate /
                          std::max<std::uint32_t>(info.Freq, 1);
    pcm.reserve(static_cast<std::size_t>(frames + 4096) * out.Channels);
  }

  TSoxr soxr;
  if (out.SampleRate != info.Freq) {
    soxr_error_t error = nullptr;
    const soxr_io_spec_t io = soxr_io_spec(SOXR_INT16_I, SOXR_FLOAT32_I);
    const soxr_quality_spec_t quality = soxr_quality_spec(SOXR_HQ, 0);
    soxr.reset(
        soxr_create(info.Freq, out.SampleRate, out.Channels, &error, &io, &quality, nullptr));
    if (!soxr || error != nullptr)
      throw EAudioError("Omzetten van samplerate", kErrFormat);
  }

  std::vector<std::int16_t> in(kReadBlock / 2);
  std::vector<std::int16_t> frames; // the take's frames in the file's channels
  std::uint64_t read = 0;
  bool ended = false;
  while (!ended) {
    if (control != nullptr) {
      if (control->Cancelled())
        throw EWorkCancelled();
      if (length != kPositionError && length > 0)
        control->Report(0.9 * static_cast<double>(read) / static_cast<double>(length));
    }
    const std::uint32_t got = layer.ChannelGetData(stream, in.data(), kReadBlock);
    if (got == kDataError && layer.ErrorGetCode() != kErrEnded)
      CheckBass(layer, false, "Lezen van opname");
    ended = got == 0 || got == kDataError;
    read += ended ? 0 : got;
    const std::size_t inFrames = ended ? 0 : got / PcmFrameBytes(inChannels);

    frames.resize(inFrames * out.Channels);
    if (out.Channels == 1 && inChannels == 2) {
      // the mean below, with a divisor the compiler knows: no division per frame
      for (std::size_t f = 0; f < inFrames; ++f) {
        const std::int32_t sum = std::int32_t{in[2 * f]} + in[2 * f + 1];
        frames[f] = static_cast<std::int16_t>(sum >= 0 ? (sum + 1) / 2 : (sum - 1) / 2);
      }
    } else {
      for (std::size_t f = 0; f < inFrames; ++f) {
        const std::int16_t *frame = in.data() + f * inChannels;
        if (out.Channels == 1) {
          std::int32_t sum = 0;
          for (std::uint32_t c = 0; c < inChannels; ++c)
            sum += frame[c];
          // the mean, rounded half away from zero
          const auto n = static_cast<std::int32_t>(inChannels);
          frames[f] =
              static_cast<std::int16_t>(sum >= 0 ? (sum + n / 2) / n : (sum - n / 2) / n);
        } else {
          frames[2 * f] = frame[0];
          frames[2 * f + 1] = frame[inChannels > 1 ? 1 : 0];
        }
      }
    }

    if (!soxr) {
      pcm.insert(pcm.end(), frames.begin(), frames.end());
      continue;
    }
    // Straight onto the end of the take (float out, full scale 1.0, brought to kFullScale);
    // at the end the converter gives what it still holds (no input: a flush).
    const std::size_t room =
        (inFrames + 64) * out.SampleRate / std::max<std::uint32_t>(info.Freq, 1) + 1024;
    std::size_t consumed = 0;
    for (;;) {
      const std::size_t at = pcm.size();
      pcm.resize(at + room * out.Channels);
      std::size_t done = 0, produced = 0;
      const soxr_error_t error =
          soxr_process(soxr.get(), ended ? nullptr : frames.data() + consumed * out.Channels,
                       ended ? 0 : inFrames - consumed, &done, pcm.data() + at, room, &produced);
      pcm.resize(at + produced * out.Channels);
      if (error != nullptr)
        throw EAudioError("Omzetten van samplerate", kErrUnknown);
      for (std::size_t i = at; i < pcm.size(); ++i)
        pcm[i] *= static_cast<float>(kFullScale);
      consumed += done;
      // Input taken, and (at the end) nothing more to give.
      if (consumed >= inFrames && (produced < room || !ended))
        break;
    }
  }
}

// A sample rounded to 16 bits, clamped.
std::int16_t Rounded(float v) noexcept
{
  return static_cast<std::int16_t>(std::clamp(std::nearbyint(v), -static_cast<float>(kFullScale), static_cast<float>(kClipLevel)));
}

// Exactly Margin before the speech [Start, End) (seconds) and after it: the take cut
// where it has more, digital silence where it has less.
void KeepMargin(std::vector<float> &pcm, std::uint32_t channels, std::uint32_t rate,
                double start, double end, int marginMs)
{
  const auto frames = static_cast<std::int64_t>(pcm.size() / channels);
  const auto frameOf = [&](double seconds) {
    return std::clamp<std::int64_t>(std::llround(seconds * rate), 0, frames);
  };
  const std::int64_t margin = std::llround(marginMs * static_cast<double>(rate) / 1000.0);
  const std::int64_t first = frameOf(start), last = std::max(first, frameOf(end));
  const std::int64_t from = first - margin, to = last + margin;
  std::vector<float> kept(static_cast<std::size_t>(to - from) * channels, 0.0f);
  const std::int64_t copyFrom = std::max<std::int64_t>(from, 0);
  const std::int64_t copyTo = std::min(to, frames);
  std::copy(pcm.begin() + copyFrom * channels, pcm.begin() + copyTo * channels,
            kept.begin() + (copyFrom - from) * channels);
  pcm.swap(kept);
}

// The gain that brings the integrated loudness of the samples, as they would be written
// without it, to Target, with no sample above the ceiling (0 dB: silence, none).
double LoudnessGain(const std::vector<float> &pcm, std::uint32_t channels, std::uint32_t rate,
                    double target)
{
  const std::uint64_t frames = pcm.size() / channels;
  if (frames == 0)
    return 0.0;
  std::vector<std::int16_t> written(pcm.size());
  std::transform(pcm.begin(), pcm.end(), written.begin(), Rounded);
  TFigureMeter meter(channels, rate, 0, frames, true);
  meter.Add(reinterpret_cast<const std::uint8_t *>(written.data()), frames, 0);
  const TTakeFigures figures = TFigureMeter::Combine({&meter});
  if (!std::isfinite(figures.LoudnessLufs))
    return 0.0;
  float peak = 0.0f;
  for (const float v : pcm)
    peak = std::max(peak, std::abs(v));
  // The largest magnitude at the ceiling, whole: rounding never goes above it.
  const double ceiling = std::floor(kFullScale * std::pow(10.0, kCeilingDb / 20.0));
  double gain = target - figures.LoudnessLufs;
  if (peak > 0.0f)
    gain = std::min(gain, 20.0 * std::log10(ceiling / peak));
  return gain;
}

void WriteWave(const fs::path &target, const TExportedTake &out,
               const std::vector<std::int16_t> &pcm)
{
  // The program's one WAV writer: its header, its size limit; removed unless completed.
  TWaveWriter file(target, {out.SampleRate, out.Channels});
  const auto failed = [&target] {
    return EFileError("Het bestand kon niet worden geschreven: " + platform::PathText(target));
  };
  try {
    file.Begin();
    constexpr std::size_t kPiece = 1u << 19; // samples
    for (std::size_t at = 0; at < pcm.size(); at += kPiece) {
      const std::size_t count = std::min(kPiece, pcm.size() - at);
      const TWaveWriter::TAppend done =
          file.TryAppend(pcm.data() + at, static_cast<std::uint32_t>(count * kSampleBytes));
      if (done == TWaveWriter::waFull)
        throw EFileError("Het bestand wordt te groot voor WAV: " + platform::PathText(target));
      if (done == TWaveWriter::waFailed)
        throw failed();
    }
    if (!file.TryFinish({}))
      throw failed();
    file.SyncAndClose();
  } catch (...) {
    file.Abandon();
    throw;
  }
}

// A file libsndfile writes into memory.
struct TMemoryFile {
  std::vector<unsigned char> Bytes;
  sf_count_t At = 0;
};

sf_count_t MemLength(void *user)
{
  return static_cast<sf_count_t>(static_cast<TMemoryFile *>(user)->Bytes.size());
}
sf_count_t MemSeek(sf_count_t offset, int whence, void *user)
{
  auto &m = *static_cast<TMemoryFile *>(user);
  const sf_count_t base =
      whence == SEEK_SET ? 0 : (whence == SEEK_CUR ? m.At : static_cast<sf_count_t>(m.Bytes.size()));
  if (base + offset < 0)
    return -1;
  m.At = base + offset;
  return m.At;
}
sf_count_t MemRead(void *to, sf_count_t count, void *user)
{
  auto &m = *static_cast<TMemoryFile *>(user);
  const auto size = static_cast<sf_count_t>(m.Bytes.size());
  const sf_count_t n = std::max<sf_count_t>(0, std::min(count, size - m.At));
  if (n > 0)
    std::memcpy(to, m.Bytes.data() + m.At, static_cast<std::size_t>(n));
  m.At += n;
  return n;
}
sf_count_t MemWrite(const void *from, sf_count_t count, void *user)
{
  auto &m = *static_cast<TMemoryFile *>(user);
  if (m.At + count > static_cast<sf_count_t>(m.Bytes.size()))
    m.Bytes.resize(static_cast<std::size_t>(m.At + count));
  std::memcpy(m.Bytes.data() + m.At, from, static_cast<std::size_t>(count));
  m.At += count;
  return count;
}
sf_count_t MemTell(void *user)
{
  return static_cast<TMemoryFile *>(user)->At;
}
SF_VIRTUAL_IO gMemoryCalls = {MemLength, MemSeek, MemRead, MemWrite, MemTell};

// 16-bit FLAC of Pcm; false when libsndfile cannot write it.
bool EncodeFlac(std::uint32_t rate, std::uint16_t channels, const std::vector<std::int16_t> &pcm,
                TMemoryFile &into)
{
  SF_INFO info{};
  info.samplerate = static_cast<int>(rate);
  info.channels = channels;
  info.format = SF_FORMAT_FLAC | SF_FORMAT_PCM_16;
  if (sf_format_check(&info) == 0)
    return false;
  SNDFILE *file = sf_open_virtual(&gMemoryCalls, SFM_WRITE, &info, &into);
  if (file == nullptr)
    return false;
  const auto frames = static_cast<sf_count_t>(pcm.size() / channels);
  const bool written = sf_writef_short(file, pcm.data(), frames) == frames;
  return sf_close(file) == 0 && written;
}

void WriteFlac(const fs::path &target, const TExportedTake &out,
               const std::vector<std::int16_t> &pcm)
{
  TMemoryFile flac;
  if (!EncodeFlac(out.SampleRate, out.Channels, pcm, flac))
    throw EFileError("FLAC kan hier niet worden geschreven: " + platform::PathText(target));
  platform::TWriteFile file(target);
  try {
    file.Write(flac.Bytes.data(), flac.Bytes.size());
    file.Sync();
    file.Close();
  } catch (...) {
    std::error_code ec;
    fs::remove(target, ec);
    throw;
  }
}

} // namespace

const char *FileExtension(TExportFile file) noexcept
{
  return file == TExportFile::Flac ? ".flac" : ".wav";
}

bool FlacWritable() noexcept
{
  static const bool writable = [] {
    TMemoryFile trial;
    return EncodeFlac(22050, 1, std::vector<std::int16_t>(2205, 0), trial);
  }();
  return writable;
}

TExportedTake ExportTake(IAudioLayer &layer, const fs::path &take, const fs::path &target,
                         const TExportFormat &format, TWorkControl *control,
                         const TTakeFigures *speech)
{
  TExportedTake out;
  std::vector<float> converted;
  ReadConverted(layer, take, format, control, out, converted);
  if (format.MarginMs && speech != nullptr && speech->HasSpeech)
    KeepMargin(converted, out.Channels, out.SampleRate, speech->SpeechStartSeconds,
               speech->SpeechEndSeconds, std::max(0, *format.MarginMs));
  if (format.LoudnessLufs)
    out.GainDb = LoudnessGain(converted, out.Channels, out.SampleRate, *format.LoudnessLufs);
  if (control != nullptr && control->Cancelled())
    throw EWorkCancelled();
  // The one rounding to 16 bits, after the gain.
  std::vector<std::int16_t> pcm(converted.size());
  const auto gain = static_cast<float>(std::pow(10.0, out.GainDb / 20.0));
  if (out.GainDb == 0.0)
    std::transform(converted.begin(), converted.end(), pcm.begin(), Rounded);
  else
    std::transform(converted.begin(), converted.end(), pcm.begin(),
                   [gain](float v) { return Rounded(v * gain); });
  std::vector<float>().swap(converted);
  out.Frames = pcm.size() / out.Channels;
  if (format.File == TExportFile::Flac)
    WriteFlac(target, out, pcm);
  else
    WriteWave(target, out, pcm);
  if (control != nullptr)
    control->Report(1.0);
  return out;
}

} // namespace praatkist::audio
