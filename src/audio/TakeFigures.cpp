#include "audio/TakeFigures.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace praatkist::audio {

namespace {

constexpr double kFullScaleSquare = 32768.0 * 32768.0;
// The noise floor's window: five 100 ms cells.
constexpr std::uint64_t kNoiseCells = 5;

double PowerDb(double meanSquare) noexcept
{
  return 10.0 * std::log10(meanSquare / kFullScaleSquare);
}

} // namespace

std::uint64_t TFigureMeter::CellFrames(std::uint32_t rate) noexcept
{
  return std::max<std::uint64_t>(1, (std::uint64_t{rate} + 5) / 10);
}

TFigureMeter::TFigureMeter(std::uint32_t channels, std::uint32_t rate, std::uint64_t begin,
                           std::uint64_t end, bool last)
    : FChannels(std::max<std::uint32_t>(1, channels)), FCell(CellFrames(rate)), FBegin(begin),
      FEnd(std::max(begin, end)), FWeighting(FChannels, rate)
{
  // the cell after the stretch, with the filter's state of all that went before
  FReadEnd = last ? FEnd : FEnd + FCell;
}

void TFigureMeter::Add(const std::uint8_t *data, std::uint64_t count, std::uint64_t frame)
{
  const std::uint64_t frameBytes = 2ull * FChannels;
  if (frame < FBegin) {
    const std::uint64_t skip = std::min(count, FBegin - frame);
    data += skip * frameBytes;
    count -= skip;
    frame += skip;
  }
  while (count > 0 && frame < FReadEnd) {
    std::uint64_t run;
    if (frame < FEnd) {
      run = std::min(count, FEnd - frame);
      Measure(data, run, frame);
    } else {
      run = std::min(count, FReadEnd - frame);
    }
    Hear(data, run, frame);
    data += run * frameBytes;
    count -= run;
    frame += run;
  }
}

void TFigureMeter::Hear(const std::uint8_t *data, std::uint64_t count,
                        std::uint64_t frame) noexcept
{
  while (count > 0) {
    const std::uint64_t run = std::min(count, (frame / FCell + 1) * FCell - frame);
    FLoudPart += FWeighting.Run(data, static_cast<std::size_t>(run));
    frame += run;
    count -= run;
    data += run * 2ull * FChannels;
    if (frame % FCell == 0) {
      FLoudCells.push_back(FLoudPart);
      FLoudPart = 0;
    }
  }
}

void TFigureMeter::Measure(const std::uint8_t *data, std::uint64_t count,
                           std::uint64_t frame) noexcept
{
  const std::uint64_t firstCell = FBegin / FCell;
  while (count > 0) {
    // One 100 ms cell's share at a time.
    const std::uint64_t cell = frame / FCell;
    const std::uint64_t run = std::min(count, (cell + 1) * FCell - frame);
    const std::size_t samples = static_cast<std::size_t>(run * FChannels);
    std::uint64_t squares = 0, clipped = 0;
    std::int32_t peak = 0;
    for (std::size_t i = 0; i < samples; ++i) {
      std::int16_t s;
      std::memcpy(&s, data + 2 * i, 2);
      const std::int32_t v = s;
      const std::int32_t m = v < 0 ? -v : v;
      squares += static_cast<std::uint32_t>(v * v);
      peak = std::max(peak, m);
      clipped += m >= 32767 ? 1u : 0u;
    }
    const std::size_t at = static_cast<std::size_t>(cell - firstCell);
    if (at >= FCells.size())
      FCells.resize(at + 1, 0);
    FCells[at] += squares;
    FPeak = std::max(FPeak, peak);
    FClipped += clipped;
    FMeasured += run;
    data += run * 2ull * FChannels;
    count -= run;
    frame += run;
  }
}

TTakeFigures TFigureMeter::Combine(const std::vector<const TFigureMeter *> &meters)
{
  TTakeFigures f;
  f.Measured = true;
  if (meters.empty())
    return f;
  std::vector<double> loud; // from the take's first cell on
  std::vector<std::uint64_t> cells;
  std::uint64_t frames = 0;
  std::int32_t peak = 0;
  for (const TFigureMeter *m : meters) {
    // A cell heard by two meters is the earlier one's: its filter had heard the frames
    // before it.
    const std::uint64_t first = m->FBegin / m->FCell;
    // (Meters come without gaps: a stretch that ends short is the last one combined.)
    if (first <= loud.size())
      for (auto i = static_cast<std::size_t>(loud.size() - first); i < m->FLoudCells.size(); ++i)
        loud.push_back(m->FLoudCells[i]);
    cells.insert(cells.end(), m->FCells.begin(), m->FCells.end());
    frames += m->FMeasured;
    peak = std::max(peak, m->FPeak);
    f.ClippedSamples += m->FClipped;
  }
  const std::uint64_t channels = meters.front()->FChannels;
  const std::uint64_t cell = meters.front()->FCell;

  f.LoudnessLufs = GatedLoudness(loud, cell);
  if (peak > 0)
    f.PeakDb = 20.0 * std::log10(peak / 32768.0);
  double squares = 0;
  for (std::uint64_t c : cells)
    squares += static_cast<double>(c);
  if (frames > 0 && squares > 0)
    f.RmsDb = PowerDb(squares / static_cast<double>(frames * channels));
  // The quietest half second on the 100 ms grid; a take shorter than that is its own.
  const std::uint64_t whole = frames / cell;
  if (whole < kNoiseCells) {
    f.NoiseFloorDb = f.RmsDb;
  } else {
    std::uint64_t window = 0;
    for (std::uint64_t i = 0; i < kNoiseCells; ++i)
      window += cells[i];
    std::uint64_t least = window;
    for (std::uint64_t i = kNoiseCells; i < whole; ++i) {
      window += cells[i];
      window -= cells[i - kNoiseCells];
      least = std::min(least, window);
    }
    if (least > 0)
      f.NoiseFloorDb = PowerDb(static_cast<double>(least) /
                               static_cast<double>(kNoiseCells * cell * channels));
  }
  return f;
}

} // namespace praatkist::audio
