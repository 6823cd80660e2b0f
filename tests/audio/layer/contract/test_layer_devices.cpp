// The audio layer's list of capture devices and its change serial, on the sound system
// of the platform the tests run on.

#include "audio/layer/contract/LayerKit.h"

#ifndef _WIN32
#include "support/PulseTestKit.h"
#endif

#include <algorithm>

using namespace praatkist::audio;
using namespace praatkist::test;

TEST_F(AudioLayer, ListsTheInputsAndOpensOneAtATime)
{
  std::vector<TAudioDeviceInfo> list;
  TAudioDeviceInfo info;
  for (int i = 0; Layer->RecordGetDeviceInfo(i, info); ++i) {
    EXPECT_EQ(Layer->ErrorGetCode(), kErrOk);
    EXPECT_FALSE(info.Flags & kDeviceInit) << info.Driver;
    EXPECT_TRUE(info.Flags & kDeviceEnabled) << info.Name;
    EXPECT_FALSE(info.Name.empty());
    list.push_back(info);
  }
  EXPECT_EQ(Layer->ErrorGetCode(), kErrDevice); // the index past the last one
  EXPECT_FALSE(Layer->RecordGetDeviceInfo(-1, info));
  ASSERT_GE(list.size(), 3u);
  EXPECT_EQ(std::count_if(list.begin(), list.end(),
                          [](const auto &d) { return (d.Flags & kDeviceDefault) != 0; }),
            1);
  // A second layer reads the list afresh: the system's order may differ, ours may not.
  auto other = CreateSystemAudioLayer();
  std::vector<TAudioDeviceInfo> second;
  for (int i = 0; other->RecordGetDeviceInfo(i, info); ++i)
    second.push_back(info);
  ASSERT_EQ(second.size(), list.size());
  for (std::size_t i = 0; i < list.size(); ++i) {
    EXPECT_EQ(second[i].Name, list[i].Name) << i;
    EXPECT_EQ(second[i].Driver, list[i].Driver) << i;
  }

  // Capture needs an open device; one device at a time.
  EXPECT_EQ(Layer->RecordStart(48000, 1, CollectProc, nullptr), 0u);
  EXPECT_EQ(Layer->ErrorGetCode(), kErrInit);
  const int count = static_cast<int>(list.size());
  EXPECT_FALSE(Layer->RecordInit(count));
  EXPECT_EQ(Layer->ErrorGetCode(), kErrDevice);
  const int tone = ToneDevice(*Layer);
  ASSERT_GE(tone, 0);
  ASSERT_TRUE(Layer->RecordInit(tone));
  EXPECT_FALSE(Layer->RecordInit((tone + 1) % count));
  EXPECT_EQ(Layer->ErrorGetCode(), kErrAlready);
  EXPECT_FALSE(Layer->RecordInit(tone));
  EXPECT_EQ(Layer->ErrorGetCode(), kErrAlready);
  for (int i = 0; Layer->RecordGetDeviceInfo(i, info); ++i)
    EXPECT_EQ((info.Flags & kDeviceInit) != 0, i == tone) << info.Driver;
  EXPECT_EQ(Layer->RecordStart(22050, 3, CollectProc, nullptr), 0u);
  EXPECT_EQ(Layer->ErrorGetCode(), kErrFormat);
  Layer->RecordFree();
  ASSERT_TRUE(Layer->RecordGetDeviceInfo(tone, info));
  EXPECT_FALSE(info.Flags & kDeviceInit);
}

TEST_F(AudioLayer, SourcesCarryTheirServerNamesAndFlags)
{
  if (kWasapi)
    GTEST_SKIP() << "wine shows each source as an endpoint named by its description, marks "
                    "none as a monitor, and makes an endpoint of its own the default";
  TAudioDeviceInfo info;
  int sine = -1, fifo = -1, monitors = 0;
  for (int i = 0; Layer->RecordGetDeviceInfo(i, info); ++i) {
    if (info.Driver == "sine") {
      sine = i;
      EXPECT_EQ(info.Name, "Sine source at 440 Hz");
      EXPECT_EQ(info.Flags, kDeviceEnabled | kDeviceDefault);
    } else if (info.Driver == "fifo") {
      fifo = i;
      EXPECT_EQ(info.Flags, kDeviceEnabled);
    } else if (info.Driver == "testsink.monitor" || info.Driver == "tonesink.monitor") {
      ++monitors;
      EXPECT_EQ(info.Name, "Monitor of Null Output");
      EXPECT_EQ(info.Flags, kDeviceEnabled | kDeviceLoopback);
    }
  }
  EXPECT_GE(sine, 0);
  EXPECT_GE(fifo, 0);
  EXPECT_EQ(monitors, 2);
}

