#pragma once
// The pulse streams behind the layer core's channels: a record stream whose real-time
// callback only pushes what it reads into a capture channel's ring, and a playback
// stream whose real-time callback only takes from a playback stream's ring.

#include "audio/layer/SoundSystem.h"
#include "audio/layer/pulse/Connection.h"

#include <memory>
#include <string>

namespace praatkist::audio::pulse {

// A corked record stream of Source (never moved to another source when it goes).
std::unique_ptr<ICaptureSource> OpenCapture(TPulseConnection &conn, const std::string &source,
                                            TCaptureInput &input, int &code);
// A corked playback stream on the default sink.
std::unique_ptr<IPlaybackSink> OpenPlayback(TPulseConnection &conn, TPlaybackOutput &output,
                                            int &code);

} // namespace praatkist::audio::pulse
