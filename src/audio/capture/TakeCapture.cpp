#include "audio/capture/TakeCapture.h"

#include "audio/AudioErrors.h"
#include "audio/codec/Peaks.h"
#include "audio/TakeFiles.h"
#include "platform/Errors.h"
#include "platform/FileLink.h"
#include "platform/FileOps.h"

#include <algorithm>
#include <chrono>
#include <system_error>
#include <thread>

namespace praatkist::audio {

namespace {

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
  for (const auto &companion : {BackupPath(take), TrimRecordPath(take), TrimTempPath(take),
                                MarkersPath(take), MarkersBackupPath(take)}) {
    std::error_code ec;
    std::filesystem::remove(companion, ec);
    if (ec)
      throw EFileError(ec.message() + ": " + platform::PathText(companion));
  }
}

} // namespace

TTakeCapture::TTakeCapture(IAudioLayer &layer, std::uint32_t waveDataLimit,
                           std::int64_t inputFrozenAfterMs) noexcept
    : FLayer(layer), FWaveDataLimit(waveDataLimit), FInputFrozenAfterMs(inputFrozenAfterMs)
{
}

TTakeCapture::~TTakeCapture() = default;

// ---- the open input ------------------------------------------------------------------

void TTakeCapture::OpenInput(const TInputFormat &AInput)
{
  EnsureNoTake();
  CloseInput();
  CheckBass(FLayer, FLayer.RecordInit(AInput.Device), "Openen van audio-ingang");
  try {
    FFormat = AInput.Pcm();
    FPeakLeft.store(0);
    FPeakRight.store(0);
    FInputClipped.store(false);
    FInputFrames.store(0);
    // The memory for the pre-roll is taken here, never while audio comes in.
    const int keepMs = std::max(AInput.PreRollMs, 0) + (AInput.Listen ? kListenSlackMs : 0);
    const std::uint64_t frames = static_cast<std::uint64_t>(keepMs) * FFormat.Rate / 1000u;
    FPreRoll.Allocate(static_cast<std::size_t>(frames) * FFormat.FrameBytes());
    FStreamFrames = 0;
    FSpeech.Reset(FFormat.Rate, FFormat.Channels);
    FInputMode.store(true, std::memory_order_release);
    FLastInputMs.store(NowMs());
    FRecordHandle =
        FLayer.RecordStart(FFormat.Rate, FFormat.Channels, &TTakeCapture::RecordCallback, this);
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

void TTakeCapture::EnsureNoTake() const
{
  if (Recording())
    throw EInvalidOperation("Er loopt al een opname.");
}

void TTakeCapture::Start(const TTakeFormat &ATake, const std::filesystem::path &FileName,
                         std::int64_t FromFrame)
{
  const TInputFormat &input = ATake.Input;
  EnsureNoTake();

  // A take on the open input begins at once, with what the input kept; any other
  // input is closed and the take's own opened.
  const bool onInput = FInputOpen && FInput.SameStream(input) && InputAlive();
  if (!onInput) {
    CloseInput();
    CheckBass(FLayer, FLayer.RecordInit(input.Device), "Openen van audio-ingang");
  }

  try {
    if (!onInput) { // the open input's are these already, and its thread reads them
      FFormat = input.Pcm();
    }
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
    FStartFrom = FromFrame;
    FFrameClock.Reset();
    FMarkerLog.Begin(FileName, FFormat.Rate);
    FTakeOnInput = onInput;
    FHandBack.store(hbNone);

    // The take claims its name with a new file: an entry already there (a take, a
    // pipe, a link) is never written through or replaced.
    FWriter = CreateTakeWriter(ATake.Format, ATake.Bitrate, FFormat, FileName, FWaveDataLimit);
    FTakeLink = std::make_unique<platform::TFileLink>(FileName);
    RemoveDeadCompanions(FileName);
    FWriter->Begin();

    FLastInputMs.store(NowMs());
    if (onInput) {
      // The capture thread takes the writer at its next buffer: the pre-roll goes to it
      // first, then that buffer.
      FInputOpen = false; // the take's now
      FRecording.store(true, std::memory_order_release);
      return;
    }
    FRecording.store(true, std::memory_order_release);

    FRecordHandle =
        FLayer.RecordStart(FFormat.Rate, FFormat.Channels, &TTakeCapture::RecordCallback, this);
    CheckBass(FLayer, FRecordHandle != 0, "Starten van opname");
    CheckBass(FLayer, FLayer.ChannelPlay(FRecordHandle, false), "Activeren van opname");
    FLastInputMs.store(NowMs());
  } catch (...) {
    // A failed start leaves no empty take behind, so its number stays free.
    if (onInput)
      ReleaseOnInput();
    else
      Release();
    throw;
  }
}

void TTakeCapture::AbandonTake() noexcept
{
  FTakeLink.reset(); // first: on Windows an open handle keeps the file from going
  if (FWriter)
    FWriter->Abandon();
  FWriter.reset();
}

void TTakeCapture::ReleaseOnInput() noexcept
{
  AbandonTake();
}

void TTakeCapture::Release() noexcept
{
  FRecording.store(false, std::memory_order_release);
  FInputMode.store(false, std::memory_order_release);
  FInputOpen = false;
  if (FRecordHandle != 0)
    FLayer.ChannelStop(FRecordHandle);
  FRecordHandle = 0;
  AbandonTake();
  FLayer.RecordFree();
  FPreRoll.Release();
}

bool TTakeCapture::Stop()
{
  const std::lock_guard stopping(FStopLock);
  if (!Recording())
    return true;
  // A take on the open input gives the channel back to it; any other take (or one
  // whose channel ended) stops it: the channel's stop hands everything captured up to
  // now to the callback, which writes it as the take runs until then.
  const bool keepInput = FTakeOnInput && HandBackToInput();
  if (!keepInput && FRecordHandle != 0)
    FLayer.ChannelStop(FRecordHandle);
  FRecording.store(false, std::memory_order_release);
  FHandBack.store(hbNone, std::memory_order_release);
  if (!keepInput) {
    FInputMode.store(false, std::memory_order_release);
    FRecordHandle = 0;
  }
  FWriter->KeepMarkers(FMarkerLog.Markers());
  bool complete = FWriter->Finish();
  // A label file that could not be written leaves the markers in a WAV's cue chunk; the
  // take itself is complete all the same.
  FMarkerLog.Close();
  FWriter.reset();
  // The take on the disk before it is listed: its data, then its name.
  if (FTakeLink) {
    complete = FTakeLink->Sync() && complete;
    complete = platform::SyncFolderQuietly(FTakePath.parent_path()) && complete;
    FTakeLink.reset();
  }
  if (keepInput) {
    FInputOpen = true; // the input's again, as it was opened
  } else {
    FLayer.RecordFree();
    FPreRoll.Release();
  }
  FTakeOnInput = false;
  return complete;
}

bool TTakeCapture::HandBackToInput() noexcept
{
  using namespace std::chrono;
  // Buffers that arrive this long after the stop hold the audio up to it: the layer
  // gathers buffers of up to 50 ms.
  constexpr std::int64_t kSettleNs = 60'000'000;
  constexpr std::int64_t kNoBufferNs = 250'000'000;
  if (FRecordHandle == 0 || FLayer.ChannelIsActive(FRecordHandle) == kActiveStopped ||
      FEndReason.load() != static_cast<int>(TCaptureEnd::None))
    return false;
  const std::int64_t asked = SteadyNowNs();
  FHandBackAtNs.store(asked + kSettleNs, std::memory_order_relaxed);
  FHandBack.store(hbAsked, std::memory_order_release);
  for (;;) {
    int state = FHandBack.load(std::memory_order_acquire);
    if (state == hbInput)
      return true;
    if (FLayer.ChannelIsActive(FRecordHandle) == kActiveStopped) {
      // Ended meanwhile: the take is stopped as any other, once no buffer is written.
      while (FHandBack.load(std::memory_order_acquire) == hbBuffer)
        std::this_thread::sleep_for(milliseconds(1));
      FHandBack.store(hbNone, std::memory_order_release);
      return false;
    }
    // No buffer came: what was captured before the stop has all been handed on (the
    // layer hands on what it holds within 50 ms), so the input takes the channel now.
    state = hbAsked;
    if (SteadyNowNs() - asked >= kNoBufferNs &&
        FHandBack.compare_exchange_strong(state, hbInput, std::memory_order_acq_rel))
      return true;
    std::this_thread::sleep_for(milliseconds(2));
  }
}

bool TTakeCapture::TakeBufferDuringHandBack(const std::uint8_t *data, std::uint32_t length) noexcept
{
  int state = hbAsked;
  if (!FHandBack.compare_exchange_strong(state, hbBuffer, std::memory_order_acq_rel))
    return false; // the input has it
  // Until the moment, the take's; the first buffer after it is the take's last.
  const bool last = SteadyNowNs() >= FHandBackAtNs.load(std::memory_order_relaxed);
  const bool paused = FPauseRequest.load(std::memory_order_acquire);
  const std::uint64_t before = FTakeFrames.load(std::memory_order_relaxed);
  if (!paused)
    TakePiece(data, length);
  FFrameClock.Stamp(SteadyNowNs(), before, FTakeFrames.load(std::memory_order_relaxed));
  FHandBack.store(last ? hbInput : hbAsked, std::memory_order_release);
  return true;
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
  if (!FRecording.load(std::memory_order_acquire) ||
      FHandBack.load(std::memory_order_acquire) == hbInput) {
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
  BufferPeaks(data, length, FFormat.Channels, left, right);
  FPeakLeft.exchange(left);
  FPeakRight.exchange(right);

  // The first buffer of a take on the open input: what came before it goes first.
  if (!FTakeBegun) {
    FTakeBegun = true;
    if (!BeginWithPreRoll())
      return false;
  }

  // A take on the open input keeps the input's newest audio as well, for the next take
  // should it follow at once.
  if (FInputMode.load(std::memory_order_relaxed))
    KeepNewest(data, length);
  // A stop handing the channel back to the input: this buffer's or the input's.
  if (FHandBack.load(std::memory_order_acquire) != hbNone) {
    if (!TakeBufferDuringHandBack(data, length)) // the input's: kept above already
      FInputFrames.fetch_add(length / FFormat.FrameBytes(), std::memory_order_acq_rel);
    return true;
  }

  // A pause or a resume holds from this buffer on: while paused nothing is written.
  const bool paused = FPauseRequest.load(std::memory_order_acquire);
  FPauseApplied = paused;
  if (std::max(left, right) >= kClipLevel && FClipFrame.load(std::memory_order_relaxed) < 0)
    NoteClip(data, length);
  const std::uint64_t before = FTakeFrames.load(std::memory_order_relaxed);
  const bool more = paused || TakePiece(data, length);
  FFrameClock.Stamp(SteadyNowNs(), before, FTakeFrames.load(std::memory_order_relaxed));
  return more;
}

std::size_t TTakeCapture::Mark(std::int64_t pressNs) noexcept
{
  if (!Recording() || !FWriter)
    return 0;
  // A press the window handles late still marks the frame it came at.
  const std::uint64_t frame = FFrameClock.FramesAt(std::min(pressNs, SteadyNowNs()), TakeFrames());
  return FMarkerLog.Add(frame);
}

// One piece of the take, to its file.
bool TTakeCapture::TakePiece(const std::uint8_t *data, std::uint32_t length) noexcept
{
  const bool more = FWriter->Write(data, length);
  FTakeFrames.store(FWriter->Frames(), std::memory_order_release);
  if (!more)
    FEndReason.store(static_cast<int>(FWriter->Stopped()));
  return more;
}

// Between takes: the live peaks, full scale noted, and the newest audio kept.
void TTakeCapture::KeepInput(const std::uint8_t *data, std::uint32_t length) noexcept
{
  if (length == 0)
    return;
  FLastInputMs.store(NowMs(), std::memory_order_relaxed);
  std::int32_t left = 0, right = 0;
  BufferPeaks(data, length, FFormat.Channels, left, right);
  FPeakLeft.exchange(left);
  FPeakRight.exchange(right);
  if (std::max(left, right) >= kClipLevel)
    FInputClipped.store(true, std::memory_order_release);
  KeepNewest(data, length);
  FInputFrames.fetch_add(length / FFormat.FrameBytes(), std::memory_order_acq_rel);
}

void TTakeCapture::KeepNewest(const std::uint8_t *data, std::uint32_t length) noexcept
{
  FPreRoll.Append(data, length);
  FStreamFrames += length / FFormat.FrameBytes();
  FSpeech.Feed(data, length);
}

// The kept audio opens the take, joined to the buffer that follows it, and written
// before it: the pre-roll's newest stretch, or from the frame the start asked for.
bool TTakeCapture::BeginWithPreRoll() noexcept
{
  const std::uint32_t frameBytes = FFormat.FrameBytes();
  const TPreRollRing::TSpans spans = FPreRoll.Spans();
  const std::uint64_t kept = (spans.First.size() + spans.Second.size()) / frameBytes;
  const std::uint64_t keptFrom = FStreamFrames - std::min(kept, FStreamFrames);
  const std::uint64_t wanted =
      static_cast<std::uint64_t>(std::max(FInput.PreRollMs, 0)) * FFormat.Rate / 1000u;
  const std::uint64_t from =
      FStartFrom >= 0 ? static_cast<std::uint64_t>(FStartFrom)
                      : FStreamFrames - std::min(wanted, FStreamFrames);
  std::size_t skip = static_cast<std::size_t>(std::min(from > keptFrom ? from - keptFrom : 0, kept)) *
                     frameBytes;
  std::uint64_t frames = 0;
  for (auto span : {spans.First, spans.Second}) {
    const std::size_t drop = std::min(skip, span.size());
    span = span.subspan(drop);
    skip -= drop;
    const auto length = static_cast<std::uint32_t>(span.size() - span.size() % frameBytes);
    if (length == 0)
      continue;
    if (FClipFrame.load(std::memory_order_relaxed) < 0)
      NoteClip(span.data(), length);
    if (!TakePiece(span.data(), length))
      return false;
    frames += length / frameBytes;
  }
  FPreRollFrames.store(frames, std::memory_order_release);
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
                                                 (FPauseApplied ? 0 : i / FFormat.Channels)),
                       std::memory_order_release);
      return;
    }
  }
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
  if (FRecordHandle != 0 && FLayer.ChannelIsActive(FRecordHandle) == kActiveStopped)
    return FLayer.ChannelDataLost(FRecordHandle) ? TCaptureEnd::TooSlow : TCaptureEnd::DeviceLost;
  if (FTakeLink && FTakeLink->Removed()) {
    // The file or its folder was removed: every byte written from now on is lost.
    // The callback stops writing at its next buffer.
    FEndReason.store(static_cast<int>(TCaptureEnd::WriteFailed));
    return TCaptureEnd::WriteFailed;
  }
  return TCaptureEnd::None;
}

bool TTakeCapture::InputFrozen(TCaptureEnd end) const noexcept
{
  if (end != TCaptureEnd::None || !Recording())
    return false;
  return NowMs() - FLastInputMs.load() >= FInputFrozenAfterMs;
}

} // namespace praatkist::audio
