#include "platform/ClaimedReplace.h"

#include "platform/Errors.h"

#include <chrono>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <random>
#include <system_error>
#include <thread>

namespace praatkist::platform {

namespace fs = std::filesystem;

namespace {

// How long a change waits for another program's change of the same file to end.
constexpr auto KLockPatience = std::chrono::seconds(5);

std::string Token()
{
  std::random_device random;
  char text[40];
  std::snprintf(text, sizeof text, "%08x%08x%08x%08x", random(), random(), random(), random());
  return text;
}

} // namespace

TClaimedReplace::TClaimedReplace(const fs::path &temp) : FPath(temp)
{
  const auto giveUp = std::chrono::steady_clock::now() + KLockPatience;
  for (int gone = 0;;) {
    try {
      FFile = std::make_unique<TWriteFile>(FPath);
      // Between the making and the claim another writer may take the file for one a
      // crash left, remove it and make its own under the name; the claim would then
      // hold that one while this change writes into the removed one. A token of this
      // change's own, read back under the name once claimed, tells.
      const std::string token = Token();
      FFile->Write(token.data(), token.size());
      FClaim.Claim(FPath);
      if (ReadBack() == token)
        return;
      FClaim.Release();
      FFile.reset();
      if (++gone > 50)
        RaiseFileError(std::make_error_code(std::errc::device_or_resource_busy), FPath);
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
      continue;
    } catch (const EFileError &) {
      FFile.reset();
      std::error_code ec;
      // One that a crash left is nobody's: taken away, and made anew.
      if (RemoveUnclaimedFile(FPath, ec))
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

TClaimedReplace::~TClaimedReplace()
{
  if (!FPlaced) {
    FFile.reset();
    DeleteFileQuietly(FPath);
  }
}

void TClaimedReplace::PlaceAs(const std::string &bytes, const fs::path &target)
{
  if (!FFile->TryTruncate(0))
    RaiseFileError(std::make_error_code(std::errc::io_error), FPath);
  FFile->Write(bytes.data(), bytes.size());
  FFile->Sync();
  FFile->Close();
  ReplaceFileOrRaise(FPath, target);
  FPlaced = true;
  SyncFolderOrRaise(target.parent_path());
}

std::string TClaimedReplace::ReadBack() const
{
  std::ifstream in(FPath, std::ios::binary);
  if (!in)
    return {};
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

} // namespace praatkist::platform
