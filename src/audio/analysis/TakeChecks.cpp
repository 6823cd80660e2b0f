#include "audio/analysis/TakeChecks.h"

#include <algorithm>
#include <cmath>

namespace praatkist::audio {

namespace {

struct TWord {
  TRemark Remark;
  const char *Text;
};

constexpr TWord kWords[] = {
    {TRemark::NoSpeech, "geen spraak"},   {TRemark::TooShort, "te kort"},
    {TRemark::CutStart, "afgekapt begin"}, {TRemark::CutEnd, "afgekapt eind"},
    {TRemark::Tempo, "tempo"},             {TRemark::Clipped, "overstuurd"},
    {TRemark::TooQuiet, "te zacht"},       {TRemark::TooLoud, "te luid"},
    {TRemark::PeakHigh, "piek te hoog"},   {TRemark::FloorHigh, "ruisvloer te hoog"},
    {TRemark::Noise, "ruis"},
};

} // namespace

std::vector<std::string> TTakeRemarks::Words() const
{
  std::vector<std::string> words;
  for (const TWord &w : kWords)
    if (Has(w.Remark))
      words.emplace_back(w.Text);
  return words;
}

std::string TTakeRemarks::Joined() const
{
  std::string out;
  for (const std::string &w : Words()) {
    if (!out.empty())
      out += ", ";
    out += w;
  }
  return out;
}

double CharsPerSecond(const TTakeFigures &figures, std::size_t spokenChars) noexcept
{
  const double seconds = figures.SpeechSeconds();
  if (!figures.HasSpeech || seconds <= 0.0 || spokenChars == 0)
    return 0.0;
  return static_cast<double>(spokenChars) / seconds;
}

double MedianPace(std::vector<double> paces)
{
  std::erase_if(paces, [](double p) { return !(p > 0.0) || !std::isfinite(p); });
  if (paces.size() < checks::kMinTakesForPace)
    return 0.0;
  const std::size_t mid = paces.size() / 2;
  std::nth_element(paces.begin(), paces.begin() + static_cast<std::ptrdiff_t>(mid), paces.end());
  const double upper = paces[mid];
  if (paces.size() % 2 != 0)
    return upper;
  const double lower =
      *std::max_element(paces.begin(), paces.begin() + static_cast<std::ptrdiff_t>(mid));
  return (lower + upper) / 2.0;
}

TTakeRemarks CheckTake(const TTakeFigures &figures, double seconds, std::size_t spokenChars,
                       double medianPace)
{
  TTakeRemarks r;
  if (!figures.Measured)
    return r;
  // The spoken-word limits of the figures line, but the level judged on the voice
  // alone: a data set's take is mostly a sentence in silence, and the RMS of the whole
  // take would judge how much silence the trim left.
  const spoken_word::TVerdict verdict = spoken_word::Judge(figures);
  if (verdict.Clipped)
    r.Add(TRemark::Clipped);
  if (verdict.PeakHigh)
    r.Add(TRemark::PeakHigh);
  if (verdict.Noisy)
    r.Add(TRemark::FloorHigh);
  if (!figures.HasSpeech) {
    r.Add(TRemark::NoSpeech);
    return r;
  }
  const double level = spoken_word::Shown(figures.SpeechRmsDb, 1);
  if (level < spoken_word::RmsMinDb)
    r.Add(TRemark::TooQuiet);
  if (level > spoken_word::RmsMaxDb)
    r.Add(TRemark::TooLoud);

  const double speech = figures.SpeechSeconds();
  bool tooShort = speech < checks::kMinSpeechSeconds;
  if (medianPace > 0.0 && spokenChars > 0) {
    const double expected = static_cast<double>(spokenChars) / medianPace;
    if (speech < checks::kMinShareOfExpected * expected)
      tooShort = true;
    const double pace = CharsPerSecond(figures, spokenChars);
    if (std::abs(pace - medianPace) > checks::kTempoTolerance * medianPace)
      r.Add(TRemark::Tempo);
  }
  if (tooShort)
    r.Add(TRemark::TooShort);
  if (figures.SpeechStartSeconds < checks::kEdgeSeconds)
    r.Add(TRemark::CutStart);
  if (figures.SpeechEndSeconds > seconds - checks::kEdgeSeconds)
    r.Add(TRemark::CutEnd);
  if (figures.SpeechRmsDb - figures.NoiseFloorDb < checks::kMinSpeechAboveFloorDb)
    r.Add(TRemark::Noise);
  return r;
}

} // namespace praatkist::audio
