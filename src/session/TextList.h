#pragma once
// The text list of a session: the lines a speaker records one take of each, every one
// with an id of its own. A list is read from a UTF-8 text file, one item per non-empty
// line: "id<TAB>text", "id|text" (so a metadata.csv loads as it is) or the text alone,
// which is then numbered "0001", "0002" ... by its place in the list (or the next
// number that no line before it took). The session keeps
// its list as tekstlijst.txt with every id written out, so that a list edited later
// never moves a take to another text.

#include <QByteArray>
#include <QHash>
#include <QString>

#include <vector>

namespace praatkist {

struct TTextItem {
  QString Id;
  QString Text;

  bool operator==(const TTextItem &) const = default;
};

// The characters of AText that are spoken: its letters and digits (a code point each),
// what a take's pace is counted in.
int SpokenChars(const QString &AText);

class TTextList {
public:
  // The list's file in a session folder.
  static inline const QString FileName = QStringLiteral("tekstlijst.txt");
  static constexpr int MaxItems = 100000;
  static constexpr int MaxIdLength = 100;    // characters; the id names a file
  static constexpr int MaxTextLength = 2000; // characters

  TTextList() = default;

  // Reads a list from the bytes of a text file. Raises EInvalidArgument with a Dutch
  // message that names the line for anything it cannot take: bytes that are not UTF-8,
  // no item at all, a duplicate id, an id that cannot be part of a file name on Linux or
  // Windows, an id or text that is too long, a text holding "|" (metadata.csv separates
  // with it), more than MaxItems items.
  static TTextList Parse(const QByteArray &ABytes);
  // Parse of the file at APath; EFileError when it cannot be read.
  static TTextList Load(const QString &APath);
  // The list as tekstlijst.txt holds it: "id<TAB>text" lines, UTF-8, LF.
  QByteArray Serialize() const;

  // True when AId can be part of a file name on Linux and Windows (as "<id>.wav").
  static bool ValidId(const QString &AId);

  const std::vector<TTextItem> &Items() const noexcept { return FItems; }
  int Count() const noexcept { return static_cast<int>(FItems.size()); }
  bool Empty() const noexcept { return FItems.empty(); }
  // The item's place in the list, -1 when no item has AId.
  int IndexOf(const QString &AId) const;

private:
  std::vector<TTextItem> FItems;
  QHash<QString, int> FIndex; // id -> place
};

} // namespace praatkist
