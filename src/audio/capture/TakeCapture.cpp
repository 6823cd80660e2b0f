#include "audio/capture/TakeCapture.h"

#include "audio/AudioErrors.h"
#include "audio/codec/Peaks.h"
#include "audio/TakeFiles.h"
#include "audio/codec/WavHeader.h"
#include "platform/Errors.h"
#include "platform/FileLink.h"
#include "platform/FileOps.h"
#include "platform/FileStream.h"

#include <algorithm>
#include <chrono>
#include <system_error>

namespace praatkist::audio {

namespace {

// A sample of this magnitude or more has reached full scale.
constexpr std::int32_t kClipLevel = 32767;

std::int64_t NowMs() noexcept
{
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

// A take is started under a name that no entry held: backup, trim record or trim
// temporary file found beside it belong to an earlier take of that name that was
// removed outside the program, and must not pass for this take's history.
void RemoveDeadCompanions(const std::filesystem::path &take)
{
  for (const auto &companion : {BackupPath(take), TrimRecordPath(take), TrimTempPath(take)}) {
    std::error_code ec;
    std::filesystem::remove(companion, ec);
    if (ec)
      throw EFileError(ec.message() + ": " + platform::PathText(companion));
  }
}

} // namespace

TTakeCapture::TTakeCapture(IAudioLayer &layer) noexcept : FLayer(layer) {}

TTakeCapture::~TTakeCapture() = default;

// ---- the open input ------------------------------------------------------------------

void TTakeCapture::OpenInput(const TInputFormat &AInput)
{
  if (Recording())
    throw EInvalidOperation("Er loopt al een opname.");
  CloseInput();
  CheckBass(FLayer, FLayer.RecordInit(AInput.Device), "Openen van audio-ingang");
  try {
    FSampleRate = static_cast<std::uint32_t>(AInput.SampleRate);
    FChannels = static_cast<std::uint16_t>(AInput.Channels);
    FPeakLeft.store(0);
    FPeakRight.store(0);
    FInputClipped.store(false);
    FInputFrames.store(0);
    // The memory for the pre-roll is taken here, never while audio comes in.
    const std::uint64_t frames =
        static_cast<std::uint64_t>(std::max(AInput.PreRollMs, 0)) * FSampleRate / 1000u;
    FPreRoll.Allocate(static_cast<std::size_t>(frames) * 2u * FChannels);
    FInputMode.store(true, std::memory_order_release);
    FLastInputMs.store(NowMs());
    FRecordHandle =
        FLayer.RecordStart(FSampleRate, FChannels, &TTakeCapture::RecordCallback, this);
    CheckBass(FLayer, FRecordHandle != 0, "Openen van audio-ingang");
    CheckBass(FLayer, FLayer.ChannelPlay(FRecordHandle, false), "Openen van audio-ingang");
  } catch (...) {
    FInputMode.store(false);
    FRecordHandle = 0;
    FLayer.RecordFree();
    FPreRoll.Release();
    throw;
  }
  FInputOpen = true;
  FInput = AInput;
}

void TTakeCapture::CloseInput() noexcept
{
  if (!FInputOpen)
    return;
  FInputOpen = false;
  FInputMode.store(false, std::memory_order_release);
  // Closing ends the channel at once: what it still holds is not wanted.
  FLayer.RecordFree();
  FRecordHandle = 0;
  FPreRoll.Release();
  FPeakLeft.store(0);
  FPeakRight.store(0);
}

bool TTakeCapture::InputMatches(const TInputFormat &AInput) const noexcept
{
  return FInputOpen && FInput == AInput;
}

bool TTakeCapture::InputAlive()
{
  return FInputOpen && FRecordHandle != 0 &&
         FLayer.ChannelIsActive(FRecordHandle) != kActiveStopped;
}

bool TTakeCapture::InputLost()
{
  return FInputOpen && !InputAlive();
}

// ---- a take --------------------------------------------------------------------------

void TTakeCapture::Start(const TTakeFormat &ATake, const std::filesystem::path &FileName)
{
  const TInputFormat &input = ATake.Input;
  const TRecordingFormat AFormat = ATake.Format;
  const int Bitrate = ATake.Bitrate;
  if (Recording())
    throw EInvalidOperation("Er loopt al een opname.");

  // A take on the open input begins at once, with what the input kept; any other
  // input is closed and the take's own opened.
  const bool onInput = FInputOpen && FInput.SameStream(input) && InputAlive();
  if (!onInput) {
    CloseInput();
    CheckBass(FLayer, FLayer.RecordInit(input.Device), "Openen van audio-ingang");
  }

  bool created = false;
  try {
    if (!onInput) { // the open input's are these already, and its thread reads them
      FSampleRate = static_cast<std::uint32_t>(input.SampleRate);
      FChannels = static_cast<std::uint16_t>(input.Channels);
    }
    FDataBytes = 0;
    FPeakLeft.store(0);
    FPeakRight.store(0);
    FEndReason.store(static_cast<int>(TCaptureEnd::None));
    FPauseRequest.store(false);
    FPauseApplied = false;
    FTakeFrames.store(0);
    FPreRollFrames.store(0);
    FClipFrame.store(-1);
    FInputClipped.store(false);
    FTakePath = FileName;
    FTakeBegun = !onInput;

    // The take claims its name with a new file: an entry already there (a take, a
    // pipe, a link) is never written through or replaced.
    auto stream =
        std::make_unique<platform::TFileStream>(FileName, platform::TFileStream::cfExclusive);
    created = true;
    FTakeLink = std::make_unique<platform::TFileLink>(FileName);
    RemoveDeadCompanions(FileName);
    if (AFormat == rfWave) {
      // Sizes unknown yet: a provisional header lets any decoder read what has been
      // written so far should the program die before the take is stopped.
      const TWaveHeader header = BuildProvisionalWaveHeader(FSampleRate, FChannels);
      if (!stream->Write(header.data(), header.size()))
        throw EFileError(platform::SystemErrorText(FileName));
      FWaveStream = std::move(stream);
    } else {
      stream.reset(); // the encoder writes the MP3 file
    }

    if (onInput) {
      // The encoder waits, paused, for the capture thread: the pre-roll goes to it
      // first, then the buffer that begins the take.
      if (AFormat == rfMP3) {
        FEncoderHandle = FLayer.EncodeMp3Start(FRecordHandle, Bitrate, FileName,
                                               kEncodeAutoFree | kEncodePaused);
        CheckBass(FLayer, FEncoderHandle != 0, "Starten van MP3-encoder");
      }
      FLastInputMs.store(NowMs());
      FInputOpen = false; // the take's now
      FRecording.store(true, std::memory_order_release);
      return;
    }

    FLastInputMs.store(NowMs());
    FRecording.store(true, std::memory_order_release);

    FRecordHandle =
        FLayer.RecordStart(FSampleRate, FChannels, &TTakeCapture::RecordCallback, this);
    CheckBass(FLayer, FRecordHandle != 0, "Starten van opname");

    if (AFormat == rfMP3) {
      FEncoderHandle = FLayer.EncodeMp3Start(FRecordHandle, Bitrate, FileName, kEncodeAutoFree);
      CheckBass(FLayer, FEncoderHandle != 0, "Starten van MP3-encoder");
    }

    CheckBass(FLayer, FLayer.ChannelPlay(FRecordHandle, false), "Activeren van opname");
    FLastInputMs.store(NowMs());
  } catch (...) {
    // A failed start leaves no empty take behind, so its number stays free.
    if (onInput)
      ReleaseOnInput(created);
    else
      Release(created);
    throw;
  }
}

void TTakeCapture::ReleaseOnInput(bool removeTake) noexcept
{
  if (FEncoderHandle != 0)
    FLayer.EncodeStop(FEncoderHandle);
  FEncoderHandle = 0;
  FWaveStream.reset();
  FTakeLink.reset();
  if (removeTake) {
    std::error_code ec;
    std::filesystem::remove(FTakePath, ec);
  }
}

void TTakeCapture::Release(bool removeTake) noexcept
{
  FRecording.store(false, std::memory_order_release);
  FInputMode.store(false, std::memory_order_release);
  FInputOpen = false;
  if (FRecordHandle != 0)
    FLayer.ChannelStop(FRecordHandle);
  FRecordHandle = 0;
  FEncoderHandle = 0;
  FWaveStream.reset();
  FTakeLink.reset();
  FLayer.RecordFree();
  FPreRoll.Release();
  if (removeTake) {
    std::error_code ec;
    std::filesystem::remove(FTakePath, ec);
  }
}

bool TTakeCapture::Stop()
{
  const std::lock_guard stopping(FStopLock);
  if (!Recording())
    return true;
  // The channel's stop hands on everything captured up to now, to the callback
  // (still writing, as the take runs until then) and to the encoder.
  if (FRecordHandle != 0)
    FLayer.ChannelStop(FRecordHandle);
  FRecording.store(false, std::memory_order_release);
  FInputMode.store(false, std::memory_order_release);
  bool complete = true;
  if (FEncoderHandle != 0)
    complete = FLayer.EncodeStop(FEncoderHandle);
  FEncoderHandle = 0;
  FRecordHandle = 0;
  complete = FinishWaveFile() && complete;
  // The take on the disk before it is listed: its data, then its name.
  if (FTakeLink) {
    complete = FTakeLink->Sync() && complete;
    complete = platform::SyncFolderQuietly(FTakePath.parent_path()) && complete;
    FTakeLink.reset();
  }
  FLayer.RecordFree();
  FPreRoll.Release();
  return complete;
}

bool TTakeCapture::RecordCallback(THandle, const void *buffer, std::uint32_t length,
                                  void *user) noexcept
{
  auto *self = static_cast<TTakeCapture *>(user);
  if (self == nullptr)
    return false;
  return self->OnBuffer(buffer, length);
}

bool TTakeCapture::OnBuffer(const void *buffer, std::uint32_t length) noexcept
{
  const auto *data = static_cast<const std::uint8_t *>(buffer);
  if (!FRecording.load(std::memory_order_acquire)) {
    if (!FInputMode.load(std::memory_order_acquire))
      return false;
    KeepInput(data, length);
    return true;
  }
  if (length == 0)
    return true;
  FLastInputMs.store(NowMs(), std::memory_order_relaxed);
  if (FEndReason.load(std::memory_order_relaxed) != static_cast<int>(TCaptureEnd::None))
    return false;

  std::int32_t left = 0, right = 0;
  BufferPeaks(data, length, FChannels, left, right);
  FPeakLeft.exchange(left);
  FPeakRight.exchange(right);

  // The first buffer of a take on the open input: what came before it goes first.
  if (!FTakeBegun) {
    FTakeBegun = true;
    if (!BeginWithPreRoll())
      return false;
  }

  // A pause or a resume holds from this buffer on, for the file and the encoder alike.
  const bool paused = FPauseRequest.load(std::memory_order_acquire);
  if (paused != FPauseApplied) {
    FPauseApplied = paused;
    if (FEncoderHandle != 0)
      FLayer.EncodeSetPaused(FEncoderHandle, paused);
  }
  if (std::max(left, right) >= kClipLevel && FClipFrame.load(std::memory_order_relaxed) < 0)
    NoteClip(data, length);
  if (paused)
    return true;
  return TakePiece(data, length);
}

// One piece of the take, to the WAV file or (already on its way to) the encoder.
bool TTakeCapture::TakePiece(const std::uint8_t *data, std::uint32_t length) noexcept
{
  const std::uint32_t frameBytes = 2u * FChannels;
  if (FWaveStream) {
    const bool more = AppendWave(data, length);
    FTakeFrames.store(FDataBytes / frameBytes, std::memory_order_release);
    return more;
  }
  FTakeFrames.fetch_add(length / frameBytes, std::memory_order_acq_rel);
  return true;
}

// Between takes: the live peaks, full scale noted, and the newest audio kept.
void TTakeCapture::KeepInput(const std::uint8_t *data, std::uint32_t length) noexcept
{
  if (length == 0)
    return;
  FLastInputMs.store(NowMs(), std::memory_order_relaxed);
  std::int32_t left = 0, right = 0;
  BufferPeaks(data, length, FChannels, left, right);
  FPeakLeft.exchange(left);
  FPeakRight.exchange(right);
  if (std::max(left, right) >= kClipLevel)
    FInputClipped.store(true, std::memory_order_release);
  FPreRoll.Append(data, length);
  FInputFrames.fetch_add(length / (2u * FChannels), std::memory_order_acq_rel);
}

// The kept audio opens the take, joined to the buffer that follows it: the encoder
// gets it before that buffer, the WAV file before this call returns.
bool TTakeCapture::BeginWithPreRoll() noexcept
{
  const std::uint32_t frameBytes = 2u * FChannels;
  const TPreRollRing::TSpans spans = FPreRoll.Spans();
  std::uint64_t frames = 0;
  for (const auto &span : {spans.First, spans.Second}) {
    const auto length = static_cast<std::uint32_t>(span.size() - span.size() % frameBytes);
    if (length == 0)
      continue;
    if (FClipFrame.load(std::memory_order_relaxed) < 0)
      NoteClip(span.data(), length);
    if (FEncoderHandle != 0) {
      if (!FLayer.EncodeWrite(FEncoderHandle, span.data(), length)) {
        // the encoder could not write its file: the take ends as at any write failure
        FEndReason.store(static_cast<int>(TCaptureEnd::WriteFailed));
        return false;
      }
      FTakeFrames.fetch_add(length / frameBytes, std::memory_order_acq_rel);
    } else if (!TakePiece(span.data(), length)) {
      return false;
    }
    frames += length / frameBytes;
  }
  FPreRollFrames.store(frames, std::memory_order_release);
  if (FEncoderHandle != 0)
    FLayer.EncodeSetPaused(FEncoderHandle, false);
  return true;
}

// The first full-scale sample of the take: its frame, counted in the take as written.
void TTakeCapture::NoteClip(const std::uint8_t *data, std::uint32_t length) noexcept
{
  const std::uint32_t samples = length / 2;
  for (std::uint32_t i = 0; i < samples; ++i) {
    const auto v = static_cast<std::int16_t>(data[2 * i] | (data[2 * i + 1] << 8));
    if (v >= kClipLevel || v <= -kClipLevel) {
      FClipFrame.store(static_cast<std::int64_t>(FTakeFrames.load(std::memory_order_relaxed) +
                                                 (FPauseApplied ? 0 : i / FChannels)),
                       std::memory_order_release);
      return;
    }
  }
}

// Appends one buffer to the WAV file. Returns false (ending the capture) when the
// file cannot grow any further; FDataBytes always equals the sample data on disk.
bool TTakeCapture::AppendWave(const std::uint8_t *data, std::uint32_t length) noexcept
{
  if (FEndReason.load(std::memory_order_relaxed) != static_cast<int>(TCaptureEnd::None))
    return false;

  std::uint32_t room = FWaveDataLimit - std::min(FDataBytes, FWaveDataLimit);
  bool full = false;
  if (length > room) {
    // Keep whole frames only, so that the header's sizes stay a multiple of a frame.
    const std::uint32_t frame = std::max<std::uint32_t>(2u * FChannels, 2u);
    length = room - room % frame;
    full = true;
  }

  if (length > 0 && !FWaveStream->Write(data, length)) {
    // Cut back to what was fully written, so that the header written at the stop
    // describes exactly the audio on disk.
    FWaveStream->Truncate(kWaveHeaderSize + std::uint64_t{FDataBytes});
    FEndReason.store(static_cast<int>(TCaptureEnd::WriteFailed));
    return false;
  }
  FDataBytes += length;

  if (full) {
    FEndReason.store(static_cast<int>(TCaptureEnd::SizeLimit));
    return false;
  }
  return true;
}

// Writes the final header and closes the file (WAV takes only).
bool TTakeCapture::FinishWaveFile() noexcept
{
  if (!FWaveStream)
    return true;
  const TWaveHeader header = BuildWaveHeader(FDataBytes, FSampleRate, FChannels);
  const bool written = FWaveStream->WriteAt(0, header.data(), header.size());
  std::unique_ptr<platform::TFileStream> stream = std::move(FWaveStream);
  FWaveStream.reset();
  stream.reset();
  return written;
}

void TTakeCapture::ConsumeStereoPeaks(int &LeftPeak, int &RightPeak) noexcept
{
  LeftPeak = FPeakLeft.exchange(0);
  RightPeak = FPeakRight.exchange(0);
}

TCaptureEnd TTakeCapture::CaptureEnd()
{
  if (!Recording())
    return TCaptureEnd::None;
  const auto reason = static_cast<TCaptureEnd>(FEndReason.load());
  if (reason != TCaptureEnd::None)
    return reason;
  // The channel first: when it ends, the encoder on it ends with it.
  if (FRecordHandle != 0 && FLayer.ChannelIsActive(FRecordHandle) == kActiveStopped)
    return FLayer.ChannelDataLost(FRecordHandle) ? TCaptureEnd::TooSlow : TCaptureEnd::DeviceLost;
  if (FEncoderHandle != 0 && !FLayer.EncodeIsActive(FEncoderHandle))
    return TCaptureEnd::WriteFailed;
  if (FTakeLink && FTakeLink->Removed()) {
    // The file or its folder was removed: every byte written from now on is lost.
    // The callback stops writing at its next buffer.
    FEndReason.store(static_cast<int>(TCaptureEnd::WriteFailed));
    return TCaptureEnd::WriteFailed;
  }
  return TCaptureEnd::None;
}

bool TTakeCapture::InputFrozen()
{
  if (CaptureEnd() != TCaptureEnd::None || !Recording())
    return false;
  return NowMs() - FLastInputMs.load() >= FInputFrozenAfterMs;
}

std::string TTakeCapture::EndText(TCaptureEnd end)
{
  switch (end) {
  case TCaptureEnd::DeviceLost:
    return "Opname gestopt: de audio-ingang is weggevallen.";
  case TCaptureEnd::WriteFailed:
    return "Opname gestopt: het bestand kon niet verder worden geschreven.";
  case TCaptureEnd::SizeLimit:
    return "Opname gestopt: de maximale grootte van een WAV-bestand is bereikt.";
  case TCaptureEnd::TooSlow:
    return "Opname gestopt: het bestand kon niet snel genoeg worden geschreven.";
  case TCaptureEnd::None:
    break;
  }
  return {};
}

} // namespace praatkist::audio
