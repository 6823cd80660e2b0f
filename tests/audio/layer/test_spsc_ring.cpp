// The lock-free ring that hands captured audio from the sound system's thread to the
// capture thread, and the wake word that lets the capture thread sleep meanwhile.

#include "audio/layer/SpscRing.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <thread>
#include <vector>

using praatkist::audio::TSpscByteRing;
using praatkist::audio::TWakeWord;

TEST(SpscRing, EmptyFullAndWrapAroundInOrder)
{
  TSpscByteRing ring(1000);
  ASSERT_EQ(ring.Capacity(), 1024u); // a power of two
  std::vector<std::uint8_t> in(1624), out(1024);
  std::mt19937 random(5);
  for (auto &b : in)
    b = static_cast<std::uint8_t>(random());

  EXPECT_EQ(ring.Read(out.data(), 10), 0u) << "empty";
  EXPECT_EQ(ring.ReadRecord(out.data(), out.size()), 0u);
  EXPECT_TRUE(ring.Write(in.data(), 1000));
  EXPECT_FALSE(ring.Write(in.data() + 1000, 25)) << "all or nothing";
  ASSERT_EQ(ring.Read(out.data(), 600), 600u);
  EXPECT_EQ(0, std::memcmp(out.data(), in.data(), 600));
  // 500 bytes across the end of the buffer, then up to full.
  EXPECT_TRUE(ring.Write(in.data() + 1000, 500));
  EXPECT_FALSE(ring.Write(in.data() + 1500, 125));
  EXPECT_TRUE(ring.Write(in.data() + 1500, 124));
  EXPECT_EQ(ring.FreeBytes(), 0u);
  EXPECT_FALSE(ring.Write(in.data(), 1)) << "full";
  ASSERT_EQ(ring.Read(out.data(), out.size()), 1024u);
  EXPECT_EQ(0, std::memcmp(out.data(), in.data() + 600, 1024)) << "in order";
  EXPECT_EQ(ring.ReadableBytes(), 0u);
  EXPECT_EQ(ring.FreeBytes(), 1024u);
}

TEST(SpscRing, RecordsAreLostWholeAndKeepTheirMark)
{
  TSpscByteRing ring(1024);
  std::vector<std::uint8_t> block(300, 7), out(1024);
  ASSERT_TRUE(ring.WriteRecord(block.data(), 300));
  ASSERT_TRUE(ring.WriteRecord(nullptr, 300, true)); // silence, marked
  ASSERT_TRUE(ring.WriteRecord(block.data(), 300));
  EXPECT_FALSE(ring.WriteRecord(block.data(), 300)) << "no room for a whole record";
  bool mark = true;
  EXPECT_EQ(ring.NextRecordSize(&mark), 300u);
  EXPECT_FALSE(mark);
  ASSERT_EQ(ring.ReadRecord(out.data(), out.size()), 300u);
  // A fourth fits now, round the end of the buffer; all come back whole and in order,
  // the silence with its mark.
  ASSERT_TRUE(ring.WriteRecord(block.data(), 300));
  EXPECT_EQ(ring.NextRecordSize(&mark), 300u);
  EXPECT_TRUE(mark);
  ASSERT_EQ(ring.ReadRecord(out.data(), out.size()), 300u);
  EXPECT_EQ(std::vector<std::uint8_t>(out.begin(), out.begin() + 300),
            std::vector<std::uint8_t>(300, 0));
  for (int i = 0; i < 2; ++i) {
    ASSERT_EQ(ring.ReadRecord(out.data(), out.size()), 300u);
    EXPECT_EQ(std::vector<std::uint8_t>(out.begin(), out.begin() + 300), block);
  }
  EXPECT_EQ(ring.NextRecordSize(), 0u);
}

// Records of every length from 1 to 97 bytes, each carrying its number, pass from one
// thread to the other through a ring that holds a few dozen of them: none is lost,
// doubled, cut or out of order, wherever the end of the buffer falls.
TEST(SpscRing, OneProducerThreadAndOneConsumerThread)
{
  TSpscByteRing ring(1024);
  TWakeWord wake;
  constexpr std::uint32_t kRecords = 50000;
  auto fill = [](std::uint32_t i, std::uint8_t *p) {
    const std::uint32_t n = 4 + i % 97;
    std::memcpy(p, &i, 4);
    for (std::uint32_t k = 4; k < n; ++k)
      p[k] = static_cast<std::uint8_t>(i + k);
    return n;
  };
  std::thread producer([&] {
    std::uint8_t record[128];
    for (std::uint32_t i = 0; i < kRecords;) {
      if (ring.WriteRecord(record, fill(i, record))) {
        ++i;
        wake.Wake();
      } else {
        std::this_thread::yield();
      }
    }
  });
  std::uint32_t received = 0, wrong = 0;
  std::thread consumer([&] {
    std::uint8_t got[128], expected[128];
    while (received < kRecords) {
      const std::uint32_t seen = wake.Snapshot();
      const std::uint32_t n = ring.ReadRecord(got, sizeof got);
      if (n == 0) {
        wake.Wait(seen, 100);
        continue;
      }
      const std::uint32_t want = fill(received, expected);
      wrong += n != want || std::memcmp(got, expected, want) != 0;
      ++received;
    }
  });
  producer.join();
  consumer.join();
  EXPECT_EQ(received, kRecords);
  EXPECT_EQ(wrong, 0u);
  EXPECT_EQ(ring.ReadableBytes(), 0u);
}
