#pragma once
// A decoding stream of the audio layer as the engine's units hold it: the block one
// read asks for, and the guard that frees the stream on every way out of a scope.

#include "audio/AudioLayer.h"

#include <cstdint>

namespace praatkist::audio {

// Bytes of 16-bit PCM one read of a decoding stream asks for (32,768 samples).
inline constexpr std::uint32_t kReadBlock = 65536;

class TStreamGuard {
public:
  explicit TStreamGuard(IAudioLayer &layer, THandle stream = 0) noexcept
      : FLayer(layer), FStream(stream)
  {
  }
  ~TStreamGuard() { Release(); }
  TStreamGuard(const TStreamGuard &) = delete;
  TStreamGuard &operator=(const TStreamGuard &) = delete;

  // Frees the stream now (once); the guard then holds none.
  void Release() noexcept
  {
    if (FStream != 0)
      FLayer.StreamFree(FStream);
    FStream = 0;
  }
  // Frees the stream held and holds Stream instead.
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

// Bytes of a stream's PCM in seconds; 0 for a failed query or conversion.
double BytesToSeconds(IAudioLayer &layer, THandle stream, std::uint64_t bytes);

} // namespace praatkist::audio
