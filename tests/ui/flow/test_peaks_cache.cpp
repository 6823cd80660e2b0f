// The peaks cache on real files: a hit while the file is as it was, a miss once it
// changed on disk in any of the ways a take changes, and eviction of the least
// recently used entries at the bound.

#include <QElapsedTimer>
#include <QThread>
#include <QtTest>

#include <filesystem>
#include <fstream>
#include <string>

#include "support/TestFiles.h"
#include "ui/flow/PeaksCache.h"

using namespace praatkist::ui;
using praatkist::test::TTempDir;

namespace {

namespace fs = std::filesystem;

void Write(const fs::path &APath, const std::string &AText)
{
  std::ofstream(APath, std::ios::binary | std::ios::trunc) << AText;
}

TCachedPeaks Peaks(int APoints, std::int32_t AValue)
{
  TCachedPeaks p;
  p.Left.assign(static_cast<std::size_t>(APoints), AValue);
  p.Right.assign(static_cast<std::size_t>(APoints), AValue + 1);
  p.Duration = APoints / 10.0;
  p.Channels = 2;
  p.MaxPoints = 2000;
  return p;
}

// Stores peaks for the file as it is now.
void Keep(TPeaksCache &ACache, const fs::path &APath, TCachedPeaks APeaks)
{
  TFileStamp stamp;
  QVERIFY(TFileStamp::Of(APath, stamp));
  ACache.Store(APath, stamp, std::move(APeaks));
}

// Waits until the file system's clock has moved past APath's last change: a file
// written in the same tick as the stamp would otherwise carry the very same times on
// a kernel with coarse time stamps. False after 20 s.
bool ClockPast(const fs::path &APath)
{
  const fs::path probe = APath.parent_path() / "clock-probe";
  QElapsedTimer waited;
  waited.start();
  while (waited.elapsed() < 20000) {
    Write(probe, "tick");
    const bool past = fs::last_write_time(probe) > fs::last_write_time(APath);
    fs::remove(probe);
    if (past)
      return true;
    QThread::msleep(1);
  }
  return false;
}

bool Has(TPeaksCache &ACache, const fs::path &APath)
{
  TCachedPeaks found;
  return ACache.Find(APath, 2000, found);
}

} // namespace

class TestPeaksCache : public QObject {
  Q_OBJECT

private slots:
  void hitWhileUnchanged();
  void missOnceChanged_data();
  void missOnceChanged();
  void evictsLeastRecentlyUsed();
};

void TestPeaksCache::hitWhileUnchanged()
{
  TTempDir dir;
  const fs::path take = dir / "s-1.wav";
  Write(take, "take one");
  TPeaksCache cache;
  QVERIFY(!Has(cache, take));
  Keep(cache, take, Peaks(2000, 7));
  TCachedPeaks found;
  QVERIFY(cache.Find(take, 2000, found));
  QCOMPARE(found.Left, Peaks(2000, 7).Left);
  QCOMPARE(found.Right, Peaks(2000, 7).Right);
  QCOMPARE(found.Duration, 200.0);
  QCOMPARE(found.Channels, 2);
  // Peaks of another resolution are not these.
  QVERIFY(!cache.Find(take, 500, found));
  QCOMPARE(cache.Values(), std::size_t{4000});
}

void TestPeaksCache::missOnceChanged_data()
{
  QTest::addColumn<QString>("change");
  QTest::newRow("rewritten, same size, time set back") << "rewrite";
  QTest::newRow("replaced by a rename (trim, undo)") << "rename";
  QTest::newRow("grown") << "append";
  QTest::newRow("deleted") << "delete";
}

void TestPeaksCache::missOnceChanged()
{
  QFETCH(QString, change);
  TTempDir dir;
  const fs::path take = dir / "s-1.wav";
  Write(take, "take one");
  TPeaksCache cache;
  Keep(cache, take, Peaks(100, 1));
  QVERIFY(Has(cache, take));
  const auto modified = fs::last_write_time(take);
  QVERIFY(ClockPast(take));

  if (change == "rewrite") {
    Write(take, "take two");
    fs::last_write_time(take, modified);
  } else if (change == "rename") {
    Write(dir / "s-1.wav.trimtmp", "take one");
    fs::last_write_time(dir / "s-1.wav.trimtmp", modified);
    fs::rename(dir / "s-1.wav.trimtmp", take);
  } else if (change == "append") {
    std::ofstream(take, std::ios::binary | std::ios::app) << "more";
  } else {
    fs::remove(take);
  }
  QVERIFY(!Has(cache, take));
  QCOMPARE(cache.Count(), std::size_t{0});
  QCOMPARE(cache.Values(), std::size_t{0});
}

void TestPeaksCache::evictsLeastRecentlyUsed()
{
  TTempDir dir;
  const fs::path a = dir / "a.wav", b = dir / "b.wav", c = dir / "c.wav", d = dir / "d.wav";
  for (const auto &p : {a, b, c, d})
    Write(p, p.filename().string());
  // Room for three takes of 100 points per channel.
  TPeaksCache cache(600);
  Keep(cache, a, Peaks(100, 1));
  Keep(cache, b, Peaks(100, 2));
  Keep(cache, c, Peaks(100, 3));
  QCOMPARE(cache.Values(), std::size_t{600});
  QVERIFY(Has(cache, a)); // a is now used more recently than b
  Keep(cache, d, Peaks(100, 4));
  QVERIFY(!Has(cache, b));
  QVERIFY(Has(cache, a) && Has(cache, c) && Has(cache, d));
  QCOMPARE(cache.Values(), std::size_t{600});

  // A larger take pushes out as many as it needs, oldest first.
  Keep(cache, b, Peaks(200, 5));
  QCOMPARE(cache.Count(), std::size_t{2});
  QVERIFY(Has(cache, b) && Has(cache, d));
  // Storing a path again replaces its entry instead of adding one.
  Keep(cache, b, Peaks(150, 6));
  QCOMPARE(cache.Values(), std::size_t{500});
  // Peaks beyond the whole bound are not kept, and push nothing out.
  Keep(cache, a, Peaks(400, 7));
  QVERIFY(!Has(cache, a));
  QCOMPARE(cache.Count(), std::size_t{2});
}

QTEST_MAIN(TestPeaksCache)
#include "test_peaks_cache.moc"
