#include "session/TakeBindings.h"

#include <QDir>
#include <QFile>
#include <QUuid>
#include <QFileInfo>

#include <chrono>
#include <system_error>
#include <thread>

#include "platform/Errors.h"
#include "platform/FileClaim.h"
#include "platform/FileOps.h"

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

// How long a change waits for another program's change of the same file to end.
constexpr auto KLockPatience = std::chrono::seconds(5);

// The temporary file beside the bindings, made and claimed by this change: the lock
// that keeps two writers from changing the bindings at once.
class TLockedTemp {
public:
  explicit TLockedTemp(const fs::path &ATemp) : FPath(ATemp)
  {
    const auto giveUp = std::chrono::steady_clock::now() + KLockPatience;
    for (int gone = 0;;) {
      try {
        FFile = std::make_unique<platform::TWriteFile>(FPath);
        // Between the making and the claim another writer may take the file for one a
        // crash left, remove it and make its own under the name; the claim would then
        // hold that one while this change writes into the removed one. A token of this
        // change's own, read back under the name once claimed, tells.
        const QByteArray token = QUuid::createUuid().toByteArray();
        FFile->Write(token.constData(), static_cast<std::size_t>(token.size()));
        FClaim.Claim(FPath);
        if (ReadBack() == token)
          return;
        FClaim.Release();
        FFile.reset();
        if (++gone > 50)
          platform::RaiseFileError(std::make_error_code(std::errc::device_or_resource_busy), FPath);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        continue;
      } catch (const EFileError &) {
        FFile.reset();
        std::error_code ec;
        // One that a crash left is nobody's: taken away, and made anew.
        if (platform::RemoveUnclaimedFile(FPath, ec))
          continue;
        if (ec == std::errc::device_or_resource_busy) {
          // another writer's change runs: wait for it
          if (std::chrono::steady_clock::now() >= giveUp)
            throw;
          std::this_thread::sleep_for(std::chrono::milliseconds(2));
          continue;
        }
        // Gone again (another writer just put its change in place), or it cannot be
        // made at all (a folder that cannot be written): a few more tries tell which.
        if (++gone > 50)
          throw;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
      }
    }
  }
  ~TLockedTemp()
  {
    if (!FPlaced) {
      FFile.reset();
      platform::DeleteFileQuietly(FPath);
    }
  }
  TLockedTemp(const TLockedTemp &) = delete;
  TLockedTemp &operator=(const TLockedTemp &) = delete;

  // Writes ABytes, puts them on the disk and renames the file over ATarget.
  void PlaceAs(const QByteArray &ABytes, const fs::path &ATarget)
  {
    if (!FFile->TryTruncate(0))
      platform::RaiseFileError(std::make_error_code(std::errc::io_error), FPath);
    FFile->Write(ABytes.constData(), static_cast<std::size_t>(ABytes.size()));
    FFile->Sync();
    FFile->Close();
    platform::ReplaceFileOrRaise(FPath, ATarget);
    FPlaced = true;
    platform::SyncFolderOrRaise(ATarget.parent_path());
  }

private:
  QByteArray ReadBack() const
  {
    QFile file(QString::fromStdWString(FPath.wstring()));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
  }

  fs::path FPath;
  std::unique_ptr<platform::TWriteFile> FFile;
  platform::TFileClaim FClaim;
  bool FPlaced = false;
};

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
    bool replaced = false;
    for (TTakeBinding &old : bindings)
      if (old.Take == b.Take) {
        old = b;
        replaced = true;
      }
    if (!replaced)
      bindings.push_back(std::move(b));
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
  TLockedTemp temp(ToPath(folder.filePath(FileName + QStringLiteral(".tmp"))));
  std::vector<TTakeBinding> bindings = Read(AFolder);
  AChange(bindings);
  std::erase_if(bindings, [&](const TTakeBinding &b) {
    return !QFileInfo(folder.filePath(b.Take)).isFile();
  });
  temp.PlaceAs(Serialize(bindings), target);
  return bindings;
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
