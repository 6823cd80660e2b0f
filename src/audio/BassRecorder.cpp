#include "audio/BassRecorder.h"

#include "audio/codec/TakeMarkers.h"
#include "audio/trim/TrimCommit.h"
#include "audio/trim/TrimMarkers.h"
#include "audio/trim/TrimSequence.h"
#include "platform/Errors.h"

#include <algorithm>

namespace praatkist {

using namespace audio;

TBassRecorder::TBassRecorder(IAudioLayer &layer, const TEngineTuning &tuning)
    : FLayer(layer), FTuning(tuning),
      FCapture(layer, tuning.WaveDataLimit, tuning.InputFrozenAfterMs), FPlayback(layer)
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
  CloseInput();
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

std::optional<TBassDeviceInfo> TBassRecorder::DeviceInfo(IAudioLayer &layer, int Index)
{
  TAudioDeviceInfo info;
  if (!layer.RecordGetDeviceInfo(Index, info))
    return std::nullopt;
  return TBassDeviceInfo{info.Name, info.Driver, info.Flags};
}

std::vector<TCaptureDevice> TBassRecorder::CaptureDevices()
{
  std::vector<TCaptureDevice> devices;
  const int count = DeviceCount(FLayer);
  for (int i = 0; i < count; ++i) {
    const std::optional<TBassDeviceInfo> info = DeviceInfo(FLayer, i);
    if (!info || (info->Flags & audio::kDeviceEnabled) == 0 ||
        (info->Flags & audio::kDeviceLoopback) != 0)
      continue;
    devices.push_back({i, info->Name});
  }
  return devices;
}

void TBassRecorder::Start(const TTakeFormat &AFormat, const std::filesystem::path &FileName,
                          std::int64_t FromFrame)
{
  FCapture.EnsureNoTake();
  StopPlayback();
  FCapture.Start(AFormat, FileName, FromFrame);
}

bool TBassRecorder::Stop()
{
  return FCapture.Stop();
}

void TBassRecorder::OpenInput(const TInputFormat &AInput)
{
  FCapture.OpenInput(AInput.Clamped());
}

TEngineStatus TBassRecorder::Status()
{
  TEngineStatus s;
  s.Recording = FCapture.Recording();
  s.InputOpen = FCapture.InputOpen();
  s.InputLost = FCapture.InputLost();
  FCapture.ConsumeStereoPeaks(s.LeftPeak, s.RightPeak);
  s.Rate = FCapture.SampleRate();
  s.TakeFrames = FCapture.TakeFrames();
  s.PreRollFrames = FCapture.PreRollFrames();
  s.InputFrames = FCapture.InputFrames();
  s.Clipped = FCapture.Clipped();
  s.ClipFrame = FCapture.ClipFrame();
  s.End = FCapture.CaptureEnd();
  s.Frozen = FCapture.InputFrozen(s.End);
  s.Playing = FPlayback.Active();
  s.PlaybackLevel = FPlayback.PeakLevel();
  s.PlaybackSeconds = FPlayback.PositionSeconds();
  s.PlaybackLength = FPlayback.LengthSeconds();
  s.Heard = FCapture.Speech().Poll();
  return s;
}

double TBassRecorder::TakeSeconds() const noexcept
{
  const std::uint32_t rate = FCapture.SampleRate();
  return rate == 0 ? 0.0 : static_cast<double>(FCapture.TakeFrames()) / rate;
}

void TBassRecorder::PlayFile(const std::filesystem::path &FileName)
{
  FPlayback.Play(FileName);
}

void TBassRecorder::StopPlayback()
{
  FPlayback.Stop();
}

std::size_t TBassRecorder::Mark(std::int64_t PressNs)
{
  if (Recording())
    return FCapture.Mark(PressNs);
  std::uint64_t frame = 0;
  std::uint32_t rate = 0;
  if (!FPlayback.Active() || !FPlayback.PlayingFrame(frame, rate))
    return 0;
  // What played when the key went down, not when its press was handled.
  const std::int64_t late = std::max<std::int64_t>(SteadyNowNs() - PressNs, 0);
  const auto back = static_cast<std::uint64_t>(static_cast<double>(late) * rate / 1e9);
  frame -= std::min(frame, back);
  return AddMarkerToTake(FPlayback.File(), frame, rate);
}

std::size_t TBassRecorder::SeekPlaybackToMarker(bool Forward)
{
  std::uint64_t frame = 0;
  std::uint32_t rate = 0;
  if (Recording() || !FPlayback.Active() || !FPlayback.PlayingFrame(frame, rate))
    return 0;
  const TMarkers markers = ReadMarkers(FPlayback.File(), rate);
  std::size_t target = 0; // its number
  if (Forward) {
    // a marker the playback stands on is behind it
    const std::uint64_t from = frame + rate / 100;
    for (std::size_t i = 0; i < markers.size() && target == 0; ++i)
      if (markers[i] > from)
        target = i + 1;
  } else {
    // a fifth of a second back, so that pressing again goes on to the one before
    const std::uint64_t before = frame > rate / 5 ? frame - rate / 5 : 0;
    for (std::size_t i = markers.size(); i > 0 && target == 0; --i)
      if (markers[i - 1] < before)
        target = i;
  }
  if (target == 0 || !FPlayback.SeekFrame(markers[target - 1]))
    return 0;
  return target;
}

std::vector<double> TBassRecorder::TakeMarkerSeconds() const
{
  const std::uint32_t rate = FCapture.SampleRate();
  std::vector<double> seconds;
  for (const std::uint64_t frame : FCapture.Markers())
    seconds.push_back(rate == 0 ? 0.0 : static_cast<double>(frame) / rate);
  return seconds;
}

TWaveAnalysis TBassRecorder::AnalyzeFile(const std::filesystem::path &FileName, int MaxPoints,
                                        TWorkControl *Control, bool MeasureFigures)
{
  return AnalyzeTake(FLayer, FTuning.AnalysisSplit, FileName, MaxPoints, Control, MeasureFigures);
}

TTrimCut TBassRecorder::TrimSilence(const std::filesystem::path &FileName,
                                    TRecordingFormat AFormat, int Bitrate, TWorkControl *Control)
{
  return TrimTake(FLayer, FileName, AFormat, Bitrate, FCapture.WaveDataLimit(), Control);
}

TDataSetReport TBassRecorder::ExportDataSet(const TDataSetJob &Job,
                                           std::vector<TDataSetTake> Takes,
                                           TWorkControl *Control)
{
  return audio::ExportDataSet(FLayer, FTuning.AnalysisSplit, Job, std::move(Takes), Control);
}

TTrimCut TBassRecorder::ReadTrimInfo(const std::filesystem::path &FileName)
{
  return ReadTrimCut(FileName);
}

bool TBassRecorder::UndoTrim(const std::filesystem::path &FileName)
{
  return UndoTrimFiles(FileName);
}

} // namespace praatkist
