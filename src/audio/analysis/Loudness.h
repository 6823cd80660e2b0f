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
  //
  // They run in single precision. The high-pass's poles sit within 0.5 % of 1: as the
  // usual a1, a2 they would wander in single precision, and every rounding before them
  // would come out some ten thousand times louder at the lowest frequencies. So the
  // high-pass runs in the "delta" form: its output z is the input less c1 times the
  // running sum of z and d times the running sum of that sum, where c1 = 2 + a1 and
  // d = 1 + a1 + a2 are small and exact; from input to output there is no gain above
  // one. Rounding then costs under 0.0001 LU, with or without a DC offset.
  TKWeighting(std::uint32_t channels, std::uint32_t rate);

  // Filter Count frames of interleaved 16-bit samples (any alignment) and return the
  // sum of the squares of the filtered samples of every channel. The filter state runs
  // on from one call to the next.
  double Run(const std::uint8_t *data, std::size_t count) noexcept;

  struct TCoefficients {
    double B0, B1, B2, A1, A2;
  };
  const TCoefficients &Shelf() const noexcept { return FShelf; }
  const TCoefficients &HighPass() const noexcept { return FHighPass; }

  // Columns: one filter runs one stretch of frames at a time, and each sample waits for
  // the one before it, so the processor idles most of the time. Stretches of the same
  // take filtered side by side, in the lanes of one vector, cost little more than one.
  // Columns() is how many go side by side (four of stereo, eight of mono), 0 where this
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

  // What the filters run on: the shelf's numerator for 16-bit samples and its poles,
  // and the high-pass's K = 1 - c1 and Dd = d: I1' = K I1 + y - Dd I2, z = I1' - I1,
  // I2' = I2 + I1.
  struct TSingle {
    float S0, S1, S2, A1, A2, K, Dd;
  };
  // One channel's memory: input (16-bit) and shelf out, one and two samples back, and
  // the high-pass's two running sums.
  struct TLane {
    float X1 = 0, X2 = 0, Y1 = 0, Y2 = 0, I1 = 0, I2 = 0;
  };
  // The lanes of a run of columns: column by column, channel by channel.
  struct alignas(32) TColumnLanes {
    float X1[8] = {}, X2[8] = {}, Y1[8] = {}, Y2[8] = {}, I1[8] = {}, I2[8] = {};
  };
  using TColumnKernel = void (*)(const TSingle &k, TColumnLanes &lanes,
                                 const std::uint8_t *const *columns, std::size_t steps,
                                 double *energies);

private:
  std::uint32_t FChannels;
  TCoefficients FShelf{}, FHighPass{};
  TSingle FSingle{};
  std::vector<TLane> FLanes; // one per channel
  unsigned FColumns = 0;
  TColumnKernel FKernel = nullptr;
  TColumnLanes FColumnLanes;
};

// The integrated loudness in LUFS of a take whose consecutive 100 ms cells of CellFrames
// frames hold Energies: blocks of four cells, those under -70 LUFS left out, then those
// more than 10 LU under the mean of the rest. Minus infinity when no block is left.
double GatedLoudness(const std::vector<double> &energies, std::uint64_t cellFrames);

} // namespace praatkist::audio
