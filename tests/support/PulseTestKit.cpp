#include "support/PulseTestKit.h"

#include <sndfile.h>

#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>

namespace praatkist::test {

bool HavePulse()
{
  const char* s = std::getenv("PULSE_SERVER");
  return s && *s;
}

bool PulseRequired()
{
  const char* r = std::getenv("PRAATKIST_REQUIRE_PULSE");
  return r && std::string(r) == "1";
}

double SecondsSince(TClock::time_point since)
{
  return std::chrono::duration<double>(TClock::now() - since).count();
}

void SleepMs(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

std::string Shell(const std::string& command)
{
  std::string out;
  if (FILE* p = ::popen((command + " 2>&1").c_str(), "r")) {
    char buf[512];
    while (std::fgets(buf, sizeof buf, p))
      out += buf;
    ::pclose(p);
  }
  while (!out.empty() && (out.back() == '\n' || out.back() == ' '))
    out.pop_back();
  return out;
}

std::filesystem::path ServerScript()
{
  return std::filesystem::path(__FILE__).parent_path() / "audio-test-server.sh";
}

std::filesystem::path ServerFolder()
{
  const char* d = std::getenv("PRAATKIST_TEST_PA_DIR");
  return d ? std::filesystem::path(d) : std::filesystem::path();
}

int FindDevice(audio::IAudioLayer& layer, const std::string& driver)
{
  audio::TAudioDeviceInfo info;
  for (int i = 0; layer.RecordGetDeviceInfo(i, info); ++i)
    if (info.Driver == driver)
      return i;
  return -1;
}

TPrivateServer::TPrivateServer()
{
  const std::string out =
      Shell("bash '" + ServerScript().string() + "' start '" + FDir.Path().string() + "'");
  const auto at = out.find("PULSE_SERVER=");
  if (at == std::string::npos)
    return;
  const auto end = out.find(' ', at);
  FServer = out.substr(at + 13, end == std::string::npos ? std::string::npos : end - at - 13);
}

TPrivateServer::~TPrivateServer()
{
  Shell("bash '" + ServerScript().string() + "' stop '" + FDir.Path().string() + "'");
}

bool TPrivateServer::Kill() const
{
  std::ifstream in(FDir / "pulseaudio.pid");
  pid_t pid = 0;
  in >> pid;
  return pid > 0 && ::kill(pid, SIGKILL) == 0;
}

std::unique_ptr<audio::IAudioLayer> LayerOn(const std::string& server)
{
  const char* old = std::getenv("PULSE_SERVER");
  const std::string saved = old ? old : "";
  ::setenv("PULSE_SERVER", server.c_str(), 1);
  auto layer = audio::CreateSystemAudioLayer();
  if (old)
    ::setenv("PULSE_SERVER", saved.c_str(), 1);
  else
    ::unsetenv("PULSE_SERVER");
  return layer;
}

TDecoded Decode(const std::filesystem::path& file)
{
  TDecoded d;
  SF_INFO info{};
  SNDFILE* f = sf_open(file.c_str(), SFM_READ, &info);
  if (!f)
    return d;
  // as the program's decoder reads: decoded float data clipped, not wrapped
  sf_command(f, SFC_SET_CLIPPING, nullptr, SF_TRUE);
  d.Ok = true;
  d.Rate = info.samplerate;
  d.Channels = info.channels;
  d.Frames = info.frames;
  std::vector<std::int16_t> block(4096 * static_cast<std::size_t>(info.channels));
  for (;;) {
    const sf_count_t n = sf_readf_short(f, block.data(), 4096);
    if (n <= 0)
      break;
    d.Samples.insert(d.Samples.end(), block.begin(),
                     block.begin() + static_cast<std::ptrdiff_t>(n * info.channels));
  }
  sf_close(f);
  return d;
}

TTone AnalyseTone(const std::vector<std::int16_t>& s, int channels, int ch, int rate,
                  std::size_t skipFrames)
{
  TTone t;
  const std::size_t chans = static_cast<std::size_t>(channels);
  const std::size_t frames = s.size() / chans;
  long first = -1, last = -1, crossings = 0;
  for (std::size_t f = skipFrames + 1; f < frames; ++f) {
    const int a = s[(f - 1) * chans + static_cast<std::size_t>(ch)];
    const int b = s[f * chans + static_cast<std::size_t>(ch)];
    t.Peak = std::max(t.Peak, std::abs(b));
    if (a < 0 && b >= 0) {
      if (first < 0)
        first = static_cast<long>(f);
      else
        ++crossings;
      last = static_cast<long>(f);
    }
  }
  if (crossings > 0)
    t.Frequency = static_cast<double>(crossings) * rate / static_cast<double>(last - first);
  return t;
}

} // namespace praatkist::test
