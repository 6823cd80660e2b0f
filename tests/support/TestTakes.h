#pragma once
// Takes and trim records as tests lay them on disk: a 16-bit PCM WAV with the 44-byte
// header, an MP3 from the program's own encoder, and the trim record's text with CR LF lines as the
// trimming writes it.

#include "audio/AudioLayer.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace praatkist::test {

// A 16-bit PCM WAV of interleaved Samples (replaced if present).
void WriteWave(const std::filesystem::path &path, std::uint32_t rate, std::uint16_t channels,
               const std::vector<std::int16_t> &samples);

// An MP3 take as the program records it: LAME at Kbps, constant bit rate, with its tag
// frame. False when the encoder fails.
bool WriteMp3(const std::filesystem::path &path, std::uint32_t rate, std::uint16_t channels,
              int kbps, const std::vector<std::int16_t> &samples);

// From decoded through Layer's decoding stream and written with the take's MP3 writer
// at Kbps, as a trim encodes anew. The PCM bytes read; 0 when anything failed.
std::uint64_t TranscodeToMp3(audio::IAudioLayer &layer, const std::filesystem::path &from,
                             const std::filesystem::path &to, int kbps);

// "[Trim]", "StartSeconds=<Start>", "EndSeconds=<End>" (left out without End), then
// the lines of More (each ending in CR LF).
std::string TrimRecordText(const std::string &start, const std::optional<std::string> &end = {},
                           const std::string &more = "");
// That text as the trim record of Take (replaced if present).
void WriteTrimRecord(const std::filesystem::path &take, const std::string &start,
                     const std::optional<std::string> &end = {}, const std::string &more = "");

} // namespace praatkist::test
