#pragma once
// The WASAPI clients behind the layer core's channels, each run by a device thread of
// its own: a capture client that only pushes its packets into a capture channel's
// ring, and a render client on the default output that only takes from a playback
// stream's ring.

#include "audio/layer/SoundSystem.h"

#include <memory>
#include <string>

namespace praatkist::audio::wasapi {

// The capture endpoint Id, paused; a device that goes quiet ends the channel.
std::unique_ptr<ICaptureSource> OpenCapture(const std::string &id, TCaptureInput &input, int &code);
// The default render endpoint, paused.
std::unique_ptr<IPlaybackSink> OpenPlayback(TPlaybackOutput &output, int &code);

} // namespace praatkist::audio::wasapi
