#include "audio/codec/WavHeader.h"
#include "support/TestFiles.h"

#include <gtest/gtest.h>

#include <vector>

using namespace praatkist::audio;

TEST(WavHeader, RiffSizeWrapsOnlyPastTheLargestDescribableTake)
{
  auto h = BuildWaveHeader(kMaxWaveDataBytes, 48000, 2);
  std::vector<std::uint8_t> b(h.begin(), h.end());
  EXPECT_EQ(praatkist::test::Le32(b, 4), 0xFFFFFFFFu);
  EXPECT_EQ(praatkist::test::Le32(b, 40), kMaxWaveDataBytes);

  h = BuildProvisionalWaveHeader(96000, 1);
  b.assign(h.begin(), h.end());
  EXPECT_EQ(praatkist::test::Le32(b, 4), 0xFFFFFFFFu);
  EXPECT_EQ(praatkist::test::Le32(b, 40), 0xFFFFFFFFu);
  EXPECT_EQ(praatkist::test::Le32(b, 28), 192000u);
  EXPECT_EQ(praatkist::test::Le16(b, 32), 2u);
}
