#include <functional>
#include <limits>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>

#include "platform/Errors.h"
#include "platform/FileSystem.h"
#include "session/SessionManager.h"

using praatkist::EFileError;
using praatkist::EInvalidArgument;
using praatkist::EInvalidOperation;
using praatkist::ENotFound;
using praatkist::TSessionManager;
namespace platform = praatkist::platform;

namespace {

// The message of the exception of type E that AAction raises; a test failure if none.
template <class E> std::string MessageOf(const std::function<void()> &AAction)
{
  try {
    AAction();
  } catch (const E &e) {
    return e.what();
  }
  ADD_FAILURE() << "no exception raised";
  return {};
}

QString Native(const QString &APath)
{
  return QDir::toNativeSeparators(APath);
}

// Every test gets its own temporary home, so that the store's default root never lands
// in the real documents folder, and a root folder "Root" beside it.
class SessionStore : public ::testing::Test {
protected:
  void SetUp() override
  {
    ASSERT_TRUE(FTemp.isValid());
    SaveAndSet("HOME", Path("home"));
    SaveAndSet("XDG_CONFIG_HOME", Path("home/.config"));
    FRoot = Path("Root");
  }

  void TearDown() override
  {
    for (const auto &[name, value, wasSet] : FSavedEnv) {
      if (wasSet)
        qputenv(name, value);
      else
        qunsetenv(name);
    }
  }

  QString Path(const QString &ARelative) const { return Native(FTemp.filePath(ARelative)); }

  // A store on FRoot with session ASession, folder created, files AFiles inside it.
  TSessionManager StoreWith(const QString &ASession, const QStringList &AFiles = {})
  {
    TSessionManager store;
    store.SetRootPath(FRoot);
    store.CreateSession(ASession);
    for (const QString &file : AFiles)
      Touch(FRoot + "/" + ASession + "/" + file);
    return store;
  }

  static void Touch(const QString &APath)
  {
    QFile file(APath);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << APath.toStdString();
  }

  QString FRoot;

private:
  void SaveAndSet(const char *AName, const QString &AValue)
  {
    FSavedEnv.push_back({AName, qgetenv(AName), qEnvironmentVariableIsSet(AName)});
    qputenv(AName, AValue.toLocal8Bit());
  }

  QTemporaryDir FTemp;
  struct SavedVariable {
    const char *name;
    QByteArray value;
    bool wasSet;
  };
  std::vector<SavedVariable> FSavedEnv;
};

} // namespace

TEST(SessionNames, RefusesNamesNoFolderCanCarry)
{
  QStringList invalid = {"",
                         "   ",
                         " \t\r\n",
                         ".",
                         "..",
                         " .. ",
                         "Koor.",
                         " Koor. ",
                         "...",
                         "a\tb",
                         QStringLiteral("a") + QChar(31) + "b"};
  for (const QChar c : QStringLiteral("\"*/:<>?\\|"))
    invalid << QStringLiteral("a") + c + "b";
  for (const QString &name : invalid)
    EXPECT_FALSE(TSessionManager::ValidSessionName(name)) << name.toStdString();
}

TEST(SessionNames, AcceptsOrdinaryAndNonLatinNames)
{
  const QStringList valid = {
      "Koor", "  Koor  ", "\tKoor\n", "Koor [1]", "Opname #2", ".verborgen", "Koor.1",
      QStringLiteral("café"), QStringLiteral("ÿ"), QStringLiteral("Χορωδία"), QStringLiteral("Хор"),
      // Above code 255 nothing is forbidden, also where the low byte equals a forbidden
      // or control code (U+013A, U+015C, U+012A, U+0109) or for the wide colon U+FF1A.
      QStringLiteral("Kĺor"), QStringLiteral("ŜŜ"), QStringLiteral("Ī"), QStringLiteral("ĉ"),
      QStringLiteral("a：b")};
  for (const QString &name : valid)
    EXPECT_TRUE(TSessionManager::ValidSessionName(name)) << name.toStdString();
}

