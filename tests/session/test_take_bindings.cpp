#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <vector>

#ifndef _WIN32
#include <sys/wait.h>
#include <unistd.h>
#endif

#include "platform/FileOps.h"
#include "session/TakeBindings.h"

using praatkist::TTakeBinding;
using praatkist::TTakeBindings;
using praatkist::TTakeStatus;

namespace {

class TakeBindings : public ::testing::Test {
protected:
  QTemporaryDir Temp;
  QString Folder = Temp.path();

  void Touch(const QString &AName)
  {
    QFile f(QDir(Folder).filePath(AName));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  }
  QByteArray FileBytes() const
  {
    QFile f(QDir(Folder).filePath(TTakeBindings::FileName));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("(none)");
  }
};

} // namespace

TEST_F(TakeBindings, RetakesChoiceAndTheChosenTakeRule)
{
  for (const char *take : {"Koor-1.wav", "Koor-2.wav", "Koor-3.mp3", "Koor-4.wav"})
    Touch(QString::fromUtf8(take));
  TTakeBindings::Bind(Folder, QStringLiteral("Koor-1.wav"), QStringLiteral("0003"));
  TTakeBindings::Bind(Folder, QStringLiteral("Koor-2.wav"), QStringLiteral("0003"));
  TTakeBindings::Bind(Folder, QStringLiteral("Koor-3.mp3"), QStringLiteral("0004"));
  // Koor-4 is a plain take: the file does not name it.
  EXPECT_EQ(FileBytes(), QByteArray("opname\tid\tstatus\nKoor-1.wav\t0003\t\n"
                                    "Koor-2.wav\t0003\t\nKoor-3.mp3\t0004\t\n"));

  auto chosen = [&](const char *id) {
    return TTakeBindings::ChosenTake(TTakeBindings::Read(Folder), QString::fromUtf8(id));
  };
  EXPECT_EQ(chosen("0003"), QStringLiteral("Koor-2.wav")); // the latest
  TTakeBindings::SetStatus(Folder, QStringLiteral("Koor-2.wav"), TTakeStatus::Rejected);
  EXPECT_EQ(chosen("0003"), QStringLiteral("Koor-1.wav")); // the latest not rejected
  TTakeBindings::SetStatus(Folder, QStringLiteral("Koor-1.wav"), TTakeStatus::Rejected);
  EXPECT_EQ(chosen("0003"), QString());
  // A rejected take can be chosen again; a choice beats the latest, and moves.
  TTakeBindings::Choose(Folder, QStringLiteral("Koor-2.wav"));
  EXPECT_EQ(chosen("0003"), QStringLiteral("Koor-2.wav"));
  TTakeBindings::Choose(Folder, QStringLiteral("Koor-1.wav"));
  EXPECT_EQ(chosen("0003"), QStringLiteral("Koor-1.wav"));
  EXPECT_EQ(FileBytes(), QByteArray("opname\tid\tstatus\nKoor-1.wav\t0003\tgekozen\n"
                                    "Koor-2.wav\t0003\t\nKoor-3.mp3\t0004\t\n"));
  EXPECT_EQ(chosen("0004"), QStringLiteral("Koor-3.mp3"));
  EXPECT_EQ(chosen("0009"), QString());
  // A take that is not bound cannot be chosen for anything.
  TTakeBindings::Choose(Folder, QStringLiteral("Koor-4.wav"));
  EXPECT_EQ(TTakeBindings::Read(Folder).size(), 3u);
}

TEST_F(TakeBindings, GoneTakesAreDroppedAndAnotherWritersBindingsKept)
{
  Touch(QStringLiteral("Koor-1.wav"));
  Touch(QStringLiteral("Koor-2.wav"));
  TTakeBindings::Bind(Folder, QStringLiteral("Koor-1.wav"), QStringLiteral("a"));
  // Another program binds its take in between: read again before our change is written.
  const std::vector<TTakeBinding> seen = TTakeBindings::Read(Folder);
  QFile other(QDir(Folder).filePath(TTakeBindings::FileName));
  ASSERT_TRUE(other.open(QIODevice::Append));
  other.write("Koor-2.wav\tb\t\n");
  other.close();
  ASSERT_TRUE(QFile::remove(QDir(Folder).filePath(QStringLiteral("Koor-1.wav"))));
  Touch(QStringLiteral("Koor-3.wav"));
  TTakeBindings::Bind(Folder, QStringLiteral("Koor-3.wav"), QStringLiteral("a"));
  EXPECT_EQ(seen.size(), 1u);
  EXPECT_EQ(FileBytes(), QByteArray("opname\tid\tstatus\nKoor-2.wav\tb\t\nKoor-3.wav\ta\t\n"));
  // Lines it cannot read are left out; a missing file is no binding at all.
  EXPECT_EQ(TTakeBindings::Parse("opname\tid\tstatus\nzonder-id\n\tx\t\nK.wav\tc\tgekozen\r\n"),
            (std::vector<TTakeBinding>{{"K.wav", "c", TTakeStatus::Chosen}}));
  QTemporaryDir empty;
  EXPECT_TRUE(TTakeBindings::Read(empty.path()).empty());
}

