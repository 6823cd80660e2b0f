#include "audio/BassRecorder.h"

#include "audio/EngineMath.h"
#include "audio/ParallelAnalysis.h"
#include "audio/Peaks.h"
#include "audio/TakeFiles.h"
#include "audio/WavHeader.h"
#include "platform/Errors.h"
#include "platform/FileLink.h"
#include "platform/FileOps.h"
#include "platform/FileStream.h"
#include "platform/IniFile.h"
#include "platform/NumberText.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <system_error>
#include <thread>

namespace praatkist {

using namespace audio;

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
  for (const auto &companion : {BackupPath(take), TrimRecordPath(take), TrimTempPath(take)}) {
    std::error_code ec;
    std::filesystem::remove(companion, ec);
    if (ec)
      throw EFileError(ec.message() + ": " + platform::PathText(companion));
  }
}

} // namespace

void CheckBass(IAudioLayer &layer, bool ok, const char *step)
{
  if (!ok)
    throw EAudioError(step, layer.ErrorGetCode());
}

TBassRecorder::TBassRecorder(IAudioLayer &layer) : FLayer(layer)
{
  if (!FLayer.Init()) {
    const int code = FLayer.ErrorGetCode();
    FLayer.Free();
    throw EAudioError("Initialiseren van audio-uitgang", code);
  }
}

TBassRecorder::~TBassRecorder()
{
  Stop();
  StopPlayback();
  FLayer.Free();
}

int TBassRecorder::DeviceCount(IAudioLayer &layer)
{
  TAudioDeviceInfo info;
  int index = 0;
  while (layer.RecordGetDeviceInfo(index, info))
    ++index;
  return index;
}

bool TBassRecorder::DeviceInfo(IAudioLayer &layer, int Index, TBassDeviceInfo &Info)
{
  Info = TBassDeviceInfo{};
  TAudioDeviceInfo info;
  if (!layer.RecordGetDeviceInfo(Index, info))
    return false;
  Info.Name = info.Name;
  Info.Driver = info.Driver;
  Info.Flags = info.Flags;
  return true;
}

void TBassRecorder::Start(int DeviceIndex, int SampleRate, int Channels, int Bitrate,
                          TRecordingFormat AFormat, const std::filesystem::path &FileName)
{
  if (Recording())
    throw EInvalidOperation("Er loopt al een opname.");

  StopPlayback();

  CheckBass(FLayer, FLayer.RecordInit(DeviceIndex), "Openen van audio-ingang");

  bool created = false;
  try {
    FSampleRate = static_cast<std::uint32_t>(SampleRate);
    FChannels = static_cast<std::uint16_t>(Channels);
    FDataBytes = 0;
    FPeakLeft.store(0);
    FPeakRight.store(0);
    FEndReason.store(static_cast<int>(TCaptureEnd::None));
    FTakePath = FileName;

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

    FLastInputMs.store(NowMs());
    FRecording.store(true, std::memory_order_release);

    FRecordHandle = FLayer.RecordStart(FSampleRate, static_cast<std::uint32_t>(Channels),
                                       &TBassRecorder::RecordCallback, this);
    CheckBass(FLayer, FRecordHandle != 0, "Starten van opname");

    if (AFormat == rfMP3) {
      FEncoderHandle = FLayer.EncodeMp3Start(FRecordHandle, Bitrate, FileName, true);
      CheckBass(FLayer, FEncoderHandle != 0, "Starten van MP3-encoder");
    }

    CheckBass(FLayer, FLayer.ChannelPlay(FRecordHandle, false), "Activeren van opname");
    FLastInputMs.store(NowMs());
  } catch (...) {
    // A failed start leaves no empty take behind, so its number stays free.
    ReleaseCapture(created);
    throw;
  }
}

void TBassRecorder::ReleaseCapture(bool removeTake) noexcept
{
  FRecording.store(false, std::memory_order_release);
  if (FRecordHandle != 0)
    FLayer.ChannelStop(FRecordHandle);
  FRecordHandle = 0;
  FEncoderHandle = 0;
  FWaveStream.reset();
  FTakeLink.reset();
  FLayer.RecordFree();
  if (removeTake) {
    std::error_code ec;
    std::filesystem::remove(FTakePath, ec);
  }
}

bool TBassRecorder::Stop()
{
  const std::lock_guard stopping(FStopLock);
  if (!Recording())
    return true;
  // The channel's stop hands on everything captured up to now, to the callback
  // (still writing, as the take runs until then) and to the encoder.
  if (FRecordHandle != 0)
    FLayer.ChannelStop(FRecordHandle);
  FRecording.store(false, std::memory_order_release);
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
  return complete;
}

