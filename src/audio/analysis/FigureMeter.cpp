#include "audio/analysis/FigureMeter.h"

#include "audio/TakeFormat.h"

#include "audio/analysis/TakeChecks.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <utility>

#if defined(__SSE2__)
#include <immintrin.h>
#endif

namespace praatkist::audio {

namespace {

constexpr double kFullScaleSquare = double{kFullScale} * kFullScale;
// The noise floor's window: five 100 ms cells.
constexpr std::uint64_t kNoiseCells = 5;

// The sum of the squares of Count 16-bit samples (any alignment) and their largest
// magnitude. Pairs of squares are summed to 32 bits (at most 2^31, which fits
// unsigned) and then added up in 64 bits; the extremes are kept in 16 bits.
void SquaresAndPeakPlain(const std::uint8_t *data, std::size_t count, std::uint64_t &squares,
                         std::int32_t &peak) noexcept
{
  std::size_t i = 0;
  std::uint64_t sum = 0;
  std::int32_t top = 0, bottom = 0;
#if defined(__SSE2__)
  // eight samples at a time
  const __m128i zero = _mm_setzero_si128();
  __m128i acc = zero, hi = zero, lo = zero;
  for (; i + 8 <= count; i += 8) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(data + 2 * i));
    const __m128i sq = _mm_madd_epi16(v, v);
    acc = _mm_add_epi64(acc, _mm_unpacklo_epi32(sq, zero));
    acc = _mm_add_epi64(acc, _mm_unpackhi_epi32(sq, zero));
    hi = _mm_max_epi16(hi, v);
    lo = _mm_min_epi16(lo, v);
  }
  alignas(16) std::uint64_t parts[2];
  alignas(16) std::int16_t highs[8], lows[8];
  _mm_store_si128(reinterpret_cast<__m128i *>(parts), acc);
  _mm_store_si128(reinterpret_cast<__m128i *>(highs), hi);
  _mm_store_si128(reinterpret_cast<__m128i *>(lows), lo);
  sum = parts[0] + parts[1];
  for (int k = 0; k < 8; ++k) {
    top = std::max<std::int32_t>(top, highs[k]);
    bottom = std::min<std::int32_t>(bottom, lows[k]);
  }
#endif
  for (; i < count; ++i) {
    std::int16_t s;
    std::memcpy(&s, data + 2 * i, 2);
    const std::int32_t v = s;
    sum += static_cast<std::uint32_t>(v * v);
    top = std::max(top, v);
    bottom = std::min(bottom, v);
  }
  squares = sum;
  peak = std::max(top, -bottom);
}

#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
// The same for the first Count - Count % 16 samples, sixteen at a time; returns how many.
__attribute__((target("avx2"))) std::size_t SquaresAndPeakAvx2(const std::uint8_t *data,
                                                               std::size_t count,
                                                               std::uint64_t &squares,
                                                               std::int32_t &peak) noexcept
{
  std::size_t i = 0;
  const __m256i zero = _mm256_setzero_si256();
  __m256i acc = zero, hi = zero, lo = zero;
  for (; i + 16 <= count; i += 16) {
    const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(data + 2 * i));
    const __m256i sq = _mm256_madd_epi16(v, v);
    acc = _mm256_add_epi64(acc, _mm256_unpacklo_epi32(sq, zero));
    acc = _mm256_add_epi64(acc, _mm256_unpackhi_epi32(sq, zero));
    hi = _mm256_max_epi16(hi, v);
    lo = _mm256_min_epi16(lo, v);
  }
  alignas(32) std::uint64_t parts[4];
  alignas(32) std::int16_t highs[16], lows[16];
  _mm256_store_si256(reinterpret_cast<__m256i *>(parts), acc);
  _mm256_store_si256(reinterpret_cast<__m256i *>(highs), hi);
  _mm256_store_si256(reinterpret_cast<__m256i *>(lows), lo);
  // (the plain SSE code after this must not find the upper halves in use: on some
  // processors every one of its instructions would wait for them)
  _mm256_zeroupper();
  std::int32_t top = 0, bottom = 0;
  for (int k = 0; k < 16; ++k) {
    top = std::max<std::int32_t>(top, highs[k]);
    bottom = std::min<std::int32_t>(bottom, lows[k]);
  }
  squares = parts[0] + parts[1] + parts[2] + parts[3];
  peak = std::max(top, -bottom);
  return i;
}
#endif

