#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include <gtest/gtest.h>

#include "platform/Errors.h"
#include "platform/IniFile.h"
#include "support/TestFiles.h"
#include "support/TestTakes.h"

using praatkist::EFileError;
using praatkist::EInvalidArgument;
using praatkist::platform::TIniFile;
using praatkist::test::TrimRecordText;
using praatkist::test::TTempDir;
namespace fs = std::filesystem;

namespace {

void WriteText(const fs::path &path, const std::string &text)
{
  std::ofstream(path, std::ios::binary) << text;
}

std::string ReadText(const fs::path &path)
{
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

int CountEntries(const fs::path &folder)
{
  int count = 0;
  for ([[maybe_unused]] const auto &entry : fs::directory_iterator(folder))
    ++count;
  return count;
}

} // namespace

// A trim record as the trimming writes it into a folder without one.
TEST(IniFile, WritesANewTrimRecordWithCrLfLines)
{
  TTempDir dir;
  const fs::path path = dir / "Interview-3.wav.triminfo";
  TIniFile ini(path);
  ini.WriteFloat("Trim", "StartSeconds", 1.25, ',');
  ini.WriteFloat("Trim", "EndSeconds", 3.0 / 48000, ',');
  EXPECT_FALSE(fs::exists(path)) << "nothing is written before UpdateFile";
  ini.UpdateFile();
  EXPECT_EQ(ReadText(path), TrimRecordText("1,25", "6,25E-5"));

  const TIniFile back(path);
  EXPECT_EQ(back.ReadFloat("Trim", "StartSeconds", -1), 1.25);
  EXPECT_EQ(back.ReadFloat("Trim", "EndSeconds", -1), 6.25e-5);
  EXPECT_EQ(CountEntries(dir.Path()), 1) << "no temporary file is left beside the record";
}

TEST(IniFile, FindsNamesWithoutRegardToCaseAndReadsLfLinesAndBlanks)
{
  TTempDir dir;
  WriteText(dir / "a.ini", "[Trim]\nStartSeconds=1.25\n  EndSeconds =\t0,5 \n"
                           "[Opname]\nGeluidsingang= Microfoon (USB) \n[ÉÉN]\nSLEUTEL=x\n");
  const TIniFile ini(dir / "a.ini");
  EXPECT_EQ(ini.ReadFloat("trim", "startseconds", 0), 1.25);
  EXPECT_EQ(ini.ReadFloat("TRIM", "ENDSECONDS", 0), 0.5);
  EXPECT_EQ(ini.ReadString("opname", "geluidsingang", ""), "Microfoon (USB)");
  EXPECT_EQ(ini.ReadString("één", "sleutel", ""), "x");
  EXPECT_EQ(ini.ReadString("Trim", "Geluidsingang", "geen"), "geen")
      << "keys belong to their section";
}

// Everything the program does not write stays where it was; the written values land in
// place, after the last key of their section, or in a new section at the end.
TEST(IniFile, KeepsOtherContentAndPlacesWrittenValues)
{
  TTempDir dir;
  const fs::path path = dir / "Praatkist.ini";
  WriteText(path, "; instellingen\n"
                  "[Sessies]\n"
                  "Hoofdmap=/oud\n"
                  "\n"
                  "[Opname]\n"
                  "  formaat = 0\n"
                  "; na formaat\n"
                  "Mono=0\n"
                  "regel zonder gelijkteken\n"
                  "\n"
                  "[Anders]\n"
                  "Sleutel=blijft\n");
  TIniFile ini(path);
  ini.WriteInteger("OPNAME", "Formaat", 1);
  ini.WriteBool("Opname", "StiltesTrimmen", true);
  ini.WriteString("Sessies", "hoofdmap", "/nieuw");
  ini.WriteString("Venster", "Links", "10");
  ini.UpdateFile();
  EXPECT_EQ(ReadText(path), "; instellingen\r\n"
                            "[Sessies]\r\n"
                            "Hoofdmap=/nieuw\r\n"
                            "\r\n"
                            "[Opname]\r\n"
                            "  formaat = 1\r\n"
                            "; na formaat\r\n"
                            "Mono=0\r\n"
                            "StiltesTrimmen=1\r\n"
                            "regel zonder gelijkteken\r\n"
                            "\r\n"
                            "[Anders]\r\n"
                            "Sleutel=blijft\r\n"
                            "[Venster]\r\n"
                            "Links=10\r\n");
}

TEST(IniFile, RecordWithOnlyStartSecondsGetsItsEndAppended)
{
  TTempDir dir;
  const fs::path path = dir / "t.wav.triminfo";
  WriteText(path, TrimRecordText("0,75"));
  TIniFile ini(path);
  EXPECT_EQ(ini.ReadFloat("Trim", "StartSeconds", 0), 0.75);
  EXPECT_EQ(ini.ReadFloat("Trim", "EndSeconds", 0), 0);
  ini.WriteFloat("Trim", "StartSeconds", 0.5, '.');
  ini.WriteFloat("Trim", "EndSeconds", 2, '.');
  ini.UpdateFile();
  EXPECT_EQ(ReadText(path), TrimRecordText("0.5", "2"));
}

TEST(IniFile, MissingFileAndBadValuesReadAsDefaults)
{
  TTempDir dir;
  {
    const TIniFile missing(dir / "nergens.ini");
    EXPECT_EQ(missing.ReadString("Opname", "Samplerate", "48000"), "48000");
    EXPECT_EQ(missing.ReadInteger("Opname", "Formaat", 3), 3);
    EXPECT_TRUE(missing.ReadBool("Opname", "Mono", true));
    EXPECT_EQ(missing.ReadFloat("Trim", "StartSeconds", 0.25), 0.25);
  }
  EXPECT_FALSE(fs::exists(dir / "nergens.ini")) << "reading and destroying write nothing";

  WriteText(dir / "b.ini", "[S]\nleeg=\nwoord=twee\nkomma=1,5\nbreuk=1.5\nrest=12abc\n"
                           "groot=2147483648\nklein=-2147483649\nmax=2147483647\n"
                           "min=-2147483648\nplus=+7\ntwee=2\nmin1=-1\nnul=00\nlang=99999999999\n");
  const TIniFile ini(dir / "b.ini");
  for (const char *key : {"leeg", "woord", "komma", "breuk", "rest", "groot", "klein", "ontbreekt"})
    EXPECT_EQ(ini.ReadInteger("S", key, -5), -5) << key;
  EXPECT_EQ(ini.ReadInteger("S", "max", 0), 2147483647);
  EXPECT_EQ(ini.ReadInteger("S", "min", 0), -2147483647 - 1);
  EXPECT_EQ(ini.ReadInteger("S", "plus", 0), 7);
  for (const char *key : {"leeg", "woord", "komma", "rest"}) {
    EXPECT_TRUE(ini.ReadBool("S", key, true)) << key;
    EXPECT_FALSE(ini.ReadBool("S", key, false)) << key;
  }
  for (const char *key : {"twee", "min1", "lang", "plus"})
    EXPECT_TRUE(ini.ReadBool("S", key, false)) << key;
  EXPECT_FALSE(ini.ReadBool("S", "nul", true));
  EXPECT_EQ(ini.ReadFloat("S", "woord", 9), 9);
  EXPECT_EQ(ini.ReadFloat("S", "leeg", 9), 9);
  EXPECT_EQ(ini.ReadFloat("S", "rest", 9), 9);
  EXPECT_EQ(ini.ReadFloat("S", "komma", 9), 1.5);
  EXPECT_EQ(ini.ReadFloat("S", "breuk", 9), 1.5);
}

TEST(IniFile, IntegersAndBooleansAsTheSettingsFileWritesThem)
{
  TTempDir dir;
  TIniFile ini(dir / "c.ini");
  ini.WriteBool("Opname", "Mono", true);
  ini.WriteBool("Opname", "StiltesTrimmen", false);
  ini.WriteInteger("Opname", "BitrateIndex", -3);
  ini.UpdateFile();
  EXPECT_EQ(ReadText(dir / "c.ini"),
            "[Opname]\r\nMono=1\r\nStiltesTrimmen=0\r\nBitrateIndex=-3\r\n");
  const TIniFile back(dir / "c.ini");
  EXPECT_TRUE(back.ReadBool("Opname", "Mono", false));
  EXPECT_FALSE(back.ReadBool("Opname", "StiltesTrimmen", true));
  EXPECT_EQ(back.ReadInteger("Opname", "BitrateIndex", 0), -3);
}

// The first section of a name and the first line of a key count, for reading and writing.
TEST(IniFile, DuplicatesFirstOneCounts)
{
  TTempDir dir;
  const fs::path path = dir / "d.ini";
  WriteText(path, "[A]\nk=1\nk=2\n[a]\nk=3\nj=4\n");
  TIniFile ini(path);
  EXPECT_EQ(ini.ReadInteger("A", "k", 0), 1);
  EXPECT_EQ(ini.ReadInteger("A", "j", 0), 0);
  ini.WriteInteger("a", "K", 5);
  ini.WriteInteger("a", "j", 6);
  ini.UpdateFile();
  EXPECT_EQ(ReadText(path), "[A]\r\nk=5\r\nk=2\r\nj=6\r\n[a]\r\nk=3\r\nj=4\r\n");
}

TEST(IniFile, RefusesNamesAndValuesThatCouldNotBeReadBack)
{
  TTempDir dir;
  TIniFile ini(dir / "e.ini");
  EXPECT_THROW(ini.WriteString("", "k", "v"), EInvalidArgument);
  EXPECT_THROW(ini.WriteString("S", " ", "v"), EInvalidArgument);
  EXPECT_THROW(ini.WriteString("S]", "k", "v"), EInvalidArgument);
  EXPECT_THROW(ini.WriteString("S", "a=b", "v"), EInvalidArgument);
  EXPECT_THROW(ini.WriteString("S", ";k", "v"), EInvalidArgument);
  EXPECT_THROW(ini.WriteString("S", "k", "twee\nregels"), EInvalidArgument);
  ini.UpdateFile();
  EXPECT_EQ(ReadText(dir / "e.ini"), "") << "refused writes change nothing";
}

TEST(IniFile, KeepsAByteOrderMark)
{
  TTempDir dir;
  WriteText(dir / "f.ini", "\xEF\xBB\xBF[Trim]\nStartSeconds=1\n");
  TIniFile ini(dir / "f.ini");
  EXPECT_EQ(ini.ReadInteger("Trim", "StartSeconds", 0), 1);
  ini.WriteInteger("Trim", "StartSeconds", 2);
  ini.UpdateFile();
  EXPECT_EQ(ReadText(dir / "f.ini"), "\xEF\xBB\xBF" + TrimRecordText("2"));
}

TEST(IniFile, UnwritableLocationRaisesAndLeavesTheFileIntact)
{
  TTempDir dir;
  // A folder that is really a file.
  WriteText(dir / "bestand", "x");
  TIniFile inFile(dir / "bestand" / "a.ini");
  inFile.WriteInteger("S", "k", 1);
  try {
    inFile.UpdateFile();
    ADD_FAILURE() << "no exception";
  } catch (const EFileError &e) {
    EXPECT_NE(std::string(e.what()).find((dir / "bestand" / "a.ini").string()), std::string::npos)
        << e.what();
  }

  // A folder standing where the file should be: the rename fails after the temporary
  // file was written; that file goes again and the folder keeps its content.
  fs::create_directory(dir / "map.ini");
  WriteText(dir / "map.ini" / "binnen", "blijft");
  TIniFile onFolder(dir / "map.ini");
  EXPECT_EQ(onFolder.ReadInteger("S", "k", 7), 7) << "a folder reads as an empty profile";
  onFolder.WriteInteger("S", "k", 1);
  EXPECT_THROW(onFolder.UpdateFile(), EFileError);
  EXPECT_EQ(ReadText(dir / "map.ini" / "binnen"), "blijft");
  EXPECT_EQ(CountEntries(dir.Path()), 2) << "a temporary file was left behind";
}

TEST(IniFile, ReadOnlyFolderRaisesAndLeavesTheFileIntact)
{
  if (praatkist::test::IgnoresPermissions())
    GTEST_SKIP() << "root writes into read-only folders";
  TTempDir dir;
  const fs::path locked = dir / "dicht";
  fs::create_directory(locked);
  WriteText(locked / "a.ini", "[S]\r\nk=oud\r\n");
  fs::permissions(locked, fs::perms::owner_read | fs::perms::owner_exec);
  TIniFile ini(locked / "a.ini");
  ini.WriteString("S", "k", "nieuw");
  EXPECT_THROW(ini.UpdateFile(), EFileError);
  fs::permissions(locked, fs::perms::owner_all);
  EXPECT_EQ(ReadText(locked / "a.ini"), "[S]\r\nk=oud\r\n");
}
