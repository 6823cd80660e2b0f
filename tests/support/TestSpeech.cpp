#include "support/TestSpeech.h"

#include "support/TestFiles.h"

#include <sndfile.h>

#include <cstdio>
#include <cstdlib>
#include <stdexcept>

namespace praatkist::test {

namespace fs = std::filesystem;

namespace {

std::string Quoted(const std::string &text)
{
  std::string out = "'";
  for (const char c : text) {
    if (c == '\'')
      out += "'\\''";
    else
      out += c;
  }
  return out + "'";
}

std::string Number(double value)
{
  char text[32];
  std::snprintf(text, sizeof text, "%.4f", value);
  return text;
}

void Run(const std::string &command)
{
  if (std::system((command + " >/dev/null 2>&1").c_str()) != 0)
    throw std::runtime_error("failed: " + command);
}

// The voice of Take, spoken into Said and made into Voice.
void SpeakInto(const fs::path &said, const fs::path &voice, const TSpeechTake &take)
{
  Run("espeak-ng -v nl -s " + std::to_string(take.WordsPerMinute) + " -w " +
      Quoted(said.string()) + " " + Quoted(take.Text));
  // espeak's own silence off both ends, the cuts into the voice, its level, and the
  // silence asked for around it.
  std::string effects = " silence 1 0.001 0.1% reverse silence 1 0.001 0.1% reverse";
  if (take.CutStartSeconds > 0)
    effects += " trim " + Number(take.CutStartSeconds);
  if (take.CutEndSeconds > 0)
    effects += " reverse trim " + Number(take.CutEndSeconds) + " reverse";
  effects += " gain -n " + Number(take.PeakDb);
  if (take.GainDb != 0)
    effects += " gain " + Number(take.GainDb);
  effects += " pad " + Number(take.LeadSeconds) + " " + Number(take.TailSeconds);
  Run("sox -V0 " + Quoted(said.string()) + " -r 48000 -c 2 -b 16 " + Quoted(voice.string()) +
      effects);
}

// Voice with white room noise of the same length under it (added, not divided).
void MixNoise(const fs::path &voice, const fs::path &path, const TSpeechTake &take)
{
  if (take.NoiseDb == 0) {
    fs::copy_file(voice, path, fs::copy_options::overwrite_existing);
    return;
  }
  const fs::path noise = voice.parent_path() / "noise.wav";
  Run("sox -V0 " + Quoted(voice.string()) + " " + Quoted(noise.string()) +
      " synth whitenoise gain " + Number(take.NoiseDb));
  Run("sox -V0 -m -v 1 " + Quoted(voice.string()) + " -v 1 " + Quoted(noise.string()) + " -b 16 " +
      Quoted(path.string()));
}

} // namespace

void WriteSpeech(const fs::path &path, const TSpeechTake &take)
{
  TTempDir dir;
  const fs::path said = dir.Path() / "said.wav", voice = dir.Path() / "voice.wav";
  if (take.Text.empty())
    Run("sox -V0 -n -r 48000 -c 2 -b 16 " + Quoted(voice.string()) + " trim 0 " +
        Number(take.LeadSeconds + take.TailSeconds));
  else
    SpeakInto(said, voice, take);
  MixNoise(voice, path, take);
}

std::vector<std::int16_t> SpeechSamples(const TSpeechTake &take)
{
  TTempDir dir;
  const fs::path file = dir.Path() / "take.wav";
  WriteSpeech(file, take);
  SF_INFO info{};
  SNDFILE *sf = sf_open(file.string().c_str(), SFM_READ, &info);
  if (sf == nullptr)
    throw std::runtime_error("cannot read " + file.string());
  std::vector<std::int16_t> samples(static_cast<std::size_t>(info.frames * info.channels));
  sf_readf_short(sf, samples.data(), info.frames);
  sf_close(sf);
  return samples;
}

} // namespace praatkist::test