TEST_F(SessionStore, DefaultRootIsInTheDocumentsFolderAndCreated)
{
#ifdef _WIN32
  GTEST_SKIP() << "the documents folder comes from the user's profile there, not from $HOME";
#endif
  {
    TSessionManager store;
    EXPECT_EQ(store.RootPath(), Path("home/Documents/AudioSessies"));
    EXPECT_TRUE(QFileInfo(store.RootPath()).isDir());
    EXPECT_TRUE(store.SessionName().isEmpty());
  }
  // The user's own documents folder is followed, wherever it has been moved to.
  ASSERT_TRUE(QDir().mkpath(Path("home/.config")));
  QFile dirs(Path("home/.config/user-dirs.dirs"));
  ASSERT_TRUE(dirs.open(QIODevice::WriteOnly));
  dirs.write("XDG_DOCUMENTS_DIR=\"$HOME/Mijn documenten\"\n");
  dirs.close();
  TSessionManager moved;
  EXPECT_EQ(moved.RootPath(), Path("home/Mijn documenten/AudioSessies"));
  EXPECT_TRUE(QFileInfo(moved.RootPath()).isDir());
}

TEST_F(SessionStore, SetRootPathStoresAnAbsoluteFolderAndClearsTheSession)
{
  TSessionManager store = StoreWith("Koor");
  const QString previousCurrent = QDir::currentPath();
  ASSERT_TRUE(QDir::setCurrent(Path(".")));
  store.SetRootPath(QStringLiteral("Nieuw/Wortel") + QDir::separator());
  QDir::setCurrent(previousCurrent);

  EXPECT_EQ(store.RootPath(), Path("Nieuw/Wortel"));
  EXPECT_TRUE(QFileInfo(Path("Nieuw/Wortel")).isDir());
  EXPECT_TRUE(store.SessionName().isEmpty());

  store.SetRootPath(Path("Ander/.."));
  EXPECT_EQ(store.RootPath(), Native(QFileInfo(Path(".")).absoluteFilePath()));
  store.SetRootPath(QDir::rootPath());
  EXPECT_EQ(store.RootPath(), Native(QDir::rootPath()));
}

TEST_F(SessionStore, SetRootPathIgnoresABlankPath)
{
  TSessionManager store = StoreWith("Koor");
  store.SetRootPath(" \t ");
  store.SetRootPath("");
  EXPECT_EQ(store.RootPath(), FRoot);
  EXPECT_EQ(store.SessionName(), "Koor");
}

TEST_F(SessionStore, CreateSessionTrimsTheNameAndSelectsIt)
{
  TSessionManager store = StoreWith("  Koor\t");
  EXPECT_EQ(store.SessionName(), "Koor");
  EXPECT_TRUE(QFileInfo(FRoot + "/Koor").isDir());
}

TEST_F(SessionStore, CreateSessionRefusesBadOrExistingNamesAndKeepsTheSession)
{
  TSessionManager store = StoreWith("Koor");
  store.CreateSession("Orkest");

  EXPECT_EQ(MessageOf<EInvalidArgument>([&] { store.CreateSession(" Koor "); }),
            "Sessie \"Koor\" bestaat al.");
  EXPECT_EQ(MessageOf<EInvalidArgument>([&] { store.CreateSession("a:b"); }),
            "Geef een geldige sessienaam zonder speciale maptekens op.");
  EXPECT_EQ(store.SessionName(), "Orkest");
  EXPECT_FALSE(QFileInfo::exists(FRoot + "/a:b"));
}

TEST_F(SessionStore, CreateSessionRaisesWhenNoFolderWasMadeAndKeepsTheSession)
{
  TSessionManager store = StoreWith("Koor");
#ifdef _WIN32
  // NTFS holds 255 UTF-16 units in a name
  const QString tooLong(256, QChar(0xE9));
  EXPECT_FALSE(TSessionManager::ValidSessionName(tooLong));
  EXPECT_TRUE(TSessionManager::ValidSessionName(QString(255, QChar(0xE9))));
#else
  // 200 x "é" is 400 bytes: more than a folder name can hold.
  QString tooLong;
  tooLong.fill(QChar(0xE9), 200);
  EXPECT_FALSE(TSessionManager::ValidSessionName(tooLong));
  EXPECT_TRUE(TSessionManager::ValidSessionName(QString(127, QChar(0xE9)))); // 254 bytes
#endif
  EXPECT_THROW(store.CreateSession(tooLong), EInvalidArgument);

  // The root is replaced by a plain file behind the store's back: nothing can be made.
  ASSERT_TRUE(QDir(FRoot).removeRecursively());
  Touch(FRoot);
  const std::string message = MessageOf<EFileError>([&] { store.CreateSession("Orkest"); });
  EXPECT_NE(message.find("Orkest"), std::string::npos) << message;
  EXPECT_EQ(store.SessionName(), "Koor");
}

