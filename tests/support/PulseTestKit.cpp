#include "support/PulseTestKit.h"

#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <thread>

namespace praatkist::test {

std::string Shell(const std::string &command)
{
  std::string out;
  if (FILE *p = ::popen((command + " 2>&1").c_str(), "r")) {
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
  const char *d = std::getenv("PRAATKIST_TEST_PA_DIR");
  return d ? std::filesystem::path(d) : std::filesystem::path();
}

void TFifoWriter::Run()
{
  const int fd = ::open((ServerFolder() / "fifo").c_str(), O_WRONLY);
  if (fd >= 0) {
    const char *p = reinterpret_cast<const char *>(FSamples.data());
    std::size_t left = FSamples.size() * 2;
    constexpr std::size_t kPiece = 240 * 4; // 5 ms of 48 kHz stereo
    auto due = std::chrono::steady_clock::now();
    while (left > 0) {
      if (FRealTime) {
        due += std::chrono::microseconds(5000);
        std::this_thread::sleep_until(due);
      }
      const ssize_t n = ::write(fd, p, std::min<std::size_t>(left, FRealTime ? kPiece : 19200));
      if (n <= 0)
        break;
      p += n;
      left -= static_cast<std::size_t>(n);
    }
    // done only once the server has read it all from the fifo
    const auto t0 = std::chrono::steady_clock::now();
    int unread = 0;
    while (::ioctl(fd, FIONREAD, &unread) == 0 && unread > 0 &&
           std::chrono::steady_clock::now() - t0 < std::chrono::seconds(20))
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    ::close(fd);
  }
  FDone = true;
}

std::vector<std::int16_t> NumberedFrames(std::int64_t first, std::int64_t count)
{
  std::vector<std::int16_t> s(static_cast<std::size_t>(2 * count));
  for (std::int64_t i = 0; i < count; ++i) {
    const std::int64_t f = first + i;
    s[static_cast<std::size_t>(2 * i)] = static_cast<std::int16_t>(f % 32768);
    s[static_cast<std::size_t>(2 * i + 1)] = static_cast<std::int16_t>(f / 32768);
  }
  return s;
}

std::int64_t FrameNumber(const std::vector<std::int16_t> &samples, std::size_t i)
{
  return std::int64_t{samples[2 * i + 1]} * 32768 + samples[2 * i];
}

TPrivateServer::TPrivateServer()
{
  Start();
}

bool TPrivateServer::Start()
{
  const std::string out =
      Shell("bash '" + ServerScript().string() + "' start '" + FDir.Path().string() + "'");
  const auto at = out.find("PULSE_SERVER=");
  if (at == std::string::npos)
    return false;
  const auto end = out.find(' ', at);
  FServer = out.substr(at + 13, end == std::string::npos ? std::string::npos : end - at - 13);
  return true;
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

std::unique_ptr<audio::IAudioLayer> LayerOn(const std::string &server)
{
  const char *old = std::getenv("PULSE_SERVER");
  const std::string saved = old ? old : "";
  ::setenv("PULSE_SERVER", server.c_str(), 1);
  auto layer = audio::CreateSystemAudioLayer();
  if (old)
    ::setenv("PULSE_SERVER", saved.c_str(), 1);
  else
    ::unsetenv("PULSE_SERVER");
  return layer;
}

} // namespace praatkist::test
