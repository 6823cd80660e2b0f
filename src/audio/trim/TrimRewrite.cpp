#include "audio/trim/TrimRewrite.h"

#include "audio/AudioErrors.h"
#include "audio/capture/Mp3TakeWriter.h"
#include "audio/codec/DecodeStream.h"
#include "audio/trim/Mp3FrameTrim.h"
#include "audio/codec/Mp3Frames.h"
#include "audio/codec/WaveWriter.h"
#include "platform/Errors.h"
#include "platform/FileOps.h"

#include <algorithm>
#include <memory>
#include <optional>

namespace praatkist::audio {

namespace {

// Kernel copies go in steps of this many bytes, so that progress and a cancel are seen.
constexpr std::uint64_t kCopyStep = 64u << 20;

// What a rewrite holds open, released on every way out in this order: the MP3 writer
// (which writes the rest of its file), the WAV writer, the decoding stream.
struct TRewriteOutput {
  explicit TRewriteOutput(IAudioLayer &layer) : Stream(layer) {}
  TRewriteOutput(const TRewriteOutput &) = delete;
  TRewriteOutput &operator=(const TRewriteOutput &) = delete;
  ~TRewriteOutput()
  {
    if (Mp3)
      Mp3->Finish();
    if (Wave)
      Wave->Close();
  }
  TStreamGuard Stream; // declared before the others, so released after them
  std::unique_ptr<TMp3TakeWriter> Mp3;
  std::optional<TWaveWriter> Wave;
};

// An MP3 take trimmed by copying its own frames: true when done, false (nothing
// written) when the take is not one whose frames can be copied exactly.
bool CopyKeptFrames(const TRewriteJob &job, const TTrimScan &scan, const TCutPoints &cut,
                    std::vector<std::int16_t> &block, const TTrimStep &step)
{
  TMp3Take take;
  step(0.5);
  if (!ReadMp3Take(job.Source, take) ||
      take.Samples() != static_cast<std::uint64_t>(scan.TotalFrames) ||
      take.First.SampleRate != scan.Rate || take.First.Channels() != scan.Channels)
    return false;
  platform::TReadFile source(job.Source);
  TFrameTrim plan;
  if (!PlanFrameTrim(take, source, static_cast<std::uint64_t>(cut.Start),
                     static_cast<std::uint64_t>(cut.End), plan))
    return false;

  WriteFrameTrim(take, plan, source, job.Target, block.data(), kReadBlock,
                 [&step](double fraction) { step(0.5 + 0.5 * fraction); }, job.TargetClaim);
  return true;
}

} // namespace

void RewriteTake(IAudioLayer &layer, const TRewriteJob &job, const TTrimScan &scan,
                 const TCutPoints &cut, std::vector<std::int16_t> &block, const TTrimStep &step)
{
  // An MP3 made of MPEG-1 Layer III frames with a LAME tag keeps its own frames (and
  // bit rate); anything else is decoded and encoded anew.
  if (job.Format == rfMP3 && CopyKeptFrames(job, scan, cut, block, step))
    return;

  auto *bytes = reinterpret_cast<std::uint8_t *>(block.data());
  TRewriteOutput h(layer);
  // The rewrite reads the backup, which must open as the take did.
  h.Stream.Reset(layer.StreamCreateFile(job.Source, true));
  CheckBass(layer, h.Stream.Stream() != 0, "Openen van herstelkopie");
  const TPcmFormat format{scan.Rate, static_cast<std::uint16_t>(scan.Channels)};
  const std::uint64_t frameBytes = format.FrameBytes();
  const std::uint64_t startByte = static_cast<std::uint64_t>(cut.Start) * frameBytes;
  std::uint64_t wanted = static_cast<std::uint64_t>(cut.End - cut.Start) * frameBytes;
  CheckBass(layer, layer.ChannelSetPosition(h.Stream.Stream(), startByte),
            "Positioneren voor trimmen");

  if (job.Format == rfMP3) {
    // encoded as the stream decodes: the backup's format, which the scan read
    h.Mp3 = std::make_unique<TMp3TakeWriter>(
        job.Target, TPcmFormat{scan.Info.Freq, static_cast<std::uint16_t>(scan.Info.Chans)},
        job.Bitrate, "Starten van MP3-trimmer");
    try {
      h.Mp3->Begin();
    } catch (...) {
      h.Mp3->Abandon(); // no encoder: no file either
      h.Mp3.reset();
      throw;
    }
    if (job.TargetClaim != nullptr)
      job.TargetClaim->Claim(job.Target);
  } else {
    if (wanted > WaveDataRoom(job.WaveDataLimit))
      throw EInvalidOperation("De WAV-opname is te groot om te trimmen.");
    // The sizes are known: the header has them from the start.
    h.Wave.emplace(job.Target, format, job.TargetClaim, job.WaveDataLimit);
    h.Wave->Begin(static_cast<std::uint32_t>(wanted));
  }

  const double rewrite = static_cast<double>(wanted);
  const auto progress = [&] { step(0.5 + 0.5 * (1.0 - static_cast<double>(wanted) / rewrite)); };
  const std::optional<std::uint64_t> backupOffset =
      h.Wave && scan.PlainOffset
          ? PlainSampleOffset(job.Source, scan.Info, scan.Length, bytes, kReadBlock)
          : std::nullopt;
  if (backupOffset && backupOffset == scan.PlainOffset) {
    // The kept samples are a byte range of the backup: the kernel copies it.
    platform::TReadFile source(job.Source);
    std::uint64_t at = *backupOffset + startByte;
    while (wanted != 0) {
      progress();
      const std::uint64_t n =
          h.Wave->AppendCopy(source, at, std::min(wanted, kCopyStep), bytes, kReadBlock);
      if (n == 0)
        break;
      at += n;
      wanted -= n;
    }
  } else {
    while (wanted != 0) {
      progress();
      const auto ask = static_cast<std::uint32_t>(std::min<std::uint64_t>(kReadBlock, wanted));
      const std::uint32_t got = layer.ChannelGetData(h.Stream.Stream(), bytes, ask);
      if (got == 0 || got == kDataError)
        break;
      if (h.Wave)
        h.Wave->Append(bytes, got);
      else if (!h.Mp3->Write(bytes, got))
        break; // the file takes no more: said below
      wanted -= std::min<std::uint64_t>(got, wanted);
    }
  }

  if (h.Mp3) {
    // A writer that stopped by itself could not write its file; one whose last bytes,
    // tag or close failed left a damaged one.
    const bool running = h.Mp3->Stopped() == TCaptureEnd::None;
    const bool finished = h.Mp3->Finish();
    h.Mp3.reset();
    if (!running || !finished)
      throw EFileError("Het MP3-bestand kon niet worden geschreven: " +
                       platform::PathText(job.Target));
  }
  h.Stream.Release();
  if (wanted != 0)
    throw EPraatkistError("De opname kon niet volledig worden getrimd.");
  // On the disk before anything points at it, with the markers' chunks after the data.
  if (h.Wave) {
    h.Wave->Finish(job.Markers);
    h.Wave->SyncAndClose();
    h.Wave.reset();
  } else {
    platform::SyncFileOrRaise(job.Target);
  }
}

} // namespace praatkist::audio