bool TBassRecorder::RecordCallback(THandle, const void *buffer, std::uint32_t length,
                                   void *user) noexcept
{
  auto *self = static_cast<TBassRecorder *>(user);
  if (self == nullptr)
    return false;
  return self->OnBuffer(buffer, length);
}

bool TBassRecorder::OnBuffer(const void *buffer, std::uint32_t length) noexcept
{
  const bool keep = FRecording.load(std::memory_order_acquire);
  if (!keep || length == 0)
    return keep;
  FLastInputMs.store(NowMs(), std::memory_order_relaxed);
  if (FEndReason.load(std::memory_order_relaxed) != static_cast<int>(TCaptureEnd::None))
    return false;

  const auto *data = static_cast<const std::uint8_t *>(buffer);
  std::int32_t left = 0, right = 0;
  BufferPeaks(data, length, FChannels, left, right);
  FPeakLeft.exchange(left);
  FPeakRight.exchange(right);

  if (FWaveStream)
    return AppendWave(data, length);
  return keep;
}

// Appends one buffer to the WAV file. Returns false (ending the capture) when the
// file cannot grow any further; FDataBytes always equals the sample data on disk.
bool TBassRecorder::AppendWave(const std::uint8_t *data, std::uint32_t length) noexcept
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

bool TBassRecorder::WriteWaveHeader() noexcept
{
  const TWaveHeader header = BuildWaveHeader(FDataBytes, FSampleRate, FChannels);
  return FWaveStream->WriteAt(0, header.data(), header.size());
}

bool TBassRecorder::FinishWaveFile() noexcept
{
  if (!FWaveStream)
    return true;
  const bool written = WriteWaveHeader();
  std::unique_ptr<platform::TFileStream> stream = std::move(FWaveStream);
  FWaveStream.reset();
  stream.reset();
  return written;
}

void TBassRecorder::ConsumeStereoPeaks(int &LeftPeak, int &RightPeak)
{
  LeftPeak = FPeakLeft.exchange(0);
  RightPeak = FPeakRight.exchange(0);
}

int TBassRecorder::ConsumePeakLevel()
{
  int left = 0, right = 0;
  ConsumeStereoPeaks(left, right);
  return std::max(left, right);
}

TCaptureEnd TBassRecorder::CaptureEnd()
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

bool TBassRecorder::InputFrozen()
{
  if (CaptureEnd() != TCaptureEnd::None || !Recording())
    return false;
  return NowMs() - FLastInputMs.load() >= FInputFrozenAfterMs;
}

bool TBassRecorder::CaptureEndedByItself(std::string &Why)
{
  switch (CaptureEnd()) {
  case TCaptureEnd::DeviceLost:
    Why = "Opname gestopt: de audio-ingang is weggevallen.";
    return true;
  case TCaptureEnd::WriteFailed:
    Why = "Opname gestopt: het bestand kon niet verder worden geschreven.";
    return true;
  case TCaptureEnd::SizeLimit:
    Why = "Opname gestopt: de maximale grootte van een WAV-bestand is bereikt.";
    return true;
  case TCaptureEnd::TooSlow:
    Why = "Opname gestopt: het bestand kon niet snel genoeg worden geschreven.";
    return true;
  case TCaptureEnd::None:
    break;
  }
  Why.clear();
  return false;
}

void TBassRecorder::PlayFile(const std::filesystem::path &FileName)
{
  StopPlayback();
  FPlaybackHandle = FLayer.StreamCreateFile(FileName, false);
  CheckBass(FLayer, FPlaybackHandle != 0, "Openen van opname");
  // A failing start leaves the stream open; the next StopPlayback frees it.
  CheckBass(FLayer, FLayer.ChannelPlay(FPlaybackHandle, true), "Afspelen van opname");
}

void TBassRecorder::StopPlayback()
{
  if (FPlaybackHandle != 0) {
    FLayer.ChannelStop(FPlaybackHandle);
    FLayer.StreamFree(FPlaybackHandle);
    FPlaybackHandle = 0;
  }
}

bool TBassRecorder::PlaybackActive()
{
  return FPlaybackHandle != 0 && FLayer.ChannelIsActive(FPlaybackHandle) == kActivePlaying;
}

namespace {

double BytesToSeconds(IAudioLayer &layer, THandle stream, std::uint64_t bytes)
{
  if (bytes == kPositionError)
    return 0.0;
  const double seconds = layer.ChannelBytes2Seconds(stream, bytes);
  return seconds > 0.0 ? seconds : 0.0;
}

} // namespace

double TBassRecorder::PlaybackPositionSeconds()
{
  if (FPlaybackHandle == 0)
    return 0.0;
  return BytesToSeconds(FLayer, FPlaybackHandle, FLayer.ChannelGetPosition(FPlaybackHandle));
}

