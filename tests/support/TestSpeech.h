#pragma once
// Real synthetic speech for tests that judge a voice: a Dutch sentence spoken by
// espeak-ng and brought by sox to the test server's format (48 kHz, stereo, 16-bit),
// with room noise under it where digital silence would be too kind. Linux tools: a
// test program that uses these is built on Linux only (its name ends in _speech.cpp).

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace praatkist::test {

struct TSpeechTake {
  std::string Text = "De kat krabt de krullen van de trap."; // empty: no voice, room alone
  int WordsPerMinute = 150;  // espeak-ng -s; 300 reads at twice the pace
  double PeakDb = -3.5;      // the voice normalised to this peak (sox gain -n)
  double GainDb = 0.0;       // then this gain, clipping where it goes past full scale
  double LeadSeconds = 0.7;  // silence before and after the voice (espeak's own is cut)
  double TailSeconds = 0.7;
  double CutStartSeconds = 0.0; // cut into the voice at its start, and at its end
  double CutEndSeconds = 0.0;
  double NoiseDb = -68.0;    // white room noise under everything; 0: none
};

// The take Take describes, as Path (replaced if present). Raises std::runtime_error
// when espeak-ng or sox fails.
void WriteSpeech(const std::filesystem::path &path, const TSpeechTake &take);
// Its samples (48 kHz stereo interleaved).
std::vector<std::int16_t> SpeechSamples(const TSpeechTake &take);

} // namespace praatkist::test
