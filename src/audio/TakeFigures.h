#pragma once
// What a take measures for a spoken-word check, taken in the same pass that reduces it
// to waveform peaks: integrated loudness (EBU R128 / ITU-R BS.1770, by libebur128),
// sample peak, RMS of the whole take, noise floor (RMS of the quietest half second) and
// the number of clipped samples.
//
// A take read in stretches side by side gets one TFigureMeter per stretch; Combine
// gives what one meter reading the whole take gives. For that the stretches meet on the
// 100 ms grid of the loudness blocks (CellFrames), and each meter but the last hears
// 300 ms past its stretch, so that it completes the 400 ms blocks that start in its
// stretch and reach into the next one; the next meter's blocks start at its own first
// frame. Each block is thus counted once. The one difference to a single reading: the
// loudness filter of a later stretch starts from rest, so the first few milliseconds
// of its first block are weighted a little differently (a few thousandths of an LU on
// that one block in thousands).
// Peak, RMS, clipped samples and the 100 ms energies of the noise floor count the
// stretch's own frames only, and combine exactly.

#include <cstdint>
#include <limits>
#include <vector>

namespace praatkist::audio {

struct TTakeFigures {
  bool Measured = false; // false: the analysis was not asked for figures
  // dB and LUFS; minus infinity for silence (or a take too short for a loudness block).
  double LoudnessLufs = -std::numeric_limits<double>::infinity();
  double PeakDb = -std::numeric_limits<double>::infinity();  // dBFS, 32768 = 0 dB
  double RmsDb = -std::numeric_limits<double>::infinity();   // all channels together
  double NoiseFloorDb = -std::numeric_limits<double>::infinity();
  std::uint64_t ClippedSamples = 0; // samples at magnitude 32767 or more

  bool operator==(const TTakeFigures &) const = default;
};

class TFigureMeter {
public:
  // The grid of the loudness blocks and of the noise floor's energies: 100 ms of
  // frames at Rate (as libebur128 rounds it).
  static std::uint64_t CellFrames(std::uint32_t rate) noexcept;

  // A meter of the frames [Begin, End) of a take with Channels channels at Rate. Begin
  // is a multiple of CellFrames. Last: the stretch runs to the take's end (no tail to hear).
  // Raises std::bad_alloc when libebur128 cannot set up.
  TFigureMeter(std::uint32_t channels, std::uint32_t rate, std::uint64_t begin, std::uint64_t end,
               bool last);
  ~TFigureMeter();
  TFigureMeter(const TFigureMeter &) = delete;
  TFigureMeter &operator=(const TFigureMeter &) = delete;

  // The frames this meter wants to hear: from Begin to ReadEnd (300 ms past End unless
  // Last).
  std::uint64_t ReadEnd() const noexcept { return FReadEnd; }

  // Count frames of interleaved 16-bit samples, the first of them frame Frame of the
  // take; frames come in order without gaps from Begin on. What lies outside Begin ..
  // ReadEnd is ignored.
  void Add(const std::uint8_t *data, std::uint64_t count, std::uint64_t frame);

  // The figures of a take measured by Meters, in the order of their stretches (one
  // meter: the whole take). Each meter's stretch starts where the one before ended.
  static TTakeFigures Combine(const std::vector<const TFigureMeter *> &meters);

private:
  void Measure(const std::uint8_t *data, std::uint64_t count, std::uint64_t frame) noexcept;
  void Hear(const std::uint8_t *data, std::uint64_t count);

  std::uint32_t FChannels;
  std::uint64_t FCell;
  std::uint64_t FBegin, FEnd, FReadEnd;
  void *FLoudness = nullptr; // ebur128_state
  std::uint64_t FMeasured = 0;
  std::int32_t FPeak = 0;
  std::uint64_t FClipped = 0;
  std::vector<std::uint64_t> FCells; // sum of squares per 100 ms from Begin on
};

} // namespace praatkist::audio
