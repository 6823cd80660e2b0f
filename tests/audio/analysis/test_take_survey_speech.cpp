// The figures of a session's takes kept in cijfers.tsv: measured once, measured again
// whenever a take changed (a trim, its undo, a take replaced from outside), dropped
// with a deleted take, and the old file still whole after a crash while it is rewritten.

#include "audio/BassRecorder.h"
#include "platform/FileOps.h"
#include "support/ScriptedAudioLayer.h"
#include "support/TestFiles.h"
#include "support/TestSpeech.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <mutex>

using namespace praatkist;
namespace fs = std::filesystem;

namespace {

std::string ReadText(const fs::path &file)
{
  const std::vector<std::uint8_t> bytes = test::ReadBytes(file);
  return std::string(bytes.begin(), bytes.end());
}

class TakeSurvey : public ::testing::Test {
protected:
  test::TScriptedAudioLayer Layer;
  TBassRecorder Engine{Layer};
  test::TTempDir Dir;

  // The takes measured (not taken from the file) by one survey of Names, and what it found.
  std::vector<std::string> Measured;
  std::vector<audio::TSurveyedTake> Survey(const std::vector<std::string> &names)
  {
    Measured.clear();
    std::mutex lock;
    return Engine.SurveyTakes(Dir.Path(), names, nullptr,
                              [&](std::size_t i, const audio::TSurveyedTake &) {
                                std::lock_guard<std::mutex> hold(lock);
                                Measured.push_back(names[i]);
                              });
  }
  std::size_t Lines() const
  {
    return audio::figure_store::Parse(ReadText(Dir.Path() / "cijfers.tsv")).size();
  }
};

TEST_F(TakeSurvey, AChangedTakeIsMeasuredAgainAndAGoneOneDropped)
{
  test::WriteSpeech(Dir.Path() / "Koor-1.wav", {});
  test::TSpeechTake other;
  other.Text = "Het regent in Rotterdam.";
  test::WriteSpeech(Dir.Path() / "Koor-2.wav", other);
  const std::vector<std::string> both = {"Koor-1.wav", "Koor-2.wav"};

  // A take's own analysis makes no file for a session that never asked for figures.
  audio::figure_store::Keep(Dir.Path(), {"Koor-1.wav", {}, 1.0, {}});
  EXPECT_FALSE(fs::exists(Dir.Path() / "cijfers.tsv"));
  const auto first = Survey(both);
  EXPECT_EQ(Measured.size(), 2u);
  ASSERT_TRUE(first[0].Stored.Figures.Measured && first[0].Stored.Figures.HasSpeech);
  EXPECT_EQ(Lines(), 2u);
  // Once measured, read: the same figures, nothing decoded.
  EXPECT_EQ(Survey(both)[0].Stored, first[0].Stored);
  EXPECT_TRUE(Measured.empty());

  // A trim, then its undo: each time the take is measured again.
  ASSERT_TRUE(Engine.TrimSilence(Dir.Path() / "Koor-1.wav", rfWave, 128).Trimmed);
  auto now = Survey(both);
  EXPECT_EQ(Measured, std::vector<std::string>{"Koor-1.wav"});
  EXPECT_LT(now[0].Stored.Seconds, first[0].Stored.Seconds - 0.5);
  ASSERT_TRUE(Engine.UndoTrim(Dir.Path() / "Koor-1.wav"));
  // where it has the file, the take's own analysis puts its line in
  const auto key = audio::FileKeyOf(Dir.Path() / "Koor-1.wav");
  const TWaveAnalysis wave = Engine.AnalyzeFile(Dir.Path() / "Koor-1.wav", 100, nullptr, true);
  audio::figure_store::Keep(Dir.Path(), {"Koor-1.wav", *key, wave.Duration, wave.Figures});
  now = Survey(both);
  EXPECT_TRUE(Measured.empty());
  EXPECT_EQ(now[0].Stored.Figures, first[0].Stored.Figures);

  // Replaced from outside by a take of another length.
  other.LeadSeconds = 1.5;
  test::WriteSpeech(Dir.Path() / "Koor-2.wav", other);
  now = Survey(both);
  EXPECT_EQ(Measured, std::vector<std::string>{"Koor-2.wav"});
  EXPECT_NEAR(now[1].Stored.Seconds, first[1].Stored.Seconds + 0.8, 0.01);

  // Deleted: its line goes at the next write.
  fs::remove(Dir.Path() / "Koor-1.wav");
  test::WriteSpeech(Dir.Path() / "Koor-3.wav", other);
  Survey({"Koor-2.wav", "Koor-3.wav"});
  const auto lines = audio::figure_store::Parse(ReadText(Dir.Path() / "cijfers.tsv"));
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0].Take, "Koor-2.wav");
  EXPECT_EQ(lines[1].Take, "Koor-3.wav");
}

int CrashAtRename(const char *step, const fs::path &)
{
  if (std::strcmp(step, "rename") == 0)
    ::_exit(9);
  return 0;
}

TEST_F(TakeSurvey, ACrashWhileTheFileIsRewrittenLeavesTheOldOneWhole)
{
  test::WriteSpeech(Dir.Path() / "Koor-1.wav", {});
  test::WriteSpeech(Dir.Path() / "Koor-2.wav", {});
  Survey({"Koor-1.wav"});
  const std::string before = ReadText(Dir.Path() / "cijfers.tsv");
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    platform::SetFileFaultHook(&CrashAtRename);
    Survey({"Koor-1.wav", "Koor-2.wav"});
    ::_exit(0);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  ASSERT_EQ(WEXITSTATUS(status), 9); // it died with its new file written, not yet in place
  EXPECT_EQ(ReadText(Dir.Path() / "cijfers.tsv"), before);
  // The next survey takes the dead writer's file over and puts both lines in place.
  Survey({"Koor-1.wav", "Koor-2.wav"});
  EXPECT_EQ(Measured, std::vector<std::string>{"Koor-2.wav"});
  EXPECT_EQ(Lines(), 2u);
  EXPECT_FALSE(fs::exists(Dir.Path() / "cijfers.tsv.tmp"));
}

} // namespace