double TBassRecorder::PlaybackLengthSeconds()
{
  if (FPlaybackHandle == 0)
    return 0.0;
  return BytesToSeconds(FLayer, FPlaybackHandle, FLayer.ChannelGetLength(FPlaybackHandle));
}

int TBassRecorder::PlaybackPeakLevel()
{
  if (FPlaybackHandle == 0)
    return 0;
  float levels[2] = {0.0f, 0.0f};
  if (!FLayer.ChannelGetLevelEx(FPlaybackHandle, levels, 0.05f))
    return 0;
  return LevelToPeak(levels[0], levels[1]);
}

namespace {

// Frees a decoding stream on every way out of a scope.
class TStreamGuard {
public:
  TStreamGuard(IAudioLayer &layer, THandle stream) : FLayer(layer), FStream(stream) {}
  ~TStreamGuard() { Release(); }
  TStreamGuard(const TStreamGuard &) = delete;
  TStreamGuard &operator=(const TStreamGuard &) = delete;
  void Release() noexcept
  {
    if (FStream != 0)
      FLayer.StreamFree(FStream);
    FStream = 0;
  }
  void Reset(THandle stream) noexcept
  {
    Release();
    FStream = stream;
  }
  THandle Stream() const noexcept { return FStream; }

private:
  IAudioLayer &FLayer;
  THandle FStream;
};

constexpr std::uint32_t kReadBlock = 65536;

} // namespace

void TBassRecorder::AnalyzeFile(const std::filesystem::path &FileName, int MaxPoints,
                                std::vector<std::int32_t> &LeftPeaks,
                                std::vector<std::int32_t> &RightPeaks, double &Duration,
                                int &ChannelCount, TWorkControl *Control)
{
  LeftPeaks.clear();
  RightPeaks.clear();
  Duration = 0.0;
  ChannelCount = 0;

  const THandle stream = FLayer.StreamCreateFile(FileName, true);
  CheckBass(FLayer, stream != 0, "Analyseren van opname");
  TStreamGuard guard(FLayer, stream);

  TChannelInfo info;
  CheckBass(FLayer, FLayer.ChannelGetInfo(stream, info), "Lezen van audioformaat");
  TPeakJob job;
  job.Channels = info.Chans == 0 ? 1 : info.Chans;
  const int reportedChannels = static_cast<int>(std::min<std::uint32_t>(job.Channels, 0x7FFFFFFF));

  // A length the layer cannot tell counts as none: the take then shows no waveform
  // rather than a made-up one.
  const std::uint64_t length = FLayer.ChannelGetLength(stream);
  job.LengthBytes = length == kPositionError ? 0 : length;
  job.Frames = job.LengthBytes / job.FrameBytes();
  job.Layout = ComputePointLayout(job.Frames, MaxPoints);
  const double duration = BytesToSeconds(FLayer, stream, job.LengthBytes);

  std::vector<std::int32_t> left, right;
  const unsigned chunks = AnalysisChunks(FileName, job.LengthBytes, job.Frames);
  if (chunks < 2 || !ParallelPeaks(FLayer, FileName, stream, job, chunks, Control, left, right)) {
    if (chunks >= 2) {
      // The first stream has been read from: start on a fresh one.
      guard.Release();
      const THandle again = FLayer.StreamCreateFile(FileName, true);
      CheckBass(FLayer, again != 0, "Analyseren van opname");
      guard.Reset(again);
    }
    SequentialPeaks(FLayer, guard.Stream(), job, Control, left, right);
  }
  guard.Release();

  Duration = duration;
  ChannelCount = reportedChannels;
  LeftPeaks = std::move(left);
  RightPeaks = std::move(right);
}

// How many stretches to decode side by side: one per core where decoding is the work
// (a compressed file, long enough to be worth the threads), else one. A file that
// decodes to hardly more bytes than it holds (WAV) is read as fast as the disk gives
// it, and more threads only get in each other's way.
unsigned TBassRecorder::AnalysisChunks(const std::filesystem::path &FileName, std::uint64_t bytes,
                                       std::uint64_t frames) const
{
  const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
  const unsigned chunks = FAnalysis.Chunks != 0 ? FAnalysis.Chunks : cores;
  if (chunks < 2 || frames < FAnalysis.MinFrames)
    return 1;
  if (FAnalysis.CompressedOnly) {
    std::error_code ec;
    const std::uintmax_t size = std::filesystem::file_size(FileName, ec);
    if (ec || size == 0 || bytes / 2 < size)
      return 1;
  }
  return chunks;
}

// TrimSilence, ReadTrimInfo and UndoTrim: BassRecorderTrim.cpp.

} // namespace praatkist
