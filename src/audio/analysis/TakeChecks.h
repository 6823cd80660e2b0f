#pragma once
// The checks a take of a data set is held to, each a remark in words: what makes a take
// unfit to train a voice on (no speech, a word cut off at an end, a sentence read far
// off the session's pace) and the spoken-word limits of the figures line. Every
// threshold stands here, named; the README's table says why each was chosen. Pure.

#include "audio/TakeResults.h"

#include <cstddef>
#include <string>
#include <vector>

namespace praatkist::audio {

namespace checks {
// Speech: a 10 ms stretch at least this far above the room (the quietest 100 ms of the
// take) and at least this loud at all; a take holds speech when at least
// kSpeechMinCells of them stand out (a lone click is not speech).
inline constexpr double kSpeechAboveRoomDb = 15.0;
inline constexpr double kSpeechMinDb = -50.0;
inline constexpr int kSpeechMinCells = 3;
// "te kort": speech under this, or under this share of what the text's length
// predicts at the session's median pace.
inline constexpr double kMinSpeechSeconds = 0.3;
inline constexpr double kMinShareOfExpected = 0.40;
// "afgekapt begin" / "afgekapt eind": speech within this of the take's start or end.
inline constexpr double kEdgeSeconds = 0.020;
// "tempo": characters per second further than this share off the session's median.
inline constexpr double kTempoTolerance = 0.35;
// "ruis": speech RMS less than this above the noise floor.
inline constexpr double kMinSpeechAboveFloorDb = 30.0;
// The session's median pace needs at least this many takes with speech.
inline constexpr std::size_t kMinTakesForPace = 3;
} // namespace checks

enum class TRemark : unsigned {
  NoSpeech = 1u << 0,   // "geen spraak"
  TooShort = 1u << 1,   // "te kort"
  CutStart = 1u << 2,   // "afgekapt begin"
  CutEnd = 1u << 3,     // "afgekapt eind"
  Tempo = 1u << 4,      // "tempo"
  Clipped = 1u << 5,    // "overstuurd"
  TooQuiet = 1u << 6,   // "te zacht": the voice's RMS under the spoken-word range
  TooLoud = 1u << 7,    // "te luid": over it
  PeakHigh = 1u << 8,   // "piek te hoog"
  FloorHigh = 1u << 9,  // "ruisvloer te hoog"
  Noise = 1u << 10,     // "ruis": speech too little above the noise floor
};

struct TTakeRemarks {
  unsigned Flags = 0;
  bool Any() const noexcept { return Flags != 0; }
  bool Has(TRemark r) const noexcept { return (Flags & static_cast<unsigned>(r)) != 0; }
  void Add(TRemark r) noexcept { Flags |= static_cast<unsigned>(r); }
  // The remarks in words (UTF-8), in the order of TRemark; and joined by ", ".
  std::vector<std::string> Words() const;
  std::string Joined() const;
  bool operator==(const TTakeRemarks &) const = default;
};

// Characters of a text that are spoken: letters and digits (the caller counts them; a
// text of punctuation alone is 0). The pace of a take: those per second of speech, 0
// without speech.
double CharsPerSecond(const TTakeFigures &figures, std::size_t spokenChars) noexcept;

// The median of the paces above 0; 0 when fewer than kMinTakesForPace are.
double MedianPace(std::vector<double> paces);

// The remarks on a measured take of a text of SpokenChars characters in a session
// whose median pace is MedianPace (0: unknown; the checks that need it are left out),
// Seconds long. A take without figures gets none.
TTakeRemarks CheckTake(const TTakeFigures &figures, double seconds, std::size_t spokenChars,
                       double medianPace);

} // namespace praatkist::audio
