// The commands' keys in the settings file: section "Toetsen" read line by line, a line
// that cannot be used keeping its command's default, the rest of the file read as ever;
// and written back with only what differs from the defaults.

#include <QtTest>

#include <filesystem>
#include <string>

#include "platform/IniFile.h"
#include "support/TestFiles.h"
#include "ui/window/MainSettings.h"

using namespace praatkist;
using namespace praatkist::ui;

namespace {

namespace fs = std::filesystem;

// "Name=Key" for every command whose key is not its default, in the table's order.
QString Changed(const TCommandKeys &AKeys)
{
  QStringList changed;
  for (const TCommandInfo &info : CommandTable())
    if (!AKeys.IsDefault(info.Command))
      changed << QString::fromLatin1(info.Name) + QLatin1Char('=') +
                     AKeys.Key(info.Command).toString(QKeySequence::PortableText);
  return changed.join(QLatin1Char(' '));
}

std::string FileText(const fs::path &APath)
{
  const std::vector<std::uint8_t> bytes = test::ReadBytes(APath);
  return std::string(bytes.begin(), bytes.end());
}

} // namespace

class TestCommandKeys : public QObject {
  Q_OBJECT

private slots:
  void readsWhatItCanAndKeepsDefaultsElsewhere_data();
  void readsWhatItCanAndKeepsDefaultsElsewhere();
  void writesOnlyWhatDiffersFromTheDefaults_data();
  void writesOnlyWhatDiffersFromTheDefaults();
};

void TestCommandKeys::readsWhatItCanAndKeepsDefaultsElsewhere_data()
{
  QTest::addColumn<QString>("lines");
  QTest::addColumn<QString>("changed");
  QTest::newRow("none") << ""
                        << "";
  QTest::newRow("good") << "Opname=F9\r\nVolgende=PgDown\r\nPauze=Space\r\n"
                        << "Opname=F9 Volgende=PgDown Pauze=Space";
  QTest::newRow("spelled loosely") << "opname = ctrl+shift+f2\r\n"
                                   << "Opname=Ctrl+Shift+F2";
  // unknown text, empty, several chords, a modifier alone
  QTest::newRow("unreadable") << "Opname=Blah\r\nStoppen=\r\nAfspelen=Ctrl+A, Ctrl+B\r\n"
                                 "Volgende=Shift\r\nVorige=F4\r\n"
                              << "Vorige=F4";
  QTest::newRow("another's default") << "Opname=Ctrl+S\r\nAfspelen=F4\r\n"
                                     << "Afspelen=F4";
  QTest::newRow("one key twice") << "Opname=F9\r\nStoppen=F9\r\nAfspelen=F4\r\n"
                                 << "Afspelen=F4";
  // Opname and Stoppen lose F9, so Opname's Ctrl+R is back, which Afspelen then loses.
  QTest::newRow("a default back") << "Opname=F9\r\nStoppen=F9\r\nAfspelen=Ctrl+R\r\n"
                                  << "";
  QTest::newRow("swapped") << "Opname=Ctrl+S\r\nStoppen=Ctrl+R\r\n"
                           << "Opname=Ctrl+S Stoppen=Ctrl+R";
  QTest::newRow("unknown command") << "Onbekend=F9\r\nOpname=F9\r\n"
                                   << "Opname=F9";
}

// The section stands between two others, and each of them is still read.
void TestCommandKeys::readsWhatItCanAndKeepsDefaultsElsewhere()
{
  QFETCH(QString, lines);
  QFETCH(QString, changed);
  test::TTempDir dir;
  const std::string text = "[Opname]\r\nMono=1\r\n[Toetsen]\r\n" + lines.toStdString() +
                           "[Export]\r\nBestandsformaat=flac\r\n";
  test::WriteBytes(dir / "Praatkist.ini", text.data(), text.size());
  const TMainSettings read = TMainSettings::Load(platform::TIniFile(dir / "Praatkist.ini"));
  QCOMPARE(Changed(read.Keys), changed);
  QVERIFY(read.Mono);
  QCOMPARE(read.Export.Flac, std::optional<bool>(true));
}

void TestCommandKeys::writesOnlyWhatDiffersFromTheDefaults_data()
{
  QTest::addColumn<QString>("before"); // the file's section "Toetsen"
  QTest::addColumn<QString>("record"); // the key given to Opname
  QTest::addColumn<QString>("after");
  QTest::newRow("defaults, none stored") << ""
                                         << "Ctrl+R"
                                         << "";
  QTest::newRow("a key of the user's") << ""
                                       << "F9"
                                       << "[Toetsen]\r\nOpname=F9\r\n";
  QTest::newRow("back to the default") << "[Toetsen]\r\nOpname=F9\r\nStoppen=F4\r\n"
                                       << "Ctrl+R"
                                       << "[Toetsen]\r\nOpname=Ctrl+R\r\nStoppen=F4\r\n";
}

void TestCommandKeys::writesOnlyWhatDiffersFromTheDefaults()
{
  QFETCH(QString, before);
  QFETCH(QString, record);
  QFETCH(QString, after);
  test::TTempDir dir;
  const fs::path file = dir / "Praatkist.ini";
  const std::string text = "[Sessies]\r\nHoofdmap=x\r\n" + before.toStdString();
  test::WriteBytes(file, text.data(), text.size());
  platform::TIniFile ini(file);
  TMainSettings settings = TMainSettings::Load(ini);
  std::vector<QKeySequence> keys;
  for (const TCommandInfo &info : CommandTable())
    keys.push_back(settings.Keys.Key(info.Command));
  keys[static_cast<std::size_t>(TCommand::Record)] = QKeySequence(record);
  settings.Keys = TCommandKeys::Of(keys).value();
  settings.Root = QStringLiteral("x");
  settings.Save(ini, false, QStringLiteral("Praatkist.ini"));
  QCOMPARE(QString::fromStdString(FileText(file)),
           QStringLiteral("[Sessies]\r\nHoofdmap=x\r\n") + after);
}

QTEST_GUILESS_MAIN(TestCommandKeys)
#include "test_command_keys.moc"
