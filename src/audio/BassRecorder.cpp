#include "audio/BassRecorder.h"

#include "audio/EngineMath.h"
#include "audio/Peaks.h"
#include "audio/TakeFiles.h"
#include "audio/WavHeader.h"
#include "platform/Errors.h"
#include "platform/FileOps.h"
#include "platform/FileStream.h"
#include "platform/IniFile.h"
#include "platform/NumberText.h"

#include <algorithm>
#include <cstring>

namespace praatkist {

using namespace audio;

void CheckBass(IAudioLayer& layer, bool ok, const char* step)
{
  if (!ok)
    throw EAudioError(step, layer.ErrorGetCode());
}

TBassRecorder::TBassRecorder(IAudioLayer& layer) : FLayer(layer)
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

int TBassRecorder::DeviceCount(IAudioLayer& layer)
{
  TAudioDeviceInfo info;
  int index = 0;
  while (layer.RecordGetDeviceInfo(index, info))
    ++index;
  return index;
}

bool TBassRecorder::DeviceInfo(IAudioLayer& layer, int Index, TBassDeviceInfo& Info)
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
                          TRecordingFormat AFormat, const std::filesystem::path& FileName)
{
  if (Recording())
    throw EInvalidOperation("Er loopt al een opname.");

  StopPlayback();

  CheckBass(FLayer, FLayer.RecordInit(DeviceIndex), "Openen van audio-ingang");

  try {
    FSampleRate = static_cast<std::uint32_t>(SampleRate);
    FChannels = static_cast<std::uint16_t>(Channels);
    FDataBytes = 0;
    FPeakLeft.store(0);
    FPeakRight.store(0);
    FEndReason.store(static_cast<int>(TCaptureEnd::None));

    if (AFormat == rfWave) {
      FWaveStream = std::make_unique<platform::TFileStream>(FileName);
      // Sizes unknown yet: a provisional header lets any decoder read what has been
      // written so far should the program die before the take is stopped.
      const TWaveHeader header = BuildProvisionalWaveHeader(FSampleRate, FChannels);
      if (!FWaveStream->Write(header.data(), header.size()))
        throw EFileError(platform::SystemErrorText(FileName));
    }

    FRecording.store(true, std::memory_order_release);

    FRecordHandle = FLayer.RecordStart(FSampleRate, static_cast<std::uint32_t>(Channels),
                                       &TBassRecorder::RecordCallback, this);
    CheckBass(FLayer, FRecordHandle != 0, "Starten van opname");

    if (AFormat == rfMP3) {
      FEncoderHandle = FLayer.EncodeMp3Start(FRecordHandle, Bitrate, FileName, true);
      CheckBass(FLayer, FEncoderHandle != 0, "Starten van MP3-encoder");
    }

    CheckBass(FLayer, FLayer.ChannelPlay(FRecordHandle, false), "Activeren van opname");
  } catch (...) {
    FRecording.store(false, std::memory_order_release);
    if (FRecordHandle != 0)
      FLayer.ChannelStop(FRecordHandle);
    FRecordHandle = 0;
    FEncoderHandle = 0;
    // The file stays, but with a true header: it holds no audio.
    FinishWaveFile();
    FLayer.RecordFree();
    throw;
  }
}

void TBassRecorder::Stop()
{
  if (!Recording())
    return;
  FRecording.store(false, std::memory_order_release);
  if (FEncoderHandle != 0)
    FLayer.EncodeStop(FEncoderHandle);
  if (FRecordHandle != 0)
    FLayer.ChannelStop(FRecordHandle);
  FEncoderHandle = 0;
  FRecordHandle = 0;
  FinishWaveFile();
  FLayer.RecordFree();
}

bool TBassRecorder::RecordCallback(THandle, const void* buffer, std::uint32_t length,
                                   void* user) noexcept
{
  auto* self = static_cast<TBassRecorder*>(user);
  if (self == nullptr)
    return false;
  return self->OnBuffer(buffer, length);
}

bool TBassRecorder::OnBuffer(const void* buffer, std::uint32_t length) noexcept
{
  const bool keep = FRecording.load(std::memory_order_acquire);
  if (!keep || length == 0)
    return keep;

  const auto* data = static_cast<const std::uint8_t*>(buffer);
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
bool TBassRecorder::AppendWave(const std::uint8_t* data, std::uint32_t length) noexcept
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

void TBassRecorder::WriteWaveHeader() noexcept
{
  const TWaveHeader header = BuildWaveHeader(FDataBytes, FSampleRate, FChannels);
  FWaveStream->WriteAt(0, header.data(), header.size());
}

void TBassRecorder::FinishWaveFile() noexcept
{
  if (!FWaveStream)
    return;
  WriteWaveHeader();
  std::unique_ptr<platform::TFileStream> stream = std::move(FWaveStream);
  FWaveStream.reset();
  stream.reset();
}

void TBassRecorder::ConsumeStereoPeaks(int& LeftPeak, int& RightPeak)
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
  if (FEncoderHandle != 0 && !FLayer.EncodeIsActive(FEncoderHandle))
    return TCaptureEnd::WriteFailed;
  if (FRecordHandle != 0 && FLayer.ChannelIsActive(FRecordHandle) == kActiveStopped)
    return TCaptureEnd::DeviceLost;
  return TCaptureEnd::None;
}