TEST_F(AudioLayer, TheDefaultEndpointComesFirst)
{
  if (!kWasapi)
    GTEST_SKIP() << "PulseAudio lists its sources in the server's order and marks the default "
                    "where it stands";
  TAudioDeviceInfo info;
  ASSERT_TRUE(Layer->RecordGetDeviceInfo(0, info));
  EXPECT_TRUE(info.Flags & kDeviceDefault);
}

// Nothing changes meanwhile: the serial stays, also across the layer's own look at the
// list every two seconds (where the system sends no notice of a change).
TEST_F(AudioLayer, DeviceListSerialStaysWhileNothingChanges)
{
  TAudioDeviceInfo info;
  ASSERT_TRUE(Layer->RecordGetDeviceInfo(0, info));
  const std::uint32_t serial = Layer->DeviceListSerial();
  SleepMs(2200);
  EXPECT_EQ(Layer->DeviceListSerial(), serial);
}

TEST_F(AudioLayer, OnlyIndexZeroReadsTheListAfresh)
{
#ifdef _WIN32
  GTEST_SKIP() << "wine reads the endpoints once per process: a source loaded now never shows";
#else
  TAudioDeviceInfo info;
  int count = 0;
  while (Layer->RecordGetDeviceInfo(count, info))
    ++count;
  const std::string module =
      Shell("pactl load-module module-sine-source source_name=pk_extra rate=48000 frequency=1000");
  ASSERT_FALSE(module.empty());
  EXPECT_FALSE(Layer->RecordGetDeviceInfo(count, info)) << "the list taken at index 0 is kept";
  ASSERT_TRUE(Layer->RecordGetDeviceInfo(0, info));
  ASSERT_TRUE(Layer->RecordGetDeviceInfo(count, info));
  EXPECT_EQ(info.Driver, "pk_extra");
  Shell("pactl unload-module " + module);
#endif
}

// The window re-reads the device list when this number moves: a source loaded or
// unloaded, and the server lost and back, must each move it within a second.
TEST_F(AudioLayer, DeviceListSerialMovesWithSourcesAndTheServer)
{
#ifdef _WIN32
  GTEST_SKIP() << "wine reads the endpoints once per process and sends no notice of a change, "
                  "and its driver keeps one server for the whole process";
#else
  auto movesWithin = [&](IAudioLayer &layer, double seconds) {
    const std::uint32_t before = layer.DeviceListSerial();
    return [&layer, before, seconds] {
      return WaitUntil([&] { return layer.DeviceListSerial() != before; }, seconds);
    };
  };
  TAudioDeviceInfo info;
  ASSERT_TRUE(Layer->RecordGetDeviceInfo(0, info));
  SleepMs(100); // the subscription is in place
  auto loaded = movesWithin(*Layer, 3.0);
  const std::string module =
      Shell("pactl load-module module-sine-source source_name=pk_serial rate=48000 frequency=500");
  ASSERT_FALSE(module.empty());
  EXPECT_GE(loaded(), 0.0) << "source loaded";
  SleepMs(100);
  auto unloaded = movesWithin(*Layer, 3.0);
  Shell("pactl unload-module " + module);
  EXPECT_GE(unloaded(), 0.0) << "source unloaded";
  SleepMs(500); // the unload's last events are in
  const std::uint32_t quiet = Layer->DeviceListSerial();
  SleepMs(300);
  EXPECT_EQ(Layer->DeviceListSerial(), quiet) << "nothing changed, nothing moves";

  TPrivateServer server;
  ASSERT_FALSE(server.Server().empty());
  auto layer = LayerOn(server.Server());
  ASSERT_TRUE(layer->RecordGetDeviceInfo(0, info));
  SleepMs(100);
  auto lost = movesWithin(*layer, 3.0);
  ASSERT_TRUE(server.Kill());
  EXPECT_GE(lost(), 0.0) << "server killed";
  SleepMs(1200); // a second of attempts against the dead socket
  const std::uint32_t down = layer->DeviceListSerial();
  SleepMs(300);
  EXPECT_EQ(layer->DeviceListSerial(), down) << "failed attempts do not move it";
  // Counted from before the start: the layer may reconnect while the server is still
  // loading its sources, and a loaded test run may be slow to answer.
  auto back = movesWithin(*layer, 5.0);
  ASSERT_TRUE(server.Start());
  EXPECT_GE(back(), 0.0) << "server back";
  EXPECT_TRUE(layer->RecordGetDeviceInfo(0, info));
  layer->Free();
#endif
}
