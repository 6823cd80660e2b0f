#pragma once
// The capture endpoints: their list by friendly name, the system's default first and
// the rest in a fixed order, and a serial that changes when the list may have changed
// (told by the system's notifications, and checked by reading the list now and then
// where notifications do not come).

#include "audio/AudioLayer.h"
#include "audio/layer/wasapi/WasapiShared.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace praatkist::audio::wasapi {

// Not thread-safe: the layer guards it with its own lock.
struct TDeviceList {
  std::atomic<std::uint32_t> Serial{0};

  TDeviceList();
  ~TDeviceList();
  TDeviceList(const TDeviceList &) = delete;
  TDeviceList &operator=(const TDeviceList &) = delete;

  // Reads the capture endpoints afresh; an error code.
  int ReadDevices(std::vector<TAudioDeviceInfo> &list);
  // The default capture endpoint's identifier (empty when there is none); an error code.
  int DefaultCapture(std::string &id);
  // True when the endpoint Id is there and active.
  bool Exists(const std::string &id);
  // Whether there is an output to play through; an error code.
  int CheckOutput();
  // Cheap: at most once every two seconds compares the endpoints with those seen last.
  void Watch();

private:
  struct TNotifier;
  std::unique_ptr<TComScope> FCom; // COM on the thread that made the list, while it lives
  TNotifier *FNotifier = nullptr;
  TCom<IMMDeviceEnumerator> FNotifyEnumerator;
  std::uint64_t FSeen = 0; // digest of the list at the last look
  std::chrono::steady_clock::time_point FLastLook{};
  // Every active capture endpoint (id, name) with the default one marked; an error code.
  int Enumerate(std::vector<TAudioDeviceInfo> &list);
  static std::uint64_t Digest(const std::vector<TAudioDeviceInfo> &list) noexcept;
  // Notes a look at the list: the serial moves when it differs from the last one.
  void Look(std::uint64_t digest);
};

} // namespace praatkist::audio::wasapi