void SquaresAndPeak(const std::uint8_t *data, std::size_t count, std::uint64_t &squares,
                    std::int32_t &peak) noexcept
{
#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
  static const bool avx2 = [] {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") != 0;
  }();
  if (avx2) {
    const std::size_t done = SquaresAndPeakAvx2(data, count, squares, peak);
    std::uint64_t restSquares = 0;
    std::int32_t restPeak = 0;
    SquaresAndPeakPlain(data + 2 * done, count - done, restSquares, restPeak);
    squares += restSquares;
    peak = std::max(peak, restPeak);
    return;
  }
#endif
  SquaresAndPeakPlain(data, count, squares, peak);
}

// Samples at magnitude kClipLevel or more.
std::uint64_t CountClipped(const std::uint8_t *data, std::size_t count) noexcept
{
  std::uint64_t n = 0;
  for (std::size_t i = 0; i < count; ++i) {
    std::int16_t s;
    std::memcpy(&s, data + 2 * i, 2);
    n += s >= kClipLevel || s <= -kClipLevel ? 1u : 0u;
  }
  return n;
}

double PowerDb(double meanSquare) noexcept
{
  return 10.0 * std::log10(meanSquare / kFullScaleSquare);
}

// A 100 ms cell of Cell frames in kPartsPerCell parts of about 10 ms: where part K
// starts (K = kPartsPerCell: the cell's end), and the part holding offset Offset.
std::uint64_t PartStart(std::uint64_t k, std::uint64_t cell) noexcept
{
  return k * cell / TFigureMeter::kPartsPerCell;
}
std::uint64_t PartOf(std::uint64_t offset, std::uint64_t cell) noexcept
{
  return (TFigureMeter::kPartsPerCell * (offset + 1) - 1) / cell;
}

// Where the voice is, from the 10 ms energies Parts of a take of Frames frames: the
// parts that stand out of the room (the quietest whole 100 ms cell) by
// kSpeechAboveRoomDb and reach kSpeechMinDb.
void FindSpeech(TTakeFigures &f, const std::vector<std::uint64_t> &parts,
                const std::vector<std::uint64_t> &cells, std::uint64_t frames,
                std::uint64_t cell, std::uint64_t channels, double rate)
{
  const auto partFrames = [&](std::size_t i) {
    const std::uint64_t c = i / TFigureMeter::kPartsPerCell, k = i % TFigureMeter::kPartsPerCell;
    const std::uint64_t begin = c * cell + PartStart(k, cell);
    const std::uint64_t end = std::min(frames, c * cell + PartStart(k + 1, cell));
    return std::pair{begin, end > begin ? end - begin : 0};
  };
  const std::uint64_t whole = frames / cell;
  double room = std::numeric_limits<double>::infinity(); // mean square per sample
  for (std::uint64_t c = 0; c < whole && c < cells.size(); ++c)
    room = std::min(room, static_cast<double>(cells[c]) / static_cast<double>(cell * channels));
  if (!std::isfinite(room)) {
    // shorter than a cell: its quietest part is the room
    for (std::size_t i = 0; i < parts.size(); ++i)
      if (const auto [begin, n] = partFrames(i); n > 0)
        room = std::min(room, static_cast<double>(parts[i]) / static_cast<double>(n * channels));
  }
  const double above = std::pow(10.0, checks::kSpeechAboveRoomDb / 10.0);
  const double least = kFullScaleSquare * std::pow(10.0, checks::kSpeechMinDb / 10.0);
  const double threshold = std::max(std::isfinite(room) ? room * above : 0.0, least);
  int loud = 0;
  std::uint64_t first = 0, last = 0, loudFrames = 0;
  double loudSquares = 0;
  for (std::size_t i = 0; i < parts.size(); ++i) {
    const auto [begin, n] = partFrames(i);
    if (n == 0)
      continue;
    const double square = static_cast<double>(parts[i]);
    if (square / static_cast<double>(n * channels) < threshold)
      continue;
    if (loud++ == 0)
      first = begin;
    last = begin + n;
    loudFrames += n;
    loudSquares += square;
  }
  if (loud < checks::kSpeechMinCells || rate <= 0)
    return;
  f.HasSpeech = true;
  f.SpeechStartSeconds = static_cast<double>(first) / rate;
  f.SpeechEndSeconds = static_cast<double>(last) / rate;
  f.SpeechRmsDb = PowerDb(loudSquares / static_cast<double>(loudFrames * channels));
}

} // namespace