TEST_F(SessionStore, ChangeRootIsAllOrNothing)
{
  TSessionManager store = StoreWith("Koor");
  Touch(Path("blokkade"));
  QStringList sessions = {"oud"};
  for (const QString &bad : {Path("blokkade/Root"), FRoot + "/a\nb", FRoot + "/a\tb"}) {
    EXPECT_THROW(store.ChangeRoot(bad, sessions), praatkist::EPraatkistError) << bad.toStdString();
    EXPECT_EQ(store.RootPath(), FRoot);
    EXPECT_EQ(store.SessionName(), "Koor");
    EXPECT_EQ(sessions, QStringList{"oud"});
  }
  EXPECT_FALSE(QFileInfo::exists(FRoot + "/a\nb"));

  store.ChangeRoot(Path("Nieuw") + QDir::separator(), sessions);
  EXPECT_EQ(store.RootPath(), Path("Nieuw"));
  EXPECT_TRUE(store.SessionName().isEmpty());
  EXPECT_TRUE(sessions.isEmpty());

  // Without any root nothing is listed and no session can be made or picked.
  store.ClearRoot();
  store.LoadSessions(sessions);
  EXPECT_TRUE(sessions.isEmpty());
  EXPECT_THROW(store.CreateSession("Koor"), EInvalidOperation);
  EXPECT_THROW(store.SelectSession("Nieuw"), ENotFound);
  EXPECT_TRUE(store.SessionName().isEmpty());
}

TEST_F(SessionStore, SelectSessionTakesOnlyAnExistingFolderUnderItsExactName)
{
  TSessionManager store = StoreWith("Koor");
  store.CreateSession("Orkest");
  Touch(FRoot + "/Bestand");

  store.SelectSession("Koor");
  EXPECT_EQ(store.SessionName(), "Koor");
  EXPECT_EQ(MessageOf<ENotFound>([&] { store.SelectSession(" Orkest"); }),
            "Sessie \" Orkest\" bestaat niet.");
  EXPECT_EQ(MessageOf<ENotFound>([&] { store.SelectSession("Bestand"); }),
            "Sessie \"Bestand\" bestaat niet.");
  EXPECT_EQ(store.SessionName(), "Koor");
}

TEST_F(SessionStore, LoadSessionsListsFoldersInNameOrderIgnoringCase)
{
  TSessionManager store;
  store.SetRootPath(FRoot);
  for (const char *name : {"beta", "Alpha", "_Archief", "gamma", ".verborgen", "Alpha/Binnen"})
    ASSERT_TRUE(QDir().mkpath(FRoot + "/" + name));
  Touch(FRoot + "/notities.txt");

  QStringList items = {"oud"};
  store.LoadSessions(items);
  // Upper-case comparison puts letters before "_"; lower-case would not.
  EXPECT_EQ(items, QStringList({".verborgen", "Alpha", "beta", "gamma", "_Archief"}));
}

TEST_F(SessionStore, LoadSessionsRecreatesTheRootOrFailsNamingIt)
{
  TSessionManager store;
  store.SetRootPath(FRoot);
  ASSERT_TRUE(QDir(FRoot).removeRecursively());
  QStringList items = {"oud"};
  store.LoadSessions(items);
  EXPECT_TRUE(items.isEmpty());
  EXPECT_TRUE(QFileInfo(FRoot).isDir());

  // A root below a plain file can never be created.
  Touch(Path("blokkade"));
  store.SetRootPath(Path("blokkade/Root"));
  items = QStringList{"oud"};
  const std::string message = MessageOf<EFileError>([&] { store.LoadSessions(items); });
  EXPECT_NE(message.find(Path("blokkade/Root").toStdString()), std::string::npos) << message;
  EXPECT_TRUE(items.isEmpty());
}

TEST_F(SessionStore, LoadRecordingsIsEmptyWithoutAUsableSession)
{
  TSessionManager store;
  store.SetRootPath(FRoot);
  QStringList items = {"oud"};
  store.LoadRecordings(items);
  EXPECT_TRUE(items.isEmpty());

  store = StoreWith("Koor", {"Koor-1.wav"});
  ASSERT_TRUE(QDir(FRoot + "/Koor").removeRecursively());
  items = QStringList{"oud"};
  store.LoadRecordings(items);
  EXPECT_TRUE(items.isEmpty());
}

