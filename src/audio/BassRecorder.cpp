#include "audio/BassRecorder.h"

#include "audio/codec/TakeMarkers.h"
#include "audio/trim/TrimCommit.h"
#include "audio/trim/TrimMarkers.h"
#include "audio/trim/TrimSequence.h"
#include "platform/Errors.h"

#include <algorithm>

namespace praatkist {

using namespace audio;

TBassRecorder::TBassRecorder(IAudioLayer &layer) : FLayer(layer), FCapture(layer), FPlayback(layer)
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

std::vector<TCaptureDevice> TBassRecorder::CaptureDevices()
{
  std::vector<TCaptureDevice> devices;
  const int count = DeviceCount(FLayer);
  for (int i = 0; i < count; ++i) {
    TBassDeviceInfo info;
    if (!DeviceInfo(FLayer, i, info))
      continue;
    if ((info.Flags & audio::kDeviceEnabled) == 0 || (info.Flags & audio::kDeviceLoopback) != 0)
      continue;
    devices.push_back({i, info.Name});
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

double TBassRecorder::PreRollSeconds() const noexcept
{
  const std::uint32_t rate = FCapture.SampleRate();
  return rate == 0 ? 0.0 : static_cast<double>(FCapture.PreRollFrames()) / rate;
}

double TBassRecorder::TakeSeconds() const noexcept
{
  const std::uint32_t rate = FCapture.SampleRate();
  return rate == 0 ? 0.0 : static_cast<double>(FCapture.TakeFrames()) / rate;
}

double TBassRecorder::ClipSeconds() const noexcept
{
  const std::uint32_t rate = FCapture.SampleRate();
  const std::int64_t frame = FCapture.ClipFrame();
  return rate == 0 || frame < 0 ? 0.0 : static_cast<double>(frame) / rate;
}

void TBassRecorder::ConsumeStereoPeaks(int &LeftPeak, int &RightPeak)
{
  FCapture.ConsumeStereoPeaks(LeftPeak, RightPeak);
}

int TBassRecorder::ConsumePeakLevel()
{
  int left = 0, right = 0;
  ConsumeStereoPeaks(left, right);
  return std::max(left, right);
}

TCaptureEnd TBassRecorder::CaptureEnd()
{
  return FCapture.CaptureEnd();
}

bool TBassRecorder::InputFrozen()
{
  return FCapture.InputFrozen();
}

bool TBassRecorder::CaptureEndedByItself(std::string &Why)
{
  Why = TTakeCapture::EndText(CaptureEnd());
  return !Why.empty();
}

void TBassRecorder::PlayFile(const std::filesystem::path &FileName)
{
  FPlayback.Play(FileName);
}

void TBassRecorder::StopPlayback()
{
  FPlayback.Stop();
}

bool TBassRecorder::PlaybackActive()
{
  return FPlayback.Active();
}

double TBassRecorder::PlaybackPositionSeconds()
{
  return FPlayback.PositionSeconds();
}

double TBassRecorder::PlaybackLengthSeconds()
{
  return FPlayback.LengthSeconds();
}

int TBassRecorder::PlaybackPeakLevel()
{
  return FPlayback.PeakLevel();
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

std::vector<double> TBassRecorder::ReadMarkerSeconds(const std::filesystem::path &FileName)
{
  return ParseLabelSeconds(ReadLabelFile(FileName));
}

TWaveAnalysis TBassRecorder::AnalyzeFile(const std::filesystem::path &FileName, int MaxPoints,
                                        TWorkControl *Control, bool MeasureFigures)
{
  return AnalyzeTake(FLayer, FAnalysis, FileName, MaxPoints, Control, MeasureFigures);
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
  return audio::ExportDataSet(FLayer, FAnalysis, Job, std::move(Takes), Control);
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
