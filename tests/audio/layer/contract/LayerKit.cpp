#include "audio/layer/contract/LayerKit.h"

#ifdef _WIN32
#include <windows.h>
#else
#include "support/PulseTestKit.h"
#endif

#include <chrono>
#include <cstdlib>
#include <thread>

namespace praatkist::test {

using namespace audio;

TCollector::TCollector(std::uint32_t frameBytes) : FrameBytes(frameBytes)
{
  Samples.reserve(1 << 22);
}

bool CollectProc(THandle, const void *buffer, std::uint32_t length, void *user) noexcept
{
  auto *c = static_cast<TCollector *>(user);
  c->Inside = true;
  if (length % c->FrameBytes != 0)
    c->PartFrame = true;
  {
    std::lock_guard lock(c->M);
    const auto *s = static_cast<const std::int16_t *>(buffer);
    c->Samples.insert(c->Samples.end(), s, s + length / 2);
    c->Lengths.push_back(length);
  }
  if (c->Writer != nullptr)
    c->Writer->Write(buffer, length);
  c->Bytes += length;
  const int n = ++c->Calls;
  if (n == 1 && c->StallFirstMs > 0)
    std::this_thread::sleep_for(std::chrono::milliseconds(c->StallFirstMs.load()));
  if (c->SleepMs > 0)
    std::this_thread::sleep_for(std::chrono::milliseconds(c->SleepMs.load()));
  c->Inside = false;
  return c->StopAfter < 0 || n < c->StopAfter;
}

TLayerCore &Core(IAudioLayer &layer)
{
  return dynamic_cast<TLayerCore &>(layer);
}

#ifdef _WIN32

namespace {

// Index of the capture device named Name, or -1.
int FindByName(IAudioLayer &layer, const std::string &name)
{
  TAudioDeviceInfo info;
  for (int i = 0; layer.RecordGetDeviceInfo(i, info); ++i)
    if (info.Name == name)
      return i;
  return -1;
}

// Runs a shell command of the host: wine starts Unix programs too. Their exit status
// does not come back, so callers look at the effect.
void HostShell(const std::string &command)
{
  std::wstring line = L"Z:\\bin\\sh -c \"";
  line += std::wstring(command.begin(), command.end()) + L"\"";
  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  ASSERT_TRUE(
      CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));
  WaitForSingleObject(pi.hProcess, 10000);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
}

} // namespace

int ToneDevice(IAudioLayer &layer)
{
  const char *name = std::getenv("PRAATKIST_TONE_DEVICE");
  return FindByName(layer, name ? name : "");
}

// Wine reads the endpoints once per process: the input is one that
// scripts/test-windows.sh loaded before, "Praatkist-weg".
TVanishingInput::TVanishingInput(IAudioLayer &layer) : FIndex(FindByName(layer, "Praatkist-weg")) {}

void TVanishingInput::Remove()
{
  HostShell("pactl unload-module $(pactl list short modules | grep praatkist_weg | cut -f1)");
  FRemoved = true;
}

TVanishingInput::~TVanishingInput()
{
  if (FRemoved)
    HostShell("pactl load-module module-remap-source master=tonesink.monitor "
              "source_name=praatkist_weg source_properties=device.description=Praatkist-weg");
}

#else

int ToneDevice(IAudioLayer &layer)
{
  return FindDevice(layer, "tonesink.monitor");
}

TVanishingInput::TVanishingInput(IAudioLayer &layer)
    : FModule(Shell("pactl load-module module-remap-source master=tonesink.monitor "
                    "source_name=pk_vanishing"))
{
  FIndex = FModule.empty() ? -1 : FindDevice(layer, "pk_vanishing");
}

void TVanishingInput::Remove()
{
  Shell("pactl unload-module " + FModule);
  FRemoved = true;
}

TVanishingInput::~TVanishingInput()
{
  if (!FRemoved && !FModule.empty())
    Shell("pactl unload-module " + FModule);
}

#endif

} // namespace praatkist::test
