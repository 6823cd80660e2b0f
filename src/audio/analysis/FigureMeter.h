#pragma once
// What a take measures for a spoken-word check, taken in the same pass that reduces it
// to waveform peaks: integrated loudness (EBU R128 / ITU-R BS.1770, Loudness.h), sample
// peak, RMS of the whole take, noise floor (RMS of the quietest half second) and the
// number of clipped samples.
//
// A take read in stretches side by side gets one TFigureMeter per stretch; Combine
// gives what one meter reading the whole take gives. For that the stretches meet on the
// 100 ms grid of the loudness cells (CellFrames), and each meter but the last hears one
// cell past its stretch: that cell's K-weighted energy then comes from a filter that has
// heard all that went before, and it stands in for the first cell of the next meter,
// whose filter starts from rest. From the next meter's second cell on, what its filter
// lacks is the decay of the true state over a whole cell: the filter's slowest pole
// (the 38 Hz high-pass, time constant 4.2 ms at any rate) has shrunk it by e^-24, a
// billionth of the signal, far under 0.0001 LU on any block.
// Peak, RMS, clipped samples and the 100 ms energies of the noise floor count the
// stretch's own frames only, and combine exactly.
//
// Inside a meter the same join makes the filtering fast: where the K-weighting has
// columns (Loudness.h), the meter takes what it hears in batches of columns, each
// kColumnCells long, each starting one cell before the previous one ends: a whole batch
// where the caller's block holds one (BlockFrames), else held back until it has one.
// Column 0 goes on from the filter's state; each later column starts from rest, and its
// first cell, which the column before heard with all that went before, is left out.
// The last column's state carries on into the next batch, and Finish filters what is
// left one frame after the other.

#include "audio/TakeResults.h"
#include "audio/analysis/Loudness.h"

#include <cstdint>
#include <limits>
#include <vector>

namespace praatkist::audio {


class TFigureMeter {
public:
  // The grid of the loudness blocks and of the noise floor's energies: 100 ms of
  // frames at Rate, rounded.
  static std::uint64_t CellFrames(std::uint32_t rate) noexcept;

  // A meter of the frames [Begin, End) of a take with Channels channels at Rate. Begin
  // is a multiple of CellFrames. Last: the stretch runs to the take's end (no tail to hear).
  TFigureMeter(std::uint32_t channels, std::uint32_t rate, std::uint64_t begin, std::uint64_t end,
               bool last);
  TFigureMeter(const TFigureMeter &) = delete;
  TFigureMeter &operator=(const TFigureMeter &) = delete;

  // The frames this meter wants to hear: from Begin to ReadEnd (a cell past End unless
  // Last).
  std::uint64_t ReadEnd() const noexcept { return FReadEnd; }
  // Frames handed over in blocks of this many from Begin on (or whole multiples of it)
  // are filtered where they lie; other blocks are copied first. 0: any block.
  std::uint64_t BlockFrames() const noexcept { return FBatchFrames; }

  // Count frames of interleaved 16-bit samples, the first of them frame Frame of the
  // take; frames come in order without gaps from Begin on. What lies outside Begin ..
  // ReadEnd is ignored.
  void Add(const std::uint8_t *data, std::uint64_t count, std::uint64_t frame);

  // Filters what the meter still holds back. Nothing can be added after it.
  void Finish() noexcept;

  // The figures of a take measured by Meters, in the order of their stretches (one
  // meter: the whole take), each finished first. Each meter's stretch starts where the
  // one before ended.
  static TTakeFigures Combine(const std::vector<TFigureMeter *> &meters);

  // The length of a column, in cells: the cell each column but the first hears twice
  // costs one in ten.
  static constexpr std::uint64_t kColumnCells = 11;
  // Each 100 ms cell is also measured in this many parts of about 10 ms, where the
  // speech bounds are found.
  static constexpr std::uint64_t kPartsPerCell = 10;

private:
  void Measure(const std::uint8_t *data, std::uint64_t count, std::uint64_t frame) noexcept;
  void Hear(const std::uint8_t *data, std::uint64_t count, std::uint64_t frame);
  void HearNow(const std::uint8_t *data, std::uint64_t count, std::uint64_t frame) noexcept;
  void RunBatch(const std::uint8_t *batch) noexcept;

  std::uint32_t FChannels;
  std::uint32_t FRate;
  std::uint64_t FCell;
  std::uint64_t FBegin, FEnd, FReadEnd;
  TKWeighting FWeighting;
  double FLoudPart = 0;             // K-weighted energy of the cell being heard
  std::uint64_t FBatchFrames = 0;   // frames of a batch of columns (0: no columns)
  std::vector<std::uint8_t> FHeld;  // frames held back for the next batch
  std::uint64_t FHeldFrames = 0;
  std::uint64_t FHeardTo = 0;       // the take's frame that starts FHeld
  bool FFinished = false;
  std::vector<double> FLoudCells;   // K-weighted energy per whole 100 ms cell from Begin on
  std::uint64_t FMeasured = 0;
  std::int32_t FPeak = 0;
  std::uint64_t FClipped = 0;
  std::vector<std::uint64_t> FCells; // sum of squares per 100 ms from Begin on
  std::vector<std::uint64_t> FParts; // the same per 10 ms part of each cell
};

} // namespace praatkist::audio