#ifndef _WIN32
namespace {

int CrashAtRename(const char *AStep, const std::filesystem::path &)
{
  if (std::strcmp(AStep, "rename") == 0)
    ::_exit(9);
  return 0;
}

} // namespace

TEST_F(TakeBindings, CrashBeforeTheRenameLeavesTheOldFileAndTheNextChangeGoesOn)
{
  Touch(QStringLiteral("Koor-1.wav"));
  Touch(QStringLiteral("Koor-2.wav"));
  TTakeBindings::Bind(Folder, QStringLiteral("Koor-1.wav"), QStringLiteral("a"));
  const QByteArray before = FileBytes();
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    praatkist::platform::SetFileFaultHook(&CrashAtRename);
    TTakeBindings::Bind(Folder, QStringLiteral("Koor-2.wav"), QStringLiteral("b"));
    ::_exit(0);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  ASSERT_EQ(WEXITSTATUS(status), 9); // it died with its new file written, not yet in place
  ASSERT_TRUE(QFile::exists(QDir(Folder).filePath(TTakeBindings::FileName + ".tmp")));
  EXPECT_EQ(FileBytes(), before);
  // The dead writer's temporary file is nobody's: the next change takes it over.
  TTakeBindings::Bind(Folder, QStringLiteral("Koor-2.wav"), QStringLiteral("b"));
  EXPECT_EQ(FileBytes(), QByteArray("opname\tid\tstatus\nKoor-1.wav\ta\t\nKoor-2.wav\tb\t\n"));
  EXPECT_FALSE(QFile::exists(QDir(Folder).filePath(TTakeBindings::FileName + ".tmp")));
}

namespace {

// Another writer, between this one's making of the temporary file and its claim, takes
// the file for one a crash left: removes it and makes its own, empty, under the name.
int gTakeOvers = 0;
int TakenOverBeforeTheClaim(const char *AStep, const std::filesystem::path &APath)
{
  if (std::strcmp(AStep, "write") == 0 && APath.filename() == "opnames.tsv.tmp" &&
      gTakeOvers-- > 0) {
    std::filesystem::remove(APath);
    QFile(QString::fromStdString(APath.string())).open(QIODevice::WriteOnly);
  }
  return 0;
}

} // namespace

TEST_F(TakeBindings, FileTakenOverBeforeTheClaimIsNotPutInPlace)
{
  Touch(QStringLiteral("Koor-1.wav"));
  Touch(QStringLiteral("Koor-2.wav"));
  TTakeBindings::Bind(Folder, QStringLiteral("Koor-1.wav"), QStringLiteral("a"));
  gTakeOvers = 1;
  praatkist::platform::SetFileFaultHook(&TakenOverBeforeTheClaim);
  TTakeBindings::Bind(Folder, QStringLiteral("Koor-2.wav"), QStringLiteral("b"));
  praatkist::platform::SetFileFaultHook(nullptr);
  EXPECT_EQ(FileBytes(), QByteArray("opname\tid\tstatus\nKoor-1.wav\ta\t\nKoor-2.wav\tb\t\n"));
}

TEST_F(TakeBindings, TwoProgramsBindingAtOnceLoseNothing)
{
  constexpr int kEach = 40;
  for (int i = 1; i <= 2 * kEach; ++i)
    Touch(QStringLiteral("Koor-%1.wav").arg(i));
  std::vector<pid_t> children;
  for (int program = 0; program < 2; ++program) {
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      for (int i = 1 + program; i <= 2 * kEach; i += 2)
        TTakeBindings::Bind(Folder, QStringLiteral("Koor-%1.wav").arg(i), QStringLiteral("x"));
      ::_exit(0);
    }
    children.push_back(child);
  }
  for (const pid_t child : children) {
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  EXPECT_EQ(TTakeBindings::Read(Folder).size(), std::size_t{2 * kEach});
}
#endif
