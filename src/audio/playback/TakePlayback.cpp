#include "audio/playback/TakePlayback.h"

#include "audio/AudioErrors.h"
#include "audio/TakeFormat.h"
#include "audio/codec/DecodeStream.h"
#include "audio/playback/PlaybackLevel.h"

namespace praatkist::audio {

void TTakePlayback::Play(const std::filesystem::path &FileName)
{
  Stop();
  FFile = FileName;
  FHandle = FLayer.StreamCreateFile(FileName, false);
  CheckBass(FLayer, FHandle != 0, "Openen van opname");
  // A failing start leaves the stream open; the next Stop frees it.
  CheckBass(FLayer, FLayer.ChannelPlay(FHandle, true), "Afspelen van opname");
}

void TTakePlayback::Stop() noexcept
{
  if (FHandle != 0) {
    FLayer.ChannelStop(FHandle);
    FLayer.StreamFree(FHandle);
    FHandle = 0;
  }
}

bool TTakePlayback::PlayingFrame(std::uint64_t &frame, std::uint32_t &rate)
{
  TChannelInfo info;
  if (FHandle == 0 || !FLayer.ChannelGetInfo(FHandle, info) || info.Freq == 0)
    return false;
  const std::uint64_t position = FLayer.ChannelGetPosition(FHandle);
  if (position == kPositionError)
    return false;
  frame = position / PcmFrameBytes(info.Chans == 0 ? 1 : info.Chans);
  rate = info.Freq;
  return true;
}

bool TTakePlayback::SeekFrame(std::uint64_t frame)
{
  TChannelInfo info;
  if (FHandle == 0 || !FLayer.ChannelGetInfo(FHandle, info))
    return false;
  return FLayer.ChannelSetPosition(FHandle, frame * PcmFrameBytes(info.Chans == 0 ? 1 : info.Chans));
}

bool TTakePlayback::Active()
{
  return FHandle != 0 && FLayer.ChannelIsActive(FHandle) == kActivePlaying;
}

double TTakePlayback::PositionSeconds()
{
  if (FHandle == 0)
    return 0.0;
  return BytesToSeconds(FLayer, FHandle, FLayer.ChannelGetPosition(FHandle));
}

double TTakePlayback::LengthSeconds()
{
  if (FHandle == 0)
    return 0.0;
  return BytesToSeconds(FLayer, FHandle, FLayer.ChannelGetLength(FHandle));
}

int TTakePlayback::PeakLevel()
{
  if (FHandle == 0)
    return 0;
  float levels[2] = {0.0f, 0.0f};
  if (!FLayer.ChannelGetLevelEx(FHandle, levels, 0.05f))
    return 0;
  return LevelToPeak(levels[0], levels[1]);
}

} // namespace praatkist::audio