TEST_F(SessionStore, LoadRecordingsListsOnlyTakesInTextualOrder)
{
  TSessionManager store =
      StoreWith("Koor", {"Koor-10.wav", "Koor-2.wav", "koor-3.wav", "Koor-1.WAV", "KOOR-11.mp3",
                         "Koor-1.WAV.untrimmed", "Koor-1.WAV.triminfo", "notities.txt", "Koor-4"});
  ASSERT_TRUE(QDir().mkpath(FRoot + "/Koor/Koor-5.wav"));

  QStringList items;
  store.LoadRecordings(items);
  EXPECT_EQ(items,
            QStringList({"Koor-1.WAV", "Koor-10.wav", "KOOR-11.mp3", "Koor-2.wav", "koor-3.wav"}));
}

TEST_F(SessionStore, NextFileNameStartsAtOneAndCreatesNothing)
{
  TSessionManager store = StoreWith("Koor");
  EXPECT_EQ(store.NextFileName(".wav"),
            FRoot + QDir::separator() + "Koor" + QDir::separator() + "Koor-1.wav");
  EXPECT_TRUE(
      QDir(FRoot + "/Koor").isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden));
}

TEST_F(SessionStore, TakePathIsTheListedNameInTheSessionFolderLikeANewTake)
{
  TSessionManager store = StoreWith("Koor");
  EXPECT_EQ(store.TakePath("Koor-1.wav"), store.NextFileName(".wav"));
  store.SetRootPath(FRoot + "/"); // a trailing separator gives the same path
  EXPECT_EQ(store.TakePath("Koor-1.wav"), QString()) << "no session: no take";
  store.SelectSession("Koor");
  EXPECT_EQ(store.TakePath("Koor-1.wav"), store.NextFileName(".wav"));
  EXPECT_EQ(TSessionManager::TrimmedName(" \tKoor \r\n"), "Koor");
}

TEST_F(SessionStore, NextFileNameFollowsTheHighestNumberOfThatExtension)
{
  const auto next = [&](const QString &session, const QStringList &files, const QString &ext) {
    return QFileInfo(StoreWith(session, files).NextFileName(ext)).fileName();
  };
  EXPECT_EQ(next("A", {"A-2.wav", "A-x.wav", "A-.wav", "A-10.wav"}, ".wav"), "A-11.wav");
  EXPECT_EQ(next("B", {"B-1.wav", "B-3.wav"}, ".wav"), "B-4.wav");
  EXPECT_EQ(next("C", {"C-1.mp3", "C-2.mp3"}, ".wav"), "C-1.wav");
  EXPECT_EQ(next("D", {"D-1.mp3", "D-2.mp3", "D-7.wav"}, ".mp3"), "D-3.mp3");
  EXPECT_EQ(next("E", {"E-4.WAV", "e-6.Wav"}, ".wav"), "E-7.wav");
  // Neither other sessions' takes, companions nor folders count.
  EXPECT_EQ(next("Koor", {"Koorzang-5.wav", "Koor-8.wav.untrimmed"}, ".wav"), "Koor-1.wav");
  ASSERT_TRUE(QDir().mkpath(FRoot + "/Zang/Zang-9.wav"));
  TSessionManager store;
  store.SetRootPath(FRoot);
  store.SelectSession("Zang");
  EXPECT_EQ(QFileInfo(store.NextFileName(".wav")).fileName(), "Zang-1.wav");
}

// A name held by any entry that is no take is skipped, never handed out for a new
// take: a folder, a pipe, a link to nowhere or elsewhere, a name in other case.
TEST_F(SessionStore, NextFileNameSkipsNamesHeldByAnyEntry)
{
  TSessionManager store = StoreWith("Koor", {"Koor-1.wav"});
  const QString folder = FRoot + "/Koor/";
  const auto next = [&] { return QFileInfo(store.NextFileName(".wav")).fileName(); };
  ASSERT_TRUE(QDir().mkpath(folder + "Koor-2.wav"));
  EXPECT_EQ(next(), "Koor-3.wav");
#ifdef _WIN32
  // pipes and links are POSIX matters (QFile::link makes a shortcut here): folders
  for (const char *name : {"Koor-3.wav", "Koor-4.wav", "Koor-5.wav"})
    ASSERT_TRUE(QDir().mkpath(folder + name));
#else
  ASSERT_EQ(::mkfifo(QFile::encodeName(folder + "Koor-3.wav").constData(), 0644), 0);
  EXPECT_EQ(next(), "Koor-4.wav");
  ASSERT_TRUE(QFile::link(folder + "nergens.wav", folder + "Koor-4.wav"));
  EXPECT_EQ(next(), "Koor-5.wav");
  ASSERT_TRUE(QFile::link(folder + "Koor-1.wav", folder + "Koor-5.wav"));
#endif
  EXPECT_EQ(next(), "Koor-6.wav");
  Touch(folder + "KOOR-6.WAV.x"); // another name altogether
  ASSERT_TRUE(QDir().mkpath(folder + "kOOR-6.Wav"));
  EXPECT_EQ(next(), "Koor-7.wav");
  EXPECT_EQ(QFileInfo(store.NextFileName(".mp3")).fileName(), "Koor-1.mp3");
}

