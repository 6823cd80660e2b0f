#include "audio/export/TakeExport.h"

#include "audio/AudioErrors.h"
#include "audio/capture/WaveTakeWriter.h"
#include "audio/codec/DecodeStream.h"
#include "audio/codec/WavHeader.h"
#include "platform/Errors.h"
#include "platform/FileOps.h"

#include <soxr.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

namespace praatkist::audio {

namespace fs = std::filesystem;

namespace {

struct TSoxrFree {
  void operator()(soxr_t s) const noexcept { soxr_delete(s); }
};
using TSoxr = std::unique_ptr<std::remove_pointer_t<soxr_t>, TSoxrFree>;

} // namespace

TExportedTake ExportTake(IAudioLayer &layer, const fs::path &take, const fs::path &target,
                         const TExportFormat &format, TWorkControl *control)
{
  const THandle stream = layer.StreamCreateFile(take, true);
  CheckBass(layer, stream != 0, "Lezen van opname");
  TStreamGuard guard(layer, stream);
  TChannelInfo info;
  CheckBass(layer, layer.ChannelGetInfo(stream, info), "Lezen van audioformaat");
  const std::uint32_t inChannels = info.Chans == 0 ? 1 : info.Chans;
  const std::uint64_t length = layer.ChannelGetLength(stream);

  TExportedTake out;
  out.SampleRate =
      format.SampleRate > 0 ? static_cast<std::uint32_t>(format.SampleRate) : info.Freq;
  out.Channels =
      static_cast<std::uint16_t>(format.Mono ? 1 : std::min<std::uint32_t>(inChannels, 2));
  if (length != kPositionError)
    out.Seconds = BytesToSeconds(layer, stream, length);

  TSoxr soxr;
  if (out.SampleRate != info.Freq) {
    soxr_error_t error = nullptr;
    const soxr_io_spec_t io = soxr_io_spec(SOXR_INT16_I, SOXR_INT16_I);
    const soxr_quality_spec_t quality = soxr_quality_spec(SOXR_HQ, 0);
    soxr.reset(
        soxr_create(info.Freq, out.SampleRate, out.Channels, &error, &io, &quality, nullptr));
    if (!soxr || error != nullptr)
      throw EAudioError("Omzetten van samplerate", kErrFormat);
  }

  // The take writer's WAV form: its header, its size limit; removed unless completed.
  TWaveTakeWriter file(target, out.SampleRate, out.Channels, kMaxWaveDataBytes);
  try {
    file.Begin();
    const auto write = [&](const std::int16_t *samples, std::size_t count) {
      if (count > 0 && !file.Write(samples, static_cast<std::uint32_t>(count * 2)))
        throw EFileError(file.Stopped() == TCaptureEnd::SizeLimit
                             ? "Het bestand wordt te groot voor WAV: " + platform::PathText(target)
                             : "Het bestand kon niet worden geschreven: " +
                                   platform::PathText(target));
    };

    std::vector<std::int16_t> in(kReadBlock / 2);
    std::vector<std::int16_t> frames;  // the take's frames in the file's channels
    std::vector<std::int16_t> changed; // at the file's rate
    std::uint64_t read = 0;
    bool ended = false;
    while (!ended) {
      if (control != nullptr) {
        if (control->Cancelled())
          throw EWorkCancelled();
        if (length != kPositionError && length > 0)
          control->Report(static_cast<double>(read) / static_cast<double>(length));
      }
      const std::uint32_t got = layer.ChannelGetData(stream, in.data(), kReadBlock);
      if (got == kDataError && layer.ErrorGetCode() != kErrEnded)
        CheckBass(layer, false, "Lezen van opname");
      ended = got == 0 || got == kDataError;
      read += ended ? 0 : got;
      const std::size_t inFrames = ended ? 0 : got / (2u * inChannels);

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
        write(frames.data(), frames.size());
        continue;
      }
      // At the end the converter gives what it still holds (no input: a flush).
      const std::size_t room =
          (inFrames + 64) * out.SampleRate / std::max<std::uint32_t>(info.Freq, 1) + 1024;
      changed.resize(room * out.Channels);
      std::size_t consumed = 0;
      for (;;) {
        std::size_t done = 0, produced = 0;
        const soxr_error_t error =
            soxr_process(soxr.get(), ended ? nullptr : frames.data() + consumed * out.Channels,
                         ended ? 0 : inFrames - consumed, &done, changed.data(), room, &produced);
        if (error != nullptr)
          throw EAudioError("Omzetten van samplerate", kErrUnknown);
        consumed += done;
        write(changed.data(), produced * out.Channels);
        // Input taken, and (at the end) nothing more to give.
        if (consumed >= inFrames && (produced < room || !ended))
          break;
      }
    }
    guard.Release();

    out.Frames = file.Frames();
    if (!file.Finish())
      throw EFileError("Het bestand kon niet worden geschreven: " + platform::PathText(target));
    platform::SyncFileOrRaise(target);
  } catch (...) {
    file.Abandon();
    throw;
  }
  if (control != nullptr)
    control->Report(1.0);
  return out;
}

} // namespace praatkist::audio
