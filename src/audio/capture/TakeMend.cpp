#include "audio/TakeFiles.h"

#include "audio/WorkControl.h"

#include "audio/codec/TakeMarkers.h"
#include "audio/codec/WavCues.h"
#include "audio/codec/WavHeader.h"
#include "platform/FileClaim.h"
#include "platform/FileOps.h"

#include <algorithm>
#include <cctype>
#include <string>

namespace praatkist::audio {

namespace fs = std::filesystem;

namespace {

bool EndsWithWav(const fs::path &path)
{
  const std::u8string name = path.filename().u8string();
  if (name.size() < 4)
    return false;
  std::string tail(name.end() - 4, name.end());
  std::transform(tail.begin(), tail.end(), tail.begin(), [](char c) {
    return static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  });
  return tail == ".wav";
}

// The rate of a take with the writer's provisional header; 0 for any other file.
std::uint32_t ProvisionalRate(const fs::path &path)
{
  TWaveHeader head{};
  platform::TReadFile in(path);
  const std::size_t got = in.ReadAt(0, head.data(), head.size());
  TWaveLayout layout;
  if (got != head.size() || !ParseWaveLayout(head.data(), got, layout) ||
      layout.DataOffset != kWaveHeaderSize || layout.DataBytes != kProvisionalSize ||
      head[4] != 0xFF || head[5] != 0xFF || head[6] != 0xFF || head[7] != 0xFF)
    return 0;
  return layout.SampleRate;
}

} // namespace

int MendCrashedTakes(const fs::path &sessionFolder,
                     const std::function<void(const fs::path &)> &tell,
                     const TWorkControl *control) noexcept
{
  int mended = 0;
  std::error_code ec;
  fs::directory_iterator it(sessionFolder, fs::directory_options::skip_permission_denied, ec);
  for (; !ec && it != fs::directory_iterator(); it.increment(ec)) {
    if (control != nullptr && control->Cancelled())
      break;
    try {
      std::error_code kindError;
      if (!it->is_regular_file(kindError) || !EndsWithWav(it->path()))
        continue;
      const fs::path take = it->path();
      if (ProvisionalRate(take) == 0)
        continue;
      // A writer holds its take: then it is no crashed take.
      platform::TFileClaim claim;
      try {
        claim.Claim(take);
      } catch (...) {
        continue;
      }
      const std::uint32_t rate = ProvisionalRate(take); // as it is under the claim
      if (rate == 0)
        continue;
      RewriteWaveTail(take, ReadMarkers(take, rate));
      ++mended;
      claim.Release();
      if (tell)
        tell(take);
    } catch (...) {
      // left as it is: a take that cannot be mended is still readable
    }
  }
  if (mended > 0)
    platform::SyncFolderQuietly(sessionFolder);
  return mended;
}

} // namespace praatkist::audio
