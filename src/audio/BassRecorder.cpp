#include "audio/BassRecorder.h"

#include "audio/WavHeader.h"
#include "platform/Errors.h"
#include "platform/FileStream.h"

#include <algorithm>
#include <cstring>

namespace praatkist {

using namespace audio;

void CheckBass(IAudioLayer& layer, bool ok, const char* step)
{
  if (!ok)
    throw EAudioError(step, layer.ErrorGetCode());
}

namespace {

// Magnitude on the level scale: -32768 gives 32768.
inline std::int32_t Magnitude(std::int16_t s) noexcept
{
  const std::int32_t v = s;
  return v < 0 ? -v : v;
}

// Largest magnitude per channel of one buffer of interleaved 16-bit samples. Mono
// copies the left peak to the right; a third channel and beyond are not looked at.
// For one and two channels the loop keeps each channel's highest and lowest sample
// in 16 bits, which the compiler turns into vector code; -32768 becomes 32768 only
// at the end. Where the processor has AVX2, a copy built for it does twice the work
// per instruction.
#if defined(__GNUC__) && defined(__x86_64__) && defined(__linux__) && !defined(__clang__)
__attribute__((target_clones("avx2", "default")))
#endif
void BufferPeaks(const std::uint8_t* data, std::uint32_t length, std::uint16_t channels,
                 std::int32_t& left, std::int32_t& right) noexcept
{
  const std::size_t count = length / 2;
  std::int16_t a, b;
  if (channels < 2) {
    std::int16_t hi = 0, lo = 0;
    for (std::size_t i = 0; i < count; ++i) {
      std::memcpy(&a, data + 2 * i, 2);
      hi = std::max(hi, a);
      lo = std::min(lo, a);
    }
    left = right = std::max<std::int32_t>(hi, -std::int32_t{lo});
  } else if (channels == 2) {
    std::int16_t hiL = 0, loL = 0, hiR = 0, loR = 0;
    std::size_t i = 0;
    for (; i + 1 < count; i += 2) {
      std::memcpy(&a, data + 2 * i, 2);
      std::memcpy(&b, data + 2 * i + 2, 2);
      hiL = std::max(hiL, a);
      loL = std::min(loL, a);
      hiR = std::max(hiR, b);
      loR = std::min(loR, b);
    }
    if (i < count) {  // a buffer cut inside a frame: its last sample is a left one
      std::memcpy(&a, data + 2 * i, 2);
      hiL = std::max(hiL, a);
      loL = std::min(loL, a);
    }
    left = std::max<std::int32_t>(hiL, -std::int32_t{loL});
    right = std::max<std::int32_t>(hiR, -std::int32_t{loR});
  } else {
    std::int32_t peak[2] = {0, 0};
    for (std::size_t i = 0; i < count; ++i) {
      std::memcpy(&a, data + 2 * i, 2);
      const std::size_t ch = i % channels;
      if (ch < 2)
        peak[ch] = std::max(peak[ch], Magnitude(a));
    }
    left = peak[0];
    right = peak[1];
  }
}

} // namespace

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

void TBassRecorder::StopPlayback()
{
  if (FPlaybackHandle != 0) {
    FLayer.ChannelStop(FPlaybackHandle);
    FLayer.StreamFree(FPlaybackHandle);
    FPlaybackHandle = 0;
  }
}

} // namespace praatkist
