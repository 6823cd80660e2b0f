#include "audio/BassRecorder.h"

#include "audio/EngineMath.h"
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
void RemoveDeadCompanions(const std::filesystem::path& take)
{
  for (const auto& companion : {BackupPath(take), TrimRecordPath(take), TrimTempPath(take)}) {
    std::error_code ec;
    std::filesystem::remove(companion, ec);
    if (ec)
      throw EFileError(ec.message() + ": " + platform::PathText(companion));
  }
}

} // namespace

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
      stream.reset();  // the encoder writes the MP3 file
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

void TBassRecorder::Stop()
{
  if (!Recording())
    return;
  // The channel's stop hands on everything captured up to now, to the callback
  // (still writing, as the take runs until then) and to the encoder.
  if (FRecordHandle != 0)
    FLayer.ChannelStop(FRecordHandle);
  FRecording.store(false, std::memory_order_release);
  if (FEncoderHandle != 0)
    FLayer.EncodeStop(FEncoderHandle);
  FEncoderHandle = 0;
  FRecordHandle = 0;
  FinishWaveFile();
  // The take on the disk before it is listed: its data, then its name.
  if (FTakeLink) {
    FTakeLink->Sync();
    platform::SyncFolderOf(FTakePath);
    FTakeLink.reset();
  }
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
  FLastInputMs.store(NowMs(), std::memory_order_relaxed);
  if (FEndReason.load(std::memory_order_relaxed) != static_cast<int>(TCaptureEnd::None))
    return false;

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
  case TCaptureEnd::TooSlow:
    Why = "Opname gestopt: het bestand kon niet snel genoeg worden geschreven.";
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

namespace {

// A sample is sound when its magnitude is above this (about 45 dB below full scale).
constexpr std::int32_t kLoudness = 184;
constexpr double kMinimumTrim = 0.05;

// Index of the first (or last) sample in Data[0 .. Count) louder than kLoudness, or -1.
std::int64_t FirstLoud(const std::int16_t* data, std::size_t count) noexcept
{
  for (std::size_t i = 0; i < count; ++i)
    if (Magnitude(data[i]) > kLoudness)
      return static_cast<std::int64_t>(i);
  return -1;
}

std::int64_t LastLoud(const std::int16_t* data, std::size_t count) noexcept
{
  for (std::size_t i = count; i > 0; --i)
    if (Magnitude(data[i - 1]) > kLoudness)
      return static_cast<std::int64_t>(i - 1);
  return -1;
}

} // namespace

bool TBassRecorder::TrimSilence(const std::filesystem::path& FileName, TRecordingFormat AFormat,
                                int Bitrate, double& TrimmedStart, double& TrimmedEnd,
                                TWorkControl* Control)
{
  // Scanning is the first half of the work, rewriting the second.
  const auto step = [Control](double fraction) {
    if (Control == nullptr)
      return;
    if (Control->Cancelled())
      throw EWorkCancelled();
    Control->Report(fraction);
  };
  TrimmedStart = 0.0;
  TrimmedEnd = 0.0;
  const std::filesystem::path backup = BackupPath(FileName);
  const std::filesystem::path temp = TrimTempPath(FileName);

  // ---- find the first and the last frame that carry sound ----
  std::vector<std::int16_t> block(kReadBlock / 2);
  std::uint32_t rate = 0, channels = 1;
  std::int64_t totalFrames = 0, firstLoud = -1, lastLoud = -1;
  {
    const THandle stream = FLayer.StreamCreateFile(FileName, true);
    CheckBass(FLayer, stream != 0, "Zoeken naar stiltes");
    TStreamGuard guard(FLayer, stream);
    TChannelInfo info;
    CheckBass(FLayer, FLayer.ChannelGetInfo(stream, info), "Lezen van audioformaat");
    rate = info.Freq;
    channels = info.Chans == 0 ? 1 : info.Chans;
    const std::uint64_t length = FLayer.ChannelGetLength(stream);

    std::int64_t samples = 0;
    const double lengthSamples = length == kPositionError || length == 0 ? 0.0 : length / 2.0;
    for (;;) {
      step(lengthSamples > 0 ? 0.5 * static_cast<double>(samples) / lengthSamples : 0.0);
      const std::uint32_t got = FLayer.ChannelGetData(stream, block.data(), kReadBlock);
      if (got == 0 || got == kDataError)
        break;
      const std::size_t n = got / 2;
      std::int32_t peak = 0, unused = 0;
      BufferPeaks(reinterpret_cast<const std::uint8_t*>(block.data()),
                  static_cast<std::uint32_t>(n * 2), 1, peak, unused);
      if (peak > kLoudness) {  // most blocks of a take are either all silence or sound
        if (firstLoud < 0)
          firstLoud = (samples + FirstLoud(block.data(), n)) / channels;
        lastLoud = (samples + LastLoud(block.data(), n)) / channels;
      }
      samples += static_cast<std::int64_t>(n);
    }
    // A length the decoder cannot tell: go by what it delivered.
    const std::uint64_t frames =
        length == kPositionError ? static_cast<std::uint64_t>(samples) / channels
                                 : length / (2ull * channels);
    totalFrames = static_cast<std::int64_t>(std::min<std::uint64_t>(frames, INT64_MAX));
  }

  // ---- cut points ----
  // Sound found only past the reported length cannot be cut to; nor can a rate of 0.
  if (firstLoud < 0 || totalFrames <= 0 || rate == 0 || firstLoud >= totalFrames)
    return false;
  const std::int64_t margin = rate / 10;
  const std::int64_t start = std::max<std::int64_t>(firstLoud - margin, 0);
  const std::int64_t end = std::min<std::int64_t>(lastLoud + margin + 1, totalFrames);
  TrimmedStart = static_cast<double>(start) / rate;
  TrimmedEnd = static_cast<double>(totalFrames - end) / rate;
  if (TrimmedStart < kMinimumTrim && TrimmedEnd < kMinimumTrim)
    return false;

  // ---- backup: the take as it is, before anything is written ----
  // The take is never written into, only replaced by a rename below, so the backup
  // can be a second name for its data rather than a copy of it.
  if (platform::FileExists(backup))
    platform::DeleteFileOrRaise(backup);
  platform::SnapshotFileOrRaise(FileName, backup);
  if (platform::FileExists(temp))
    platform::DeleteFileOrRaise(temp);

  // ---- rewrite the kept range from the backup ----
  THandle stream = 0, encoder = 0;
  std::unique_ptr<platform::TFileStream> out;
  try {
    stream = FLayer.StreamCreateFile(backup, true);
    CheckBass(FLayer, stream != 0, "Openen van herstelkopie");
    const std::uint64_t frameBytes = 2ull * channels;
    const std::uint64_t startByte = static_cast<std::uint64_t>(start) * frameBytes;
    std::uint64_t wanted = static_cast<std::uint64_t>(end - start) * frameBytes;
    CheckBass(FLayer, FLayer.ChannelSetPosition(stream, startByte), "Positioneren voor trimmen");

    if (AFormat == rfMP3) {
      encoder = FLayer.EncodeMp3Start(stream, Bitrate, temp, false);
      CheckBass(FLayer, encoder != 0, "Starten van MP3-trimmer");
    } else {
      // The RIFF size (data + 36) must fit in its 32 bits as well.
      if (wanted > std::min(FWaveDataLimit, kMaxWaveDataBytes))
        throw EInvalidOperation("De WAV-opname is te groot om te trimmen.");
      out = std::make_unique<platform::TFileStream>(temp);
      const TWaveHeader header = BuildWaveHeader(
          static_cast<std::uint32_t>(wanted), rate, static_cast<std::uint16_t>(channels));
      if (!out->Write(header.data(), header.size()))
        throw EFileError(platform::SystemErrorText(temp));
    }

    const double rewrite = static_cast<double>(wanted);
    while (wanted != 0) {
      step(0.5 + 0.5 * (1.0 - static_cast<double>(wanted) / rewrite));
      const auto ask = static_cast<std::uint32_t>(std::min<std::uint64_t>(kReadBlock, wanted));
      const std::uint32_t got = FLayer.ChannelGetData(stream, block.data(), ask);
      if (got == 0 || got == kDataError)
        break;
      if (out && !out->Write(block.data(), got))
        throw EFileError(platform::SystemErrorText(temp));
      wanted -= std::min<std::uint64_t>(got, wanted);
    }

    if (encoder != 0) {
      // An encoder that stopped by itself could not write its file.
      const bool wrote = FLayer.EncodeIsActive(encoder);
      FLayer.EncodeStop(encoder);
      encoder = 0;
      if (!wrote)
        throw EFileError("Het MP3-bestand kon niet worden geschreven: " +
                         platform::PathText(temp));
    }
    if (out) {
      // On disk before it takes the take's place.
      const bool flushed = out->Flush();
      out.reset();
      if (!flushed)
        throw EFileError(platform::SystemErrorText(temp));
    }
    FLayer.StreamFree(stream);
    stream = 0;
    if (wanted != 0)
      throw EPraatkistError("De opname kon niet volledig worden getrimd.");

    // One rename over the take: there is no moment without it.
    platform::ReplaceFileOrRaise(temp, FileName);

    const char separator = platform::UserDecimalSeparator();
    platform::TIniFile record(TrimRecordPath(FileName));
    record.WriteFloat("Trim", "StartSeconds", TrimmedStart, separator);
    record.WriteFloat("Trim", "EndSeconds", TrimmedEnd, separator);
    record.UpdateFile();
    // The record holds 15 significant digits; hand back exactly what it says, so that
    // the caller and a later reading of the record agree to the last bit.
    for (double* amount : {&TrimmedStart, &TrimmedEnd})
      platform::ParseNumberText(platform::FormatNumberText(*amount, separator), *amount);
  } catch (...) {
    if (encoder != 0)
      FLayer.EncodeStop(encoder);
    out.reset();
    if (stream != 0)
      FLayer.StreamFree(stream);
    platform::DeleteFileQuietly(temp);
    if (!platform::FileExists(FileName) && platform::FileExists(backup))
      platform::CopyFileQuietly(backup, FileName);
    throw;
  }
  return true;
}

bool TBassRecorder::ReadTrimInfo(const std::filesystem::path& FileName, double& TrimmedStart,
                                 double& TrimmedEnd)
{
  const bool result =
      platform::FileExists(BackupPath(FileName)) && platform::FileExists(TrimRecordPath(FileName));
  TrimmedStart = 0.0;
  TrimmedEnd = 0.0;
  if (result) {
    const platform::TIniFile record(TrimRecordPath(FileName));
    TrimmedStart = record.ReadFloat("Trim", "StartSeconds", 0.0);
    TrimmedEnd = record.ReadFloat("Trim", "EndSeconds", 0.0);
  }
  return result;
}

bool TBassRecorder::UndoTrim(const std::filesystem::path& FileName)
{
  const std::filesystem::path backup = BackupPath(FileName);
  if (!platform::FileExists(backup))
    return false;
  // The backup takes the take's place in one rename, whether the take is there or not.
  platform::ReplaceFileOrRaise(backup, FileName);
  const std::filesystem::path record = TrimRecordPath(FileName);
  if (platform::FileExists(record))
    platform::DeleteFileOrRaise(record);
  return true;
}

} // namespace praatkist
