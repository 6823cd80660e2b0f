#pragma once
// Integrated loudness (ITU-R BS.1770-4, EBU R128) in two parts: the K-weighting filter,
// which turns 16-bit frames into the energy of each 100 ms cell, and the gating, which
// turns a take's cell energies into LUFS.
//
// Each cell's energy is the sum over its frames of the squared K-weighted samples of
// every channel (full scale = 1, every channel weighed 1.0 as left and right are); a
// 400 ms block is four cells, blocks start every cell.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace praatkist::audio {

class TKWeighting {
public:
  // The two filters (a high shelf of +4 dB above about 1.7 kHz, then a high-pass at
  // about 38 Hz) made for Rate by the bilinear transform of their analogue prototypes.
  TKWeighting(std::uint32_t channels, std::uint32_t rate);

  // Filter Count frames of interleaved 16-bit samples (any alignment) and return the
  // sum of the squares of the filtered samples of every channel. The filter state runs
  // on from one call to the next. Calls of a few seconds at most stay fast through
  // digital silence (see Run).
  double Run(const std::uint8_t *data, std::size_t count) noexcept;

  struct TCoefficients {
    double B0, B1, B2, A1, A2;
  };
  const TCoefficients &Shelf() const noexcept { return FShelf; }
  const TCoefficients &HighPass() const noexcept { return FHighPass; }

  // Columns: one filter runs one stretch of frames at a time, and each sample waits for
  // the one before it, so the processor idles most of the time. Stretches of the same
  // take filtered side by side, in the lanes of one vector, cost little more than one.
  // Columns() is how many go side by side (two of stereo, four of mono), 0 where this
  // filter has no such form (other channel counts, a processor without AVX2 and FMA).
  unsigned Columns() const noexcept { return FColumns; }
  // A run of columns: the first column goes on from this filter's state, the others
  // start from rest (a caller lets them hear a little before their stretch: see
  // TakeFigures.h). RunColumns filters Steps frames of every column, Columns[j] pointing
  // at column j's frames, and puts column j's sum of squares in Energies[j]. At
  // EndColumns the filter's state becomes the last column's, as if it had heard that
  // column's frames itself.
  void BeginColumns() noexcept;
  void RunColumns(const std::uint8_t *const *columns, std::size_t steps, double *energies) noexcept;
  void EndColumns() noexcept;

  // One lane per channel of a pair: in, shelf out, high-pass out, each one and two
  // samples back.
  struct TLanes {
    double X1[2] = {}, X2[2] = {}, Y1[2] = {}, Y2[2] = {}, Z1[2] = {}, Z2[2] = {};
  };
  // The same for the four lanes of a run of columns: column by column, channel by channel.
  struct TColumnLanes {
    double X1[4] = {}, X2[4] = {}, Y1[4] = {}, Y2[4] = {}, Z1[4] = {}, Z2[4] = {};
  };
  using TColumnKernel = void (*)(const TCoefficients &shelf, const TCoefficients &highPass,
                                 TColumnLanes &lanes, const std::uint8_t *const *columns,
                                 std::size_t steps, double nudge, double *energies);

private:
  std::uint32_t FChannels;
  TCoefficients FShelf{}, FHighPass{};
  std::vector<TLanes> FPairs; // channels 0-1, 2-3, ...
  double FNudge = 1e-12;      // see Run
  unsigned FColumns = 0;
  TColumnKernel FKernel = nullptr;
  TColumnLanes FColumnLanes;
};

// The integrated loudness in LUFS of a take whose consecutive 100 ms cells of CellFrames
// frames hold Energies: blocks of four cells, those under -70 LUFS left out, then those
// more than 10 LU under the mean of the rest. Minus infinity when no block is left.
double GatedLoudness(const std::vector<double> &energies, std::uint64_t cellFrames);

} // namespace praatkist::audio
