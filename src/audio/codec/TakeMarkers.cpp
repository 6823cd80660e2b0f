#include "audio/codec/TakeMarkers.h"

#include "audio/TakeFiles.h"
#include "platform/Errors.h"
#include "platform/FileClaim.h"
#include "platform/FileOps.h"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace praatkist::audio {

namespace {

std::string SecondsText(std::uint64_t frame, std::uint32_t rate)
{
  const double seconds = rate == 0 ? 0.0 : static_cast<double>(frame) / rate;
  char text[64];
  // to_chars writes the dot whatever the locale says
  const auto done = std::to_chars(text, text + sizeof text, seconds, std::chars_format::fixed, 6);
  return std::string(text, done.ptr);
}

// The start time of a label line, or a negative value when the line is none.
double LineSeconds(std::string_view line)
{
  const std::size_t tab = line.find('\t');
  if (tab == std::string_view::npos)
    return -1.0;
  double seconds = -1.0;
  const auto done = std::from_chars(line.data(), line.data() + tab, seconds);
  if (done.ec != std::errc() || done.ptr != line.data() + tab || !std::isfinite(seconds))
    return -1.0;
  return seconds;
}

template <class TEach> void EachLine(std::string_view text, TEach each)
{
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    if (!line.empty() && line.back() == '\r')
      line.remove_suffix(1);
    each(line);
    if (end == std::string_view::npos)
      break;
    text.remove_prefix(end + 1);
  }
}

} // namespace

std::string MarkerName(std::size_t number)
{
  return "Markering " + std::to_string(number);
}

std::string LabelLine(std::uint64_t frame, std::uint32_t rate, std::size_t number)
{
  const std::string at = SecondsText(frame, rate);
  return at + '\t' + at + '\t' + MarkerName(number) + '\n';
}

std::string LabelText(const TMarkers &markers, std::uint32_t rate)
{
  std::string text;
  for (std::size_t i = 0; i < markers.size(); ++i)
    text += LabelLine(markers[i], rate, i + 1);
  return text;
}

std::vector<double> ParseLabelSeconds(std::string_view text)
{
  std::vector<double> seconds;
  EachLine(text, [&](std::string_view line) {
    const double at = LineSeconds(line);
    if (at >= 0.0)
      seconds.push_back(at);
  });
  std::sort(seconds.begin(), seconds.end());
  return seconds;
}

TMarkers ParseLabels(std::string_view text, std::uint32_t rate)
{
  TMarkers markers;
  for (const double at : ParseLabelSeconds(text))
    markers.push_back(static_cast<std::uint64_t>(std::llround(at * rate)));
  return markers;
}

std::string ReadLabelFile(const std::filesystem::path &take)
{
  return ReadLabelText(MarkersPath(take));
}

std::vector<double> ReadMarkerSeconds(const std::filesystem::path &take)
{
  return ParseLabelSeconds(ReadLabelFile(take));
}

std::string ReadLabelText(const std::filesystem::path &path)
{
  if (!platform::FileExists(path))
    return {};
  try {
    platform::TReadFile file(path);
    // a label file holds a few lines; anything far larger is not one of ours
    const std::uint64_t size = std::min<std::uint64_t>(file.Size(), 16u << 20);
    std::string text(static_cast<std::size_t>(size), '\0');
    text.resize(file.ReadAt(0, text.data(), text.size()));
    return text;
  } catch (const std::exception &) {
    return {};
  }
}

void ReplaceTextFile(const std::filesystem::path &path, const std::string &text)
{
  std::filesystem::path temp = path;
  temp += kTrimTempSuffix;
  std::error_code ec;
  if (platform::FileExists(temp) && !platform::RemoveUnclaimedFile(temp, ec))
    platform::RaiseFileError(ec, temp);
  platform::TFileClaim claim;
  try {
    platform::TWriteFile out(temp);
    claim.Claim(temp);
    out.Write(text.data(), text.size());
    out.Sync();
    out.Close();
    platform::ReplaceFileOrRaise(temp, path);
  } catch (...) {
    if (claim.Held())
      platform::DeleteFileQuietly(temp);
    throw;
  }
}

TMarkers ReadMarkers(const std::filesystem::path &take, std::uint32_t rate)
{
  return ParseLabels(ReadLabelFile(take), rate);
}

void WriteMarkers(const std::filesystem::path &take, const TMarkers &markers, std::uint32_t rate)
{
  const std::filesystem::path path = MarkersPath(take);
  if (markers.empty()) {
    if (platform::FileExists(path))
      platform::DeleteFileOrRaise(path);
    return;
  }
  ReplaceTextFile(path, LabelText(markers, rate));
}

std::size_t InsertMarker(TMarkers &markers, std::uint64_t frame)
{
  const auto at = std::upper_bound(markers.begin(), markers.end(), frame);
  const auto index = static_cast<std::size_t>(at - markers.begin());
  markers.insert(at, frame);
  return index + 1;
}

TMarkers ShiftMarkers(const TMarkers &markers, std::uint64_t start, std::uint64_t end)
{
  TMarkers shifted;
  const std::uint64_t last = end > start ? end - start : 0; // the kept stretch's end
  for (const std::uint64_t frame : markers) {
    if (frame <= start)
      shifted.push_back(0);
    else
      shifted.push_back(std::min(frame - start, last));
  }
  return shifted;
}

} // namespace praatkist::audio