bool TBassRecorder::CaptureEndedByItself(std::string& Why)
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
  case TCaptureEnd::None:
    break;
  }
  Why.clear();
  return false;
}

void TBassRecorder::PlayFile(const std::filesystem::path& FileName)
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

double BytesToSeconds(IAudioLayer& layer, THandle stream, std::uint64_t bytes)
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
  TStreamGuard(IAudioLayer& layer, THandle stream) : FLayer(layer), FStream(stream) {}
  ~TStreamGuard() { Release(); }
  TStreamGuard(const TStreamGuard&) = delete;
  TStreamGuard& operator=(const TStreamGuard&) = delete;
  void Release() noexcept
  {
    if (FStream != 0)
      FLayer.StreamFree(FStream);
    FStream = 0;
  }

private:
  IAudioLayer& FLayer;
  THandle FStream;
};

constexpr std::uint32_t kReadBlock = 65536;

} // namespace

void TBassRecorder::AnalyzeFile(const std::filesystem::path& FileName, int MaxPoints,
                                std::vector<std::int32_t>& LeftPeaks,
                                std::vector<std::int32_t>& RightPeaks, double& Duration,
                                int& ChannelCount, TWorkControl* Control)
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
  const std::uint32_t channels = info.Chans == 0 ? 1 : info.Chans;
  const int reportedChannels = static_cast<int>(std::min<std::uint32_t>(channels, 0x7FFFFFFF));

  // A length the layer cannot tell counts as none: the take then shows no waveform
  // rather than a made-up one.
  const std::uint64_t length = FLayer.ChannelGetLength(stream);
  const std::uint64_t bytes = length == kPositionError ? 0 : length;
  const std::uint64_t frameBytes = 2ull * channels;
  const std::uint64_t frames = bytes / frameBytes;
  const TPointLayout layout = ComputePointLayout(frames, MaxPoints);
  const double duration = BytesToSeconds(FLayer, stream, bytes);

  std::vector<std::int32_t> left(static_cast<std::size_t>(layout.Points), 0);
  std::vector<std::int32_t> right(static_cast<std::size_t>(layout.Points), 0);
  const std::uint64_t wanted = static_cast<std::uint64_t>(layout.Points) * layout.FramesPerPoint;

  std::vector<std::uint8_t> buffer(kReadBlock);
  // Ask for whole frames only, so that every block starts on a frame.
  const std::uint32_t ask = static_cast<std::uint32_t>(kReadBlock - kReadBlock % frameBytes);
  std::uint64_t frame = 0;
  while (layout.Points > 0 && frame < wanted && ask > 0) {
    if (Control != nullptr) {
      if (Control->Cancelled())
        throw EWorkCancelled();
      Control->Report(static_cast<double>(frame) / static_cast<double>(wanted));
    }
    const std::uint32_t got = FLayer.ChannelGetData(stream, buffer.data(), ask);
    if (got == 0 || got == kDataError)
      break;
    std::uint64_t blockFrames = got / frameBytes;
    const std::uint8_t* p = buffer.data();
    // Walk the block one point's share at a time; what lies past the last point is left.
    while (blockFrames > 0 && frame < wanted) {
      const std::uint64_t point = frame / layout.FramesPerPoint;
      const std::uint64_t pointEnd = (point + 1) * layout.FramesPerPoint;
      const std::uint64_t run = std::min(blockFrames, pointEnd - frame);
      std::int32_t l = 0, r = 0;
      BufferPeaks(p, static_cast<std::uint32_t>(run * frameBytes),
                  static_cast<std::uint16_t>(std::min<std::uint32_t>(channels, 0xFFFF)), l, r);
      left[point] = std::max(left[point], l);
      right[point] = std::max(right[point], r);
      p += run * frameBytes;
      frame += run;
      blockFrames -= run;
    }
  }
  guard.Release();

  Duration = duration;
  ChannelCount = reportedChannels;
  LeftPeaks = std::move(left);
  RightPeaks = std::move(right);
}

// TrimSilence, ReadTrimInfo and UndoTrim: BassRecorderTrim.cpp.

} // namespace praatkist
