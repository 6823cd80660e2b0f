#include <QByteArray>
#include <QString>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/Errors.h"
#include "session/TextList.h"

using praatkist::EInvalidArgument;
using praatkist::TTextItem;
using praatkist::TTextList;

namespace {

std::vector<TTextItem> Items(const QByteArray &ABytes)
{
  return TTextList::Parse(ABytes).Items();
}

std::string Refusal(const QByteArray &ABytes)
{
  try {
    TTextList::Parse(ABytes);
  } catch (const EInvalidArgument &e) {
    return e.what();
  }
  return "(taken)";
}

TTextItem Item(const char *AId, const char *AText)
{
  return {QString::fromUtf8(AId), QString::fromUtf8(AText)};
}

} // namespace

TEST(TextList, LinesWithAndWithoutIds)
{
  // A metadata.csv as it is, tab-separated lines, and plain lines numbered by their
  // place in the list; a byte-order mark, CR LF, blank lines and blanks around skipped.
  EXPECT_EQ(Items("LJ001-0001|Printing, in the only sense\nLJ001-0002|in being comparatively modern."),
            (std::vector{Item("LJ001-0001", "Printing, in the only sense"),
                         Item("LJ001-0002", "in being comparatively modern.")}));
  EXPECT_EQ(Items("\xEF\xBB\xBFw1\tDe kat\r\n\r\n  w2 \t  krabt de krullen  \r\n"),
            (std::vector{Item("w1", "De kat"), Item("w2", "krabt de krullen")}));
  EXPECT_EQ(Items("Eén zin.\n\n   \nTwee zinnen, één regel.\nDrie\n"),
            (std::vector{Item("0001", "Eén zin."), Item("0002", "Twee zinnen, één regel."),
                         Item("0003", "Drie")}));
  // The id of a line without one is its place among the items, not among the lines.
  EXPECT_EQ(Items("a\tAap\n\nNoot\n").back(), Item("0002", "Noot"));
}

TEST(TextList, KeptListKeepsEveryIdThroughAnEdit)
{
  const TTextList first = TTextList::Parse("Aap\nNoot\nMies\n");
  EXPECT_EQ(first.Serialize(), QByteArray("0001\tAap\n0002\tNoot\n0003\tMies\n"));
  // The kept file, edited: a line taken out and two added keep the others' ids; a new
  // line's number by its place is taken already, so it gets the next one that is free.
  const TTextList edited = TTextList::Parse("0001\tAap\n0003\tMies\nWim\nJet\n");
  EXPECT_EQ(edited.Items(), (std::vector{Item("0001", "Aap"), Item("0003", "Mies"),
                                         Item("0004", "Wim"), Item("0005", "Jet")}));
}

TEST(TextList, BadInputIsRefusedNamingItsLine)
{
  struct Row {
    QByteArray Bytes;
    const char *Message;
  };
  const Row rows[] = {
      {"goed\n\xC3\x28 kapot\n", "Regel 2 van de tekstlijst: dit is geen UTF-8-tekst."},
      {"", "De tekstlijst is leeg."},
      {"\xEF\xBB\xBF\r\n  \n\t\n", "De tekstlijst is leeg."},
      {"a|Aap\nb|Noot\n\na|Mies\n", "Regel 4 van de tekstlijst: de id \"a\" staat ook op regel 1."},
      {"Aap\n0001|Noot\n", "Regel 2 van de tekstlijst: de id \"0001\" staat ook op regel 1."},
      {"a/b|Aap\n", "Regel 1 van de tekstlijst: de id \"a/b\" kan geen deel van een bestandsnaam zijn."},
      {"a\\b\tAap\n", "Regel 1 van de tekstlijst: de id \"a\\b\" kan geen deel van een bestandsnaam zijn."},
      {"a:b\tAap\n", "Regel 1 van de tekstlijst: de id \"a:b\" kan geen deel van een bestandsnaam zijn."},
      {"con\tAap\n", "Regel 1 van de tekstlijst: de id \"con\" kan geen deel van een bestandsnaam zijn."},
      {"AUX.1\tAap\n", "Regel 1 van de tekstlijst: de id \"AUX.1\" kan geen deel van een bestandsnaam zijn."},
      {"lpt9\tAap\n", "Regel 1 van de tekstlijst: de id \"lpt9\" kan geen deel van een bestandsnaam zijn."},
      {"zin.\tAap\n", "Regel 1 van de tekstlijst: de id \"zin.\" kan geen deel van een bestandsnaam zijn."},
      {"a\x01" "b\tAap\n", "Regel 1 van de tekstlijst: de id \"a\x01" "b\" kan geen deel van een bestandsnaam zijn."},
      {"a\tAap | Noot\n", "Regel 1 van de tekstlijst: de tekst bevat een \"|\"; die kan niet in metadata.csv."},
      {"a|Aap|Noot\n", "Regel 1 van de tekstlijst: de tekst bevat een \"|\"; die kan niet in metadata.csv."},
      {"a\t\n", "Regel 1 van de tekstlijst: de tekst bij id \"a\" ontbreekt."},
      {"|Aap\n", "Regel 1 van de tekstlijst: de id voor de tekst ontbreekt."},
      {QByteArray(101, 'i') + "\tAap\n", "Regel 1 van de tekstlijst: de id is langer dan 100 tekens."},
      {"a\t" + QByteArray(2001, 't') + "\n", "Regel 1 van de tekstlijst: de tekst is langer dan 2000 tekens."},
  };
  for (const Row &row : rows)
    EXPECT_EQ(Refusal(row.Bytes), row.Message) << row.Bytes.toStdString();
  // "lpt" and "com0" are no device names; a space inside an id is fine.
  EXPECT_EQ(Items("lpt\tA\ncom0\tB\nmijn id\tC\n").size(), 3u);
}

TEST(TextList, AtMostOneHundredThousandItems)
{
  QByteArray most;
  for (int i = 0; i < TTextList::MaxItems; ++i)
    most += "Zin\n";
  const TTextList list = TTextList::Parse(most);
  EXPECT_EQ(list.Count(), TTextList::MaxItems);
  EXPECT_EQ(list.Items().back().Id, QStringLiteral("100000"));
  EXPECT_EQ(list.IndexOf(QStringLiteral("100000")), TTextList::MaxItems - 1);
  EXPECT_EQ(list.IndexOf(QStringLiteral("nergens")), -1);
  EXPECT_EQ(Refusal(most + "\n\nNog een\n"),
            "Regel 100003 van de tekstlijst: een tekstlijst heeft hoogstens 100000 regels.");
}
