// The MP3 encoder's own file: what it refuses to open, and a disk that is full.

#include "audio/AudioLayer.h"
#include "audio/codec/Mp3Encoder.h"
#include "support/TestFiles.h"

#include <gtest/gtest.h>

#include <vector>
#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

using namespace praatkist;
using namespace praatkist::audio;
using praatkist::test::TTempDir;
namespace fs = std::filesystem;

TEST(Mp3Encoder, FileThatCannotBeOpened)
{
  TTempDir dir;
  TMp3Encoder a, b;
  EXPECT_EQ(a.Open(dir / "no-such-folder" / "x.mp3", 48000, 2, 192), kErrCreate);
  EXPECT_EQ(b.Open(dir / "x.mp3", 48000, 2, 0), kErrIllegalParam);
  EXPECT_FALSE(fs::exists(dir / "x.mp3"));
}

// What stands in the file's place is neither followed nor written through: a link to
// another file, a pipe that has a reader.
TEST(Mp3Encoder, NeitherFollowsALinkNorWritesThroughAPipe)
{
#ifdef _WIN32
  GTEST_SKIP() << "symbolic links and named pipes in a folder are POSIX file kinds; on Windows "
                  "the encoder writes only into a regular file it opens itself";
#else
  TTempDir dir;
  test::WriteBytes(dir / "other.txt", "keep", 4);
  fs::create_symlink(dir / "other.txt", dir / "link.mp3");
  ASSERT_EQ(::mkfifo((dir / "pipe.mp3").c_str(), 0600), 0);
  const int reader = ::open((dir / "pipe.mp3").c_str(), O_RDONLY | O_NONBLOCK);
  for (const char *name : {"link.mp3", "pipe.mp3"}) {
    TMp3Encoder enc;
    EXPECT_EQ(enc.Open(dir / name, 48000, 2, 192), kErrCreate) << name;
  }
  ::close(reader);
  EXPECT_EQ(test::ReadBytes(dir / "other.txt"), (std::vector<std::uint8_t>{'k', 'e', 'e', 'p'}));
#endif
}

// A full disk: the encoder stops by itself and takes nothing more.
TEST(Mp3Encoder, OnAFullDiskStopsWithoutHarm)
{
#ifdef _WIN32
  GTEST_SKIP() << "no full disk to be had under wine: /dev/full is a device there, which the "
                  "encoder refuses as not a regular file";
#else
  TMp3Encoder enc;
  ASSERT_EQ(enc.Open("/dev/full", 48000, 1, 128), kErrOk);
  const std::vector<std::int16_t> second(48000, 4000);
  bool stopped = false;
  for (int i = 0; i < 5 && !stopped; ++i)
    stopped = !enc.Encode(second.data(), second.size() * 2);
  EXPECT_TRUE(stopped);
  EXPECT_FALSE(enc.Active());
  EXPECT_FALSE(enc.Encode(second.data(), second.size() * 2));
  EXPECT_FALSE(enc.Finish());
#endif
}
