// The rules of a take's files: a take goes with its backup and trim record, and the
// leftovers of trims are found anywhere under a root.

#include "audio/TakeFiles.h"
#include "platform/Errors.h"
#include "support/TestFiles.h"

#include <gtest/gtest.h>

#include <fstream>
#include <set>

namespace fs = std::filesystem;
using namespace praatkist;
using praatkist::test::TTempDir;

namespace {

void Touch(const fs::path &APath)
{
  fs::create_directories(APath.parent_path());
  std::ofstream(APath) << "x";
}

} // namespace

TEST(TakeFiles, TakeGoesWithItsCompanionsOnly)
{
  TTempDir dir;
  const fs::path take = dir / "Koor-1.wav";
  for (const auto &file :
       {take, audio::BackupPath(take), audio::TrimRecordPath(take), dir / "Koor-10.wav.untrimmed"})
    Touch(file);
  audio::DeleteTakeWithCompanions(take);
  EXPECT_FALSE(fs::exists(take));
  EXPECT_FALSE(fs::exists(audio::BackupPath(take)));
  EXPECT_FALSE(fs::exists(audio::TrimRecordPath(take)));
  EXPECT_TRUE(fs::exists(dir / "Koor-10.wav.untrimmed"));
}

TEST(TakeFiles, TakeInReadOnlyFolderStaysWithItsCompanions)
{
  if (test::IgnoresPermissions())
    GTEST_SKIP() << "permissions do not bind for root";
  TTempDir dir;
  const fs::path take = dir / "s" / "Koor-2.wav";
  Touch(take);
  Touch(audio::BackupPath(take));
  fs::permissions(take.parent_path(), fs::perms::owner_read | fs::perms::owner_exec);
  EXPECT_THROW(audio::DeleteTakeWithCompanions(take), EFileError);
  fs::permissions(take.parent_path(), fs::perms::owner_all);
  EXPECT_TRUE(fs::exists(take));
  EXPECT_TRUE(fs::exists(audio::BackupPath(take)));
}

TEST(TakeFiles, LeftoversAreFoundAtAnyDepthRecordsFirst)
{
  TTempDir dir;
  const fs::path root = dir / "root";
  Touch(root / "A" / "A-1.wav.untrimmed");
  Touch(root / "A" / "A-1.wav.triminfo");
  Touch(root / "B" / "deep" / "B-1.MP3.TRIMINFO");
  Touch(root / "B" / "B-2.wav.trimtmp");
  Touch(root / "B" / "B-2.wav");
  fs::create_directories(root / "C" / "map.triminfo"); // a folder is no leftover
  const auto found = audio::FindTrimLeftovers(root);
  ASSERT_EQ(found.size(), 4u);
  const std::set<fs::path> records{found[0], found[1]};
  EXPECT_EQ(records, (std::set<fs::path>{root / "A" / "A-1.wav.triminfo",
                                         root / "B" / "deep" / "B-1.MP3.TRIMINFO"}));
  EXPECT_EQ(found[2], root / "A" / "A-1.wav.untrimmed");
  EXPECT_EQ(found[3], root / "B" / "B-2.wav.trimtmp");
  EXPECT_TRUE(audio::FindTrimLeftovers(dir / "missing").empty());

  // Every file is tried; the ones that could not go are counted.
  auto withGone = found;
  withGone.insert(withGone.begin(), root / "A" / "gone.triminfo");
  EXPECT_EQ(audio::DeleteFilesCounted(withGone), 1);
  EXPECT_TRUE(audio::FindTrimLeftovers(root).empty());
  EXPECT_TRUE(fs::exists(root / "B" / "B-2.wav"));
}
