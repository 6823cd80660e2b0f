#pragma once
// The error code of the audio layer's last call on the calling thread, shared by the
// backends (ErrorGetCode).

namespace praatkist::audio {

int LastError() noexcept;
bool Fail(int code) noexcept; // always false
void Succeed() noexcept;

} // namespace praatkist::audio
