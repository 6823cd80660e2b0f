#include <cmath>
#include <cstdlib>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/NumberText.h"

using praatkist::platform::FormatNumberText;
using praatkist::platform::ParseNumberText;
using praatkist::platform::UserDecimalSeparator;

namespace {

struct TCase {
  double Value;
  const char *Comma; // the text with "," as separator
};

// Amounts the trim record really holds, and the edges of the fixed form.
const TCase kCases[] = {
    {1.25, "1,25"},
    {0.8, "0,8"},
    {3.0 / 48000, "6,25E-5"}, // 3 frames at 48 kHz
    {0, "0"},
    {-0.0, "0"},
    {2399.0 / 48000, "0,0499791666666667"}, // rounded up in the 15th digit
    {0.1 + 0.2, "0,3"},                     // binary noise beyond 15 digits is dropped
    {100, "100"},
    {0.0001, "0,0001"},
    {0.000123, "0,000123"},
    {0.00009, "9E-5"},
    {1.0 / 44100, "2,26757369614512E-5"},
    {1e-5, "1E-5"},
    {1e-300, "1E-300"},
    {999999999999999, "999999999999999"},
    {123456789012345.6, "123456789012346"},
    {1e14, "100000000000000"},
    {999999999999999.9, "1E15"}, // rounds up into the exponent form
    {1e15, "1E15"},
    {1234567890123456, "1,23456789012346E15"},
    {1.5e20, "1,5E20"},
    {-1.25, "-1,25"},
    {-3.0 / 48000, "-6,25E-5"},
    {-1e15, "-1E15"},
};

std::string WithPoint(std::string text)
{
  for (char &c : text)
    if (c == ',')
      c = '.';
  return text;
}

} // namespace

TEST(NumberText, FormatsTheGeneralDecimalFormWithEitherSeparator)
{
  for (const TCase &c : kCases) {
    SCOPED_TRACE(c.Comma);
    EXPECT_EQ(FormatNumberText(c.Value, ','), c.Comma);
    EXPECT_EQ(FormatNumberText(c.Value, '.'), WithPoint(c.Comma));
  }
}

TEST(NumberText, NonFiniteValuesGetNamesThatDoNotReadBack)
{
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  EXPECT_EQ(FormatNumberText(nan, ','), "NAN");
  EXPECT_EQ(FormatNumberText(inf, ','), "INF");
  EXPECT_EQ(FormatNumberText(-inf, ','), "-INF");
  for (const char *text : {"NAN", "INF", "-INF", "nan", "inf", "infinity"}) {
    double value = 7;
    EXPECT_FALSE(ParseNumberText(text, value)) << text;
    EXPECT_EQ(value, 7) << text;
  }
}

TEST(NumberText, ReadsBothSeparatorsSignsExponentsAndBlanks)
{
  const std::pair<const char *, double> good[] = {
      {"1,25", 1.25},
      {"1.25", 1.25},
      {" 1,25\t", 1.25},
      {"+1.5", 1.5},
      {"-0,8", -0.8},
      {"6,25E-5", 6.25e-5},
      {"6.25e-5", 6.25e-5},
      {"1E15", 1e15},
      {"1e+3", 1000},
      {",5", 0.5},
      {"5.", 5},
      {"7", 7},
      {"0", 0},
      {"00012,50", 12.5},
      {"1,5E20", 1.5e20},
  };
  for (const auto &[text, expected] : good) {
    double value = -99;
    EXPECT_TRUE(ParseNumberText(text, value)) << text;
    EXPECT_EQ(value, expected) << text;
  }
}

TEST(NumberText, RejectsEverythingElseAndLeavesTheValue)
{
  for (const char *text : {"",
                           "  ",
                           "abc",
                           "1,2,3",
                           "1.2.3",
                           "1,000.5",
                           "1e",
                           "1e+",
                           "E5",
                           ",",
                           "-",
                           "1 2",
                           "0x10",
                           "1.5s",
                           "--1",
                           "+-1",
                           "1,5 E3",
                           "1e400",
                           "1e5.5",
                           "\xC2\xA0"
                           "1"}) {
    double value = 42;
    EXPECT_FALSE(ParseNumberText(text, value)) << '"' << text << '"';
    EXPECT_EQ(value, 42) << text;
  }
}

// What is written reads back as the value rounded to 15 significant digits, under
// either separator, and writing that again gives the same text.
TEST(NumberText, RoundTripIsExactToFifteenDigits)
{
  std::vector<double> values;
  for (const TCase &c : kCases)
    values.push_back(c.Value);
  std::mt19937_64 random(20261208);
  std::uniform_real_distribution<double> mantissa(1.0, 10.0);
  std::uniform_int_distribution<int> exponent(-12, 20);
  for (int i = 0; i < 2000; ++i)
    values.push_back((i % 2 ? -1 : 1) * mantissa(random) * std::pow(10.0, exponent(random)));
  for (int frames = 0; frames < 200; ++frames)
    for (double rate : {44100.0, 48000.0, 96000.0})
      values.push_back(frames / rate);

  for (const double value : values) {
    for (const char separator : {',', '.'}) {
      const std::string text = FormatNumberText(value, separator);
      double back = 0;
      ASSERT_TRUE(ParseNumberText(text, back)) << text;
      EXPECT_LE(std::fabs(back - value), std::fabs(value) * 5e-15) << text;
      EXPECT_EQ(FormatNumberText(back, separator), text);
      // A record written under one regional setting reads the same under the other.
      double other = 0;
      ASSERT_TRUE(ParseNumberText(FormatNumberText(value, separator == ',' ? '.' : ','), other));
      EXPECT_EQ(other, back) << text;
    }
  }
}

// The separator follows the regional settings the program starts with. Each locale is
// tried in a fresh child process, because the system locale is read only once.
TEST(NumberText, UserSeparatorFollowsTheLocale)
{
#ifdef _WIN32
  GTEST_SKIP() << "Windows takes the regional settings from the user's profile, not from "
                  "the environment";
#else
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  const std::pair<const char *, char> locales[] = {
      {"nl_NL.UTF-8", ','},
      {"de_DE.UTF-8", ','},
      {"en_US.UTF-8", '.'},
      {"ar_EG.UTF-8", '.'}, // the Arabic decimal sign is not ASCII
  };
  for (const auto &[locale, expected] : locales) {
    EXPECT_EXIT(
        {
          setenv("LC_ALL", locale, 1);
          std::exit(UserDecimalSeparator() == expected ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "")
        << locale;
  }
#endif
}
