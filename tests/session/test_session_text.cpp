#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "platform/Errors.h"
#include "session/SessionText.h"

using praatkist::EInvalidArgument;
using praatkist::TSessionText;
using praatkist::TTakeStatus;
using praatkist::TTextList;

namespace {

class SessionText : public ::testing::Test {
protected:
  QTemporaryDir Temp;
  QDir Folder{Temp.path()};

  void Write(const QString &AName, const QByteArray &ABytes)
  {
    QFile f(Folder.filePath(AName));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(ABytes);
  }
  QByteArray Read(const QString &AName)
  {
    QFile f(Folder.filePath(AName));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("(none)");
  }
};

} // namespace

TEST_F(SessionText, NoListMakesNoFile)
{
  Write(QStringLiteral("Koor-1.wav"), "x");
  TSessionText text;
  text.Open(Folder.path());
  EXPECT_FALSE(text.HasList());
  EXPECT_EQ(text.Current(), -1);
  EXPECT_EQ(text.CurrentItem(), nullptr);
  text.BindToCurrent(QStringLiteral("Koor-1.wav"));
  EXPECT_EQ(Folder.entryList(QDir::Files), QStringList{QStringLiteral("Koor-1.wav")});
}

TEST_F(SessionText, ListPutThereByHandAndANewListKeepsTheBindingsOfItsIds)
{
  Write(TTextList::FileName, "a\tAap\nb\tNoot\nc\tMies\n");
  for (const char *take : {"Koor-1.wav", "Koor-2.wav", "Koor-3.wav"})
    Write(QString::fromUtf8(take), "x");
  TSessionText text;
  text.Open(Folder.path());
  ASSERT_TRUE(text.HasList());
  text.BindToCurrent(QStringLiteral("Koor-1.wav")); // a
  ASSERT_TRUE(text.Next());
  text.BindToCurrent(QStringLiteral("Koor-2.wav")); // b
  ASSERT_TRUE(text.Next());
  text.BindToCurrent(QStringLiteral("Koor-3.wav")); // c
  EXPECT_FALSE(text.Next()); // the last item
  text.Reject(QStringLiteral("Koor-3.wav"));
  EXPECT_EQ(text.StatusOf(QStringLiteral("Koor-3.wav")), TTakeStatus::Rejected);

  // after a restart: read back from the session folder
  TSessionText again;
  again.Open(Folder.path());
  EXPECT_EQ(again.ItemOf(QStringLiteral("Koor-2.wav")), QStringLiteral("b"));
  EXPECT_EQ(again.ChosenTakeOf(0), QStringLiteral("Koor-1.wav"));
  EXPECT_EQ(again.ChosenTakeOf(2), QString());
  EXPECT_EQ(again.LatestTakeOf(2), QStringLiteral("Koor-3.wav"));
  // Only item c has no chosen take; from c itself the search goes round to find none.
  EXPECT_TRUE(again.NextWithoutChoice());
  EXPECT_EQ(again.Current(), 2);
  EXPECT_FALSE(again.NextWithoutChoice());

  // A new list without b, with a new item: a's and c's bindings stay, b's take is plain.
  Write(QStringLiteral("nieuw.txt"), "c|Mies\na|Aap\nWim\n");
  again.Replace(Folder.filePath(QStringLiteral("nieuw.txt")));
  EXPECT_EQ(Read(TTextList::FileName), QByteArray("c\tMies\na\tAap\n0003\tWim\n"));
  EXPECT_EQ(again.ItemOf(QStringLiteral("Koor-1.wav")), QStringLiteral("a"));
  EXPECT_EQ(again.ItemOf(QStringLiteral("Koor-2.wav")), QString());
  EXPECT_EQ(again.ChosenTakeOf(1), QStringLiteral("Koor-1.wav"));
  EXPECT_EQ(again.Current(), 0);

  // A bad file changes nothing.
  Write(QStringLiteral("slecht.txt"), "a|Aap\na|Noot\n");
  EXPECT_THROW(again.Replace(Folder.filePath(QStringLiteral("slecht.txt"))), EInvalidArgument);
  EXPECT_EQ(Read(TTextList::FileName), QByteArray("c\tMies\na\tAap\n0003\tWim\n"));
  EXPECT_EQ(again.Count(), 3);
}

// A take deleted behind the list's back (in another program, or by hand) is no one's
// chosen take once the bindings are read again, and its item counts as open.
TEST_F(SessionText, DeletedTakeIsNoLongerChosen)
{
  Write(TTextList::FileName, "a\tAap\nb\tNoot\n");
  Write(QStringLiteral("Koor-1.wav"), "x");
  Write(QStringLiteral("Koor-2.wav"), "x");
  TSessionText text;
  text.Open(Folder.path());
  text.BindToCurrent(QStringLiteral("Koor-1.wav"));
  text.BindToCurrent(QStringLiteral("Koor-2.wav"));
  ASSERT_TRUE(QFile::remove(Folder.filePath(QStringLiteral("Koor-2.wav"))));
  text.Refresh();
  EXPECT_EQ(text.ChosenTakeOf(0), QStringLiteral("Koor-1.wav"));
  ASSERT_TRUE(QFile::remove(Folder.filePath(QStringLiteral("Koor-1.wav"))));
  text.Refresh();
  EXPECT_EQ(text.ChosenTakeOf(0), QString());
  EXPECT_EQ(text.LatestTakeOf(0), QString());
  ASSERT_TRUE(text.Next());
  EXPECT_TRUE(text.NextWithoutChoice());
  EXPECT_EQ(text.Current(), 0);
}