TEST_F(SessionStore, NextFileNameTakesBracketsInTheNameLiterally)
{
  // As a glob class "[1]" would match "Koor 1-9.wav".
  TSessionManager store = StoreWith("Koor [1]", {"Koor [1]-1.wav", "Koor 1-9.wav"});
  EXPECT_EQ(QFileInfo(store.NextFileName(".wav")).fileName(), "Koor [1]-2.wav");
}

TEST_F(SessionStore, NextFileNameReadsNumbersAsSigned32Bit)
{
  const auto next = [&](const QString &session, const QStringList &files) {
    return QFileInfo(StoreWith(session, files).NextFileName(".wav")).fileName();
  };
  EXPECT_EQ(next("A", {"A-007.wav"}), "A-8.wav");
  EXPECT_EQ(next("B", {"B-+5.wav"}), "B-6.wav");
  EXPECT_EQ(next("C", {"C--3.wav", "C-0.wav", "C- 4.wav", "C-4 .wav"}), "C-1.wav");
  EXPECT_EQ(next("D", {"D-2147483646.wav", "D-2147483648.wav", "D-99999999999.wav"}),
            "D-2147483647.wav");

  // No number is left after the largest one: refuse rather than reuse a name.
  TSessionManager full = StoreWith("E", {"E-2147483647.wav"});
  EXPECT_THROW(full.NextFileName(".wav"), EInvalidOperation);
}

TEST_F(SessionStore, NextFileNameNeedsASessionAndItsFolder)
{
  TSessionManager store;
  store.SetRootPath(FRoot);
  EXPECT_EQ(MessageOf<EInvalidOperation>([&] { store.NextFileName(".wav"); }),
            "Kies eerst een sessie.");

  store = StoreWith("Koor");
  ASSERT_TRUE(QDir(FRoot + "/Koor").removeRecursively());
  const std::string message = MessageOf<EFileError>([&] { store.NextFileName(".wav"); });
  EXPECT_NE(message.find((FRoot + QDir::separator() + "Koor").toStdString()), std::string::npos)
      << message;
}

TEST(FileNamePattern, OnlyTheStarIsSpecialAndCaseIsIgnored)
{
  EXPECT_FALSE(platform::MatchesWildcard("Koor-1.wav", "Koor?1.wav"));
  EXPECT_TRUE(platform::MatchesWildcard("Koor?1.wav", "Koor?1.wav"));
  EXPECT_TRUE(
      platform::MatchesWildcard(QStringLiteral("CAFÉ-1.wav"), QStringLiteral("café-*.wav")));
  EXPECT_TRUE(platform::MatchesWildcard("Koor-.wav", "Koor-*.wav"));
  EXPECT_TRUE(platform::MatchesWildcard("Koor-1.wav-2.wav", "Koor-*.wav"));
  EXPECT_FALSE(platform::MatchesWildcard("Koor-1.wa", "Koor-*.wav"));
  EXPECT_TRUE(platform::MatchesWildcard("abcbd", "a*b*d"));
  EXPECT_FALSE(platform::MatchesWildcard("abcbe", "a*b*d"));
}

TEST(FileNamePattern, CombinePathPutsExactlyOneSeparatorBetween)
{
  const QString sep = QDir::separator();
  EXPECT_EQ(platform::CombinePath("wortel", "Koor"), "wortel" + sep + "Koor");
  EXPECT_EQ(platform::CombinePath("wortel" + sep, "Koor"), "wortel" + sep + "Koor");
  EXPECT_EQ(platform::CombinePath("", "Koor"), "Koor");
}