std::uint64_t TFigureMeter::CellFrames(std::uint32_t rate) noexcept
{
  return std::max<std::uint64_t>(1, (std::uint64_t{rate} + 5) / 10);
}

TFigureMeter::TFigureMeter(std::uint32_t channels, std::uint32_t rate, std::uint64_t begin,
                           std::uint64_t end, bool last)
    : FChannels(std::max<std::uint32_t>(1, channels)), FRate(rate), FCell(CellFrames(rate)),
      FBegin(begin),
      FEnd(std::max(begin, end)), FWeighting(FChannels, rate)
{
  // the cell after the stretch, with the filter's state of all that went before
  FReadEnd = last ? FEnd : FEnd + FCell;
  FHeardTo = FBegin;
  if (const unsigned columns = FWeighting.Columns(); columns > 1)
    FBatchFrames = (columns * (kColumnCells - 1) + 1) * FCell;
}

void TFigureMeter::Add(const std::uint8_t *data, std::uint64_t count, std::uint64_t frame)
{
  const std::uint64_t frameBytes = PcmFrameBytes(FChannels);
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

void TFigureMeter::Hear(const std::uint8_t *data, std::uint64_t count, std::uint64_t frame)
{
  if (FBatchFrames == 0 || FFinished) {
    HearNow(data, count, frame);
    return;
  }
  const std::uint64_t frameBytes = PcmFrameBytes(FChannels);
  // Whole batches straight from the caller's block, while nothing is held back (Begin
  // lies on a cell and so does every batch).
  while (FHeldFrames == 0 && count >= FBatchFrames) {
    RunBatch(data);
    data += FBatchFrames * frameBytes;
    count -= FBatchFrames;
  }
  if (count == 0)
    return;
  // The rest is held back until a batch is full.
  if (FHeld.empty())
    FHeld.resize(static_cast<std::size_t>(
        std::min(FBatchFrames, std::max<std::uint64_t>(1, FReadEnd - FBegin)) * frameBytes));
  const std::uint64_t room = FHeld.size() / frameBytes;
  while (count > 0) {
    const std::uint64_t take = std::min(count, room - FHeldFrames);
    std::memcpy(FHeld.data() + FHeldFrames * frameBytes, data,
                static_cast<std::size_t>(take * frameBytes));
    FHeldFrames += take;
    data += take * frameBytes;
    count -= take;
    if (FHeldFrames == FBatchFrames)
      RunBatch(FHeld.data());
    else if (FHeldFrames == room)
      break; // past ReadEnd: Add does not send it
  }
}

void TFigureMeter::RunBatch(const std::uint8_t *batch) noexcept
{
  const unsigned columns = FWeighting.Columns();
  const std::uint64_t frameBytes = PcmFrameBytes(FChannels);
  // Column j covers the batch's cells j (K - 1) .. j (K - 1) + K - 1.
  const std::uint8_t *at[8] = {};
  for (unsigned j = 0; j < columns; ++j)
    at[j] = batch + j * (kColumnCells - 1) * FCell * frameBytes;
  const std::size_t base = FLoudCells.size();
  FLoudCells.resize(base + static_cast<std::size_t>(FBatchFrames / FCell));
  double energies[8];
  FWeighting.BeginColumns();
  for (std::uint64_t i = 0; i < kColumnCells; ++i) {
    FWeighting.RunColumns(at, static_cast<std::size_t>(FCell), energies);
    for (unsigned j = 0; j < columns; ++j) {
      // a later column's first cell comes from rest; the column before had all of it
      if (i > 0 || j == 0)
        FLoudCells[base + static_cast<std::size_t>(j * (kColumnCells - 1) + i)] = energies[j];
      at[j] += FCell * frameBytes;
    }
  }
  FWeighting.EndColumns();
  FHeardTo += FBatchFrames;
  FHeldFrames = 0;
}

void TFigureMeter::Finish() noexcept
{
  if (FFinished)
    return;
  FFinished = true;
  if (FHeldFrames > 0)
    HearNow(FHeld.data(), FHeldFrames, FHeardTo);
  FHeardTo += FHeldFrames;
  FHeldFrames = 0;
  FHeld = {};
}

void TFigureMeter::HearNow(const std::uint8_t *data, std::uint64_t count,
                           std::uint64_t frame) noexcept
{
  while (count > 0) {
    const std::uint64_t run = std::min(count, (frame / FCell + 1) * FCell - frame);
    FLoudPart += FWeighting.Run(data, static_cast<std::size_t>(run));
    frame += run;
    count -= run;
    data += run * PcmFrameBytes(FChannels);
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
    // One 10 ms part of a 100 ms cell at a time.
    const std::uint64_t cell = frame / FCell;
    const std::uint64_t part = PartOf(frame - cell * FCell, FCell);
    const std::uint64_t partEnd = cell * FCell + PartStart(part + 1, FCell);
    const std::uint64_t run = std::min(count, partEnd - frame);
    const std::size_t samples = static_cast<std::size_t>(run * FChannels);
    std::uint64_t squares = 0, clipped = 0;
    std::int32_t peak = 0;
    SquaresAndPeak(data, samples, squares, peak);
    if (peak >= kClipLevel)
      clipped = CountClipped(data, samples);
    const std::size_t at = static_cast<std::size_t>(cell - firstCell);
    if (at >= FCells.size()) {
      FCells.resize(at + 1, 0);
      FParts.resize((at + 1) * kPartsPerCell, 0);
    }
    FCells[at] += squares;
    FParts[at * kPartsPerCell + static_cast<std::size_t>(part)] += squares;
    FPeak = std::max(FPeak, peak);
    FClipped += clipped;
    FMeasured += run;
    data += run * PcmFrameBytes(FChannels);
    count -= run;
    frame += run;
  }
}

TTakeFigures TFigureMeter::Combine(const std::vector<TFigureMeter *> &meters)
{
  TTakeFigures f;
  f.Measured = true;
  if (meters.empty())
    return f;
  for (TFigureMeter *m : meters)
    m->Finish();
  std::vector<double> loud; // from the take's first cell on
  std::vector<std::uint64_t> cells, parts;
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
    parts.insert(parts.end(), m->FParts.begin(), m->FParts.end());
    frames += m->FMeasured;
    peak = std::max(peak, m->FPeak);
    f.ClippedSamples += m->FClipped;
  }
  const std::uint64_t channels = meters.front()->FChannels;
  const std::uint64_t cell = meters.front()->FCell;

  f.LoudnessLufs = GatedLoudness(loud, cell);
  if (peak > 0)
    f.PeakDb = 20.0 * std::log10(peak / double{kFullScale});
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
  FindSpeech(f, parts, cells, frames, cell, channels, meters.front()->FRate);
  return f;
}

} // namespace praatkist::audio
