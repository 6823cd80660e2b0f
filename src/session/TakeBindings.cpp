#include "session/TakeBindings.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSet>

#include "platform/ClaimedReplace.h"
#include "platform/Errors.h"
#include "platform/FileSystem.h"

namespace praatkist {

namespace fs = std::filesystem;

namespace {

const QByteArray KHeader = QByteArrayLiteral("opname\tid\tstatus");

QByteArray StatusWord(TTakeStatus AStatus)
{
  switch (AStatus) {
  case TTakeStatus::Chosen:
    return QByteArrayLiteral("gekozen");
  case TTakeStatus::Rejected:
    return QByteArrayLiteral("afgekeurd");
  case TTakeStatus::Plain:
    break;
  }
  return {};
}

fs::path ToPath(const QString &APath)
{
  return fs::path(QDir::toNativeSeparators(APath).toStdWString());
}

} // namespace

QByteArray TTakeBindings::Serialize(const std::vector<TTakeBinding> &ABindings)
{
  QByteArray out = KHeader + '\n';
  for (const TTakeBinding &b : ABindings) {
    out += b.Take.toUtf8();
    out += '\t';
    out += b.ItemId.toUtf8();
    out += '\t';
    out += StatusWord(b.Status);
    out += '\n';
  }
  return out;
}

std::vector<TTakeBinding> TTakeBindings::Parse(const QByteArray &ABytes)
{
  std::vector<TTakeBinding> bindings;
  QHash<QString, std::size_t> placeOf; // take -> its binding
  const QList<QByteArray> lines = ABytes.split('\n');
  for (qsizetype i = 0; i < lines.size(); ++i) {
    QByteArray line = lines[i];
    if (line.endsWith('\r'))
      line.chop(1);
    if (line.isEmpty() || (i == 0 && line == KHeader))
      continue;
    const QList<QByteArray> fields = line.split('\t');
    if (fields.size() < 2 || fields[0].isEmpty() || fields[1].isEmpty())
      continue;
    TTakeBinding b;
    b.Take = QString::fromUtf8(fields[0]);
    b.ItemId = QString::fromUtf8(fields[1]);
    const QByteArray status = fields.size() > 2 ? fields[2] : QByteArray();
    if (status == StatusWord(TTakeStatus::Chosen))
      b.Status = TTakeStatus::Chosen;
    else if (status == StatusWord(TTakeStatus::Rejected))
      b.Status = TTakeStatus::Rejected;
    // One line per take: a later line of the same take is the newer word.
    if (const auto seen = placeOf.constFind(b.Take); seen != placeOf.constEnd()) {
      bindings[*seen] = std::move(b);
    } else {
      placeOf.insert(b.Take, bindings.size());
      bindings.push_back(std::move(b));
    }
  }
  return bindings;
}

std::vector<TTakeBinding> TTakeBindings::Read(const QString &AFolder)
{
  QFile file(QDir(AFolder).filePath(FileName));
  if (!file.open(QIODevice::ReadOnly))
    return {};
  return Parse(file.readAll());
}

std::vector<TTakeBinding> TTakeBindings::Update(const QString &AFolder,
                           const std::function<void(std::vector<TTakeBinding> &)> &AChange)
{
  const QDir folder(AFolder);
  const fs::path target = ToPath(folder.filePath(FileName));
  platform::TClaimedReplace temp(ToPath(folder.filePath(FileName + QStringLiteral(".tmp"))));
  std::vector<TTakeBinding> bindings = Read(AFolder);
  AChange(bindings);
  KeepPresent(AFolder, bindings);
  temp.PlaceAs(Serialize(bindings).toStdString(), target);
  return bindings;
}

void TTakeBindings::KeepPresent(const QString &AFolder, std::vector<TTakeBinding> &ABindings)
{
  // Names as the file system compares them: without case on Windows.
  const auto key = [](const QString &AName) {
#ifdef _WIN32
    return AName.toCaseFolded();
#else
    return AName;
#endif
  };
  QSet<QString> files;
  try {
    for (const QString &name : platform::ListFilesUnsorted(AFolder))
      files.insert(key(name));
  } catch (const std::exception &) {
    // a folder that cannot be listed holds no take
  }
  std::erase_if(ABindings, [&](const TTakeBinding &b) { return !files.contains(key(b.Take)); });
}

std::vector<TTakeBinding> TTakeBindings::Bind(const QString &AFolder, const QString &ATake, const QString &AItemId)
{
  return Update(AFolder, [&](std::vector<TTakeBinding> &bindings) {
    std::erase_if(bindings, [&](const TTakeBinding &b) { return b.Take == ATake; });
    bindings.push_back({ATake, AItemId, TTakeStatus::Plain});
  });
}

std::vector<TTakeBinding> TTakeBindings::SetStatus(const QString &AFolder, const QString &ATake, TTakeStatus AStatus)
{
  return Update(AFolder, [&](std::vector<TTakeBinding> &bindings) {
    for (TTakeBinding &b : bindings)
      if (b.Take == ATake)
        b.Status = AStatus;
  });
}

std::vector<TTakeBinding> TTakeBindings::Choose(const QString &AFolder, const QString &ATake)
{
  return Update(AFolder, [&](std::vector<TTakeBinding> &bindings) {
    QString item;
    for (const TTakeBinding &b : bindings)
      if (b.Take == ATake)
        item = b.ItemId;
    if (item.isEmpty())
      return;
    for (TTakeBinding &b : bindings) {
      if (b.Take == ATake)
        b.Status = TTakeStatus::Chosen;
      else if (b.ItemId == item && b.Status == TTakeStatus::Chosen)
        b.Status = TTakeStatus::Plain;
    }
  });
}

QString TTakeBindings::ChosenTake(const std::vector<TTakeBinding> &ABindings,
                                  const QString &AItemId)
{
  QString latest;
  for (const TTakeBinding &b : ABindings) {
    if (b.ItemId != AItemId)
      continue;
    if (b.Status == TTakeStatus::Chosen)
      return b.Take;
    if (b.Status != TTakeStatus::Rejected)
      latest = b.Take;
  }
  return latest;
}

} // namespace praatkist
