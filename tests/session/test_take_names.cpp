// The take list's order kept take by take: whatever the locale, adding the names one at a
// time gives the order a sort of them all gives, which is the collator's (textual,
// without case) with the folder's order between names that differ only in case.

#include <QCollator>
#include <QLocale>
#include <QStringList>

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "platform/FileSystem.h"
#include "session/TakeNames.h"

using praatkist::TTakeNames;

class TakeNames : public testing::TestWithParam<const char *> {
protected:
  void SetUp() override { QLocale::setDefault(QLocale(QString::fromLatin1(GetParam()))); }
  void TearDown() override { QLocale::setDefault(QLocale::c()); }
};

TEST_P(TakeNames, AddedOneByOneAsSortedAllAtOnce)
{
  QStringList names = {"Koor-10.wav", "Koor-2.wav", "koor-3.wav", "Koor-1.WAV", "KOOR-11.mp3",
                       "Koor-1.wav", "koor-1.wav", "Koor-1a.wav", "Koor 1.wav", "Koor-ä.wav",
                       "Koor-a.wav", "Koor-Z.wav", "Koor_1.wav", "Koor-100.wav"};
  for (int i = 1; i <= 300; ++i)
    names << QStringLiteral("Bank-%1.wav").arg(i * 37 % 1000);
  std::mt19937 random(7);
  std::shuffle(names.begin(), names.end(), random);

  QStringList sorted = names;
  TTakeNames::Sort(sorted);
  QCollator collator;
  collator.setCaseSensitivity(Qt::CaseInsensitive);
  for (qsizetype i = 1; i < sorted.size(); ++i) {
    const int byText = collator.compare(sorted[i - 1], sorted[i]);
    EXPECT_TRUE(byText < 0 ||
                (byText == 0 && praatkist::platform::FolderEnumerationBefore(sorted[i - 1], sorted[i])))
        << sorted[i - 1].toStdString() << " before " << sorted[i].toStdString();
  }

  TTakeNames kept;
  for (const QString &name : names)
    kept.Insert(name);
  ASSERT_EQ(kept.Count(), sorted.size());
  for (int row = 0; row < kept.Count(); ++row) {
    EXPECT_EQ(kept.At(row), sorted[row]) << row;
    EXPECT_EQ(kept.Find(sorted[row]), row);
  }
  EXPECT_EQ(kept.Remove(QStringLiteral("Koor-1.WAV")), sorted.indexOf(QStringLiteral("Koor-1.WAV")));
  EXPECT_EQ(kept.Find(QStringLiteral("Koor-1.WAV")), -1);
  EXPECT_EQ(kept.Remove(QStringLiteral("Koor-1.WAV")), -1);
}

INSTANTIATE_TEST_SUITE_P(Locales, TakeNames, testing::Values("C", "nl_NL", "en_US"));
