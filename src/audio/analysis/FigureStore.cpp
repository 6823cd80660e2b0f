#include "audio/analysis/FigureStore.h"

#include "platform/ClaimedReplace.h"

#include <charconv>
#include <chrono>
#include <fstream>
#include <iterator>
#include <map>
#include <system_error>

namespace praatkist::audio {

namespace fs = std::filesystem;

namespace {

const std::string kHeader = "opname\tgrootte\tgewijzigd_ns\tseconden\tluidheid_lufs\trms_db"
                            "\tpiek_db\truisvloer_db\tgeclipt\tspraak_begin\tspraak_eind"
                            "\tspraak_rms_db";
constexpr std::size_t kFields = 12;

// Shortest text that reads back as the same double ("-inf" for silence).
void PutNumber(std::string &out, double value)
{
  char text[32];
  const auto done = std::to_chars(text, text + sizeof text, value);
  out.append(text, done.ptr);
}

template <typename T> bool GetNumber(std::string_view text, T &value)
{
  if (text.empty())
    return false;
  const auto done = std::from_chars(text.data(), text.data() + text.size(), value);
  return done.ec == std::errc() && done.ptr == text.data() + text.size();
}

std::vector<std::string_view> Split(std::string_view line)
{
  std::vector<std::string_view> fields;
  for (std::size_t from = 0;;) {
    const std::size_t tab = line.find('\t', from);
    fields.push_back(line.substr(from, tab == std::string_view::npos ? tab : tab - from));
    if (tab == std::string_view::npos)
      return fields;
    from = tab + 1;
  }
}

bool ParseLine(std::string_view line, TStoredFigures &s)
{
  const std::vector<std::string_view> f = Split(line);
  if (f.size() < kFields || f[0].empty())
    return false;
  s.Take = std::string(f[0]);
  TTakeFigures &g = s.Figures;
  g.Measured = true;
  if (!GetNumber(f[1], s.Key.Size) || !GetNumber(f[2], s.Key.ModifiedNs) ||
      !GetNumber(f[3], s.Seconds) || !GetNumber(f[4], g.LoudnessLufs) ||
      !GetNumber(f[5], g.RmsDb) || !GetNumber(f[6], g.PeakDb) ||
      !GetNumber(f[7], g.NoiseFloorDb) || !GetNumber(f[8], g.ClippedSamples))
    return false;
  g.HasSpeech = !f[9].empty();
  if (g.HasSpeech && (!GetNumber(f[9], g.SpeechStartSeconds) ||
                      !GetNumber(f[10], g.SpeechEndSeconds) || !GetNumber(f[11], g.SpeechRmsDb)))
    return false;
  return true;
}

std::string ReadWhole(const fs::path &file)
{
  std::ifstream in(file, std::ios::binary);
  if (!in)
    return {};
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool StillCurrent(const fs::path &folder, const TStoredFigures &s)
{
  const std::optional<TFileKey> key = FileKeyOf(folder / fs::u8path(s.Take));
  return key && *key == s.Key;
}

} // namespace

std::optional<TFileKey> FileKeyOf(const fs::path &path)
{
  std::error_code ec;
  const fs::file_status status = fs::status(path, ec);
  if (ec || !fs::is_regular_file(status))
    return std::nullopt;
  TFileKey key;
  key.Size = fs::file_size(path, ec);
  if (ec)
    return std::nullopt;
  const fs::file_time_type when = fs::last_write_time(path, ec);
  if (ec)
    return std::nullopt;
  key.ModifiedNs = std::chrono::duration_cast<std::chrono::nanoseconds>(when.time_since_epoch()).count();
  return key;
}

namespace figure_store {

std::string Serialize(const std::vector<TStoredFigures> &lines)
{
  std::string out = kHeader + '\n';
  out.reserve(lines.size() * 120 + out.size());
  for (const TStoredFigures &s : lines) {
    const TTakeFigures &g = s.Figures;
    out += s.Take;
    out += '\t';
    out += std::to_string(s.Key.Size);
    out += '\t';
    out += std::to_string(s.Key.ModifiedNs);
    for (const double v : {s.Seconds, g.LoudnessLufs, g.RmsDb, g.PeakDb, g.NoiseFloorDb}) {
      out += '\t';
      PutNumber(out, v);
    }
    out += '\t';
    out += std::to_string(g.ClippedSamples);
    out += '\t';
    if (g.HasSpeech) {
      PutNumber(out, g.SpeechStartSeconds);
      out += '\t';
      PutNumber(out, g.SpeechEndSeconds);
      out += '\t';
      PutNumber(out, g.SpeechRmsDb);
    } else {
      out += "\t\t"; // the three speech fields empty
    }
    out += '\n';
  }
  return out;
}

std::vector<TStoredFigures> Parse(const std::string &bytes)
{
  std::vector<TStoredFigures> lines;
  std::map<std::string, std::size_t, std::less<>> at;
  std::string_view rest(bytes);
  for (bool first = true; !rest.empty(); first = false) {
    const std::size_t end = rest.find('\n');
    std::string_view line = rest.substr(0, end);
    rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
    if (!line.empty() && line.back() == '\r')
      line.remove_suffix(1);
    if (line.empty() || (first && line == kHeader))
      continue;
    TStoredFigures s;
    if (!ParseLine(line, s))
      continue;
    if (const auto found = at.find(s.Take); found != at.end()) {
      lines[found->second] = std::move(s);
    } else {
      at.emplace(s.Take, lines.size());
      lines.push_back(std::move(s));
    }
  }
  return lines;
}

std::vector<TStoredFigures> ReadCurrent(const fs::path &folder)
{
  std::vector<TStoredFigures> lines = Parse(ReadWhole(folder / kFileName));
  std::erase_if(lines, [&](const TStoredFigures &s) { return !StillCurrent(folder, s); });
  return lines;
}

void Merge(const fs::path &folder, const std::vector<TStoredFigures> &fresh)
{
  const fs::path target = folder / kFileName;
  platform::TClaimedReplace change(folder / (std::string(kFileName) + ".tmp"));
  std::vector<TStoredFigures> lines = Parse(ReadWhole(target));
  std::map<std::string, std::size_t, std::less<>> at;
  for (std::size_t i = 0; i < lines.size(); ++i)
    at.emplace(lines[i].Take, i);
  for (const TStoredFigures &s : fresh) {
    if (const auto found = at.find(s.Take); found != at.end()) {
      lines[found->second] = s;
    } else {
      at.emplace(s.Take, lines.size());
      lines.push_back(s);
    }
  }
  std::erase_if(lines, [&](const TStoredFigures &s) { return !StillCurrent(folder, s); });
  change.PlaceAs(Serialize(lines), target);
}

void Keep(const fs::path &folder, const TStoredFigures &line) noexcept
{
  try {
    const fs::path target = folder / kFileName;
    std::error_code ec;
    if (!fs::is_regular_file(target, ec))
      return;
    for (const TStoredFigures &s : Parse(ReadWhole(target)))
      if (s == line)
        return;
    Merge(folder, {line});
  } catch (...) {
    // measured again when next asked for
  }
}

} // namespace figure_store

} // namespace praatkist::audio
