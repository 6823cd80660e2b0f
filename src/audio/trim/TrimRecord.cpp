#include "audio/trim/TrimRecord.h"

#include "audio/TakeFiles.h"
#include "platform/NumberText.h"

#include <charconv>

namespace praatkist::audio {

namespace {

constexpr const char *kSection = "Trim";
constexpr const char *kStartKey = "StartSeconds";
constexpr const char *kEndKey = "EndSeconds";
// The trimmed take a record belongs to: its size in bytes and its modification time in
// nanoseconds since 1970. Records written before these keys existed have neither.
constexpr const char *kTakeSizeKey = "TakeSize";
constexpr const char *kTakeTimeKey = "TakeModified";

bool ParseWhole(const std::string &text, auto &value) noexcept
{
  const char *end = text.data() + text.size();
  const auto [ptr, ec] = std::from_chars(text.data(), end, value);
  return ec == std::errc() && ptr == end && !text.empty();
}

} // namespace

TTrimRecord::TTrimRecord(const std::filesystem::path &take) : FIni(TrimRecordPath(take)) {}

bool TTrimRecord::FitsTake(const std::filesystem::path &take) const
{
  const std::string size = FIni.ReadString(kSection, kTakeSizeKey, "");
  const std::string time = FIni.ReadString(kSection, kTakeTimeKey, "");
  if (size.empty() && time.empty())
    return true;
  std::uint64_t recordedSize = 0;
  std::int64_t recordedTime = 0;
  platform::TFileIdentity now;
  return ParseWhole(size, recordedSize) && ParseWhole(time, recordedTime) &&
         platform::GetFileIdentity(take, now) && now.Size == recordedSize &&
         now.ModifiedNs == recordedTime;
}

double TTrimRecord::StartSeconds() const
{
  return FIni.ReadFloat(kSection, kStartKey, 0.0);
}

double TTrimRecord::EndSeconds() const
{
  return FIni.ReadFloat(kSection, kEndKey, 0.0);
}

std::string TTrimRecord::TextAfterTrim(double start, double end,
                                       const platform::TFileIdentity &trimmed)
{
  const char separator = platform::UserDecimalSeparator();
  FIni.WriteFloat(kSection, kStartKey, start, separator);
  FIni.WriteFloat(kSection, kEndKey, end, separator);
  FIni.WriteString(kSection, kTakeSizeKey, std::to_string(trimmed.Size));
  FIni.WriteString(kSection, kTakeTimeKey, std::to_string(trimmed.ModifiedNs));
  return FIni.Text();
}

std::string TTrimRecord::TextNaming(const platform::TFileIdentity &take)
{
  FIni.WriteString(kSection, kTakeSizeKey, std::to_string(take.Size));
  FIni.WriteString(kSection, kTakeTimeKey, std::to_string(take.ModifiedNs));
  return FIni.Text();
}

double AsRecorded(double seconds)
{
  double value = seconds;
  const char separator = platform::UserDecimalSeparator();
  platform::ParseNumberText(platform::FormatNumberText(seconds, separator), value);
  return value;
}

} // namespace praatkist::audio
