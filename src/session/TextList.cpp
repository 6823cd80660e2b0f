#include "session/TextList.h"

#include <QFile>
#include <QStringDecoder>
#include <QStringTokenizer>

#include "platform/Errors.h"

namespace praatkist {

namespace {

// Names Windows keeps for devices, whatever extension follows them.
bool ReservedName(const QString &AId)
{
  const QString base = AId.section(QLatin1Char('.'), 0, 0).toUpper();
  static const QStringList names = {QStringLiteral("CON"), QStringLiteral("PRN"),
                                    QStringLiteral("AUX"), QStringLiteral("NUL")};
  if (names.contains(base))
    return true;
  if (base.size() == 4 && (base.startsWith(QLatin1String("COM")) ||
                           base.startsWith(QLatin1String("LPT"))))
    return base[3] >= QLatin1Char('1') && base[3] <= QLatin1Char('9');
  return false;
}

bool ForbiddenIdChar(QChar c)
{
  const char16_t u = c.unicode();
  if (u < 32 || u == 127)
    return true;
  switch (u) {
  case u'/':
  case u'\\':
  case u':':
  case u'*':
  case u'?':
  case u'"':
  case u'<':
  case u'>':
  case u'|':
    return true;
  default:
    return false;
  }
}

[[noreturn]] void Refuse(int ALine, const QString &AWhat)
{
  throw EInvalidArgument(
      QStringLiteral("Regel %1 van de tekstlijst: %2").arg(ALine).arg(AWhat).toStdString());
}

// The line without the spaces (and the CR of CR LF) around it; a tab stays, since it
// may stand between an id and an empty text. A line of blanks alone is empty.
QString Trimmed(QStringView ALine)
{
  if (ALine.trimmed().isEmpty())
    return {};
  qsizetype begin = 0, end = ALine.size();
  auto blank = [](QChar c) { return c == u' ' || c == u'\r' || c == QChar(0xA0); };
  while (begin < end && blank(ALine[begin]))
    ++begin;
  while (end > begin && blank(ALine[end - 1]))
    --end;
  return ALine.sliced(begin, end - begin).toString();
}

// The number of the first line whose bytes are not UTF-8.
int FirstBadLine(QByteArrayView ABytes)
{
  int lineNo = 1;
  for (qsizetype at = 0; at <= ABytes.size(); ++lineNo) {
    qsizetype end = ABytes.indexOf('\n', at);
    if (end < 0)
      end = ABytes.size();
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString line = utf8.decode(ABytes.sliced(at, end - at));
    if (utf8.hasError())
      return lineNo;
    at = end + 1;
  }
  return lineNo;
}

} // namespace

bool TTextList::ValidId(const QString &AId)
{
  // "<id>.wav" and "<id>.markers.txt" stay well inside a file name's 255 bytes.
  if (AId.isEmpty() || AId.size() > MaxIdLength || AId.toUtf8().size() > 2 * MaxIdLength ||
      AId == QLatin1String(".") || AId == QLatin1String(".."))
    return false;
  for (const QChar c : AId)
    if (ForbiddenIdChar(c))
      return false;
  const QChar last = AId.back();
  if (last == QLatin1Char('.') || last == QLatin1Char(' '))
    return false;
  return !ReservedName(AId);
}

TTextList TTextList::Parse(const QByteArray &ABytes)
{
  QByteArrayView bytes(ABytes);
  if (bytes.startsWith("\xEF\xBB\xBF"))
    bytes = bytes.sliced(3);
  QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
  const QString all = utf8.decode(bytes);
  if (utf8.hasError())
    Refuse(FirstBadLine(bytes), QStringLiteral("dit is geen UTF-8-tekst."));

  TTextList list;
  QHash<QString, int> lineOfId; // the line each id came from
  int lineNo = 0;
  for (const QStringView line : QStringTokenizer(all, u'\n')) {
    ++lineNo;
    const QString trimmed = Trimmed(line);
    if (trimmed.isEmpty())
      continue;
    if (list.Count() == MaxItems)
      Refuse(lineNo, QStringLiteral("een tekstlijst heeft hoogstens %1 regels.").arg(MaxItems));

    TTextItem item;
    const qsizetype tab = trimmed.indexOf(QLatin1Char('\t'));
    const qsizetype bar = trimmed.indexOf(QLatin1Char('|'));
    const qsizetype split = tab >= 0 ? tab : bar;
    if (split >= 0) {
      item.Id = QStringView(trimmed).first(split).trimmed().toString();
      item.Text = QStringView(trimmed).sliced(split + 1).trimmed().toString();
      if (item.Id.isEmpty())
        Refuse(lineNo, QStringLiteral("de id voor de tekst ontbreekt."));
    } else {
      // Its place in the list, or the next number after it that no line took before.
      for (int n = list.Count() + 1; item.Id.isEmpty() || lineOfId.contains(item.Id); ++n)
        item.Id = QStringLiteral("%1").arg(n, 4, 10, QLatin1Char('0'));
      item.Text = trimmed;
    }
    if (item.Text.isEmpty())
      Refuse(lineNo, QStringLiteral("de tekst bij id \"%1\" ontbreekt.").arg(item.Id));
    if (item.Id.size() > MaxIdLength)
      Refuse(lineNo, QStringLiteral("de id is langer dan %1 tekens.").arg(MaxIdLength));
    if (!ValidId(item.Id))
      Refuse(lineNo, QStringLiteral("de id \"%1\" kan geen deel van een bestandsnaam zijn.")
                         .arg(item.Id));
    if (item.Text.size() > MaxTextLength)
      Refuse(lineNo, QStringLiteral("de tekst is langer dan %1 tekens.").arg(MaxTextLength));
    if (item.Text.contains(QLatin1Char('|')))
      Refuse(lineNo, QStringLiteral("de tekst bevat een \"|\"; die kan niet in metadata.csv."));
    const auto seen = lineOfId.constFind(item.Id);
    if (seen != lineOfId.constEnd())
      Refuse(lineNo,
             QStringLiteral("de id \"%1\" staat ook op regel %2.").arg(item.Id).arg(*seen));
    lineOfId.insert(item.Id, lineNo);
    list.FIndex.insert(item.Id, list.Count());
    list.FItems.push_back(std::move(item));
  }
  if (list.Empty())
    throw EInvalidArgument("De tekstlijst is leeg.");
  return list;
}

TTextList TTextList::Load(const QString &APath)
{
  QFile file(APath);
  if (!file.open(QIODevice::ReadOnly))
    throw EFileError(file.errorString().toStdString() + ": " + APath.toStdString());
  const QByteArray bytes = file.readAll();
  if (file.error() != QFileDevice::NoError)
    throw EFileError(file.errorString().toStdString() + ": " + APath.toStdString());
  return Parse(bytes);
}

QByteArray TTextList::Serialize() const
{
  QByteArray out;
  for (const TTextItem &item : FItems) {
    out += item.Id.toUtf8();
    out += '\t';
    out += item.Text.toUtf8();
    out += '\n';
  }
  return out;
}

int TTextList::IndexOf(const QString &AId) const
{
  return FIndex.value(AId, -1);
}

int SpokenChars(const QString &AText)
{
  int n = 0;
  for (const char32_t c : AText.toUcs4())
    n += QChar::isLetterOrNumber(c) ? 1 : 0;
  return n;
}

} // namespace praatkist
