#pragma once
// The trim record beside a take: its section and keys, the text a trim writes into it,
// and whether it names the take beside it.
//
// A record names the trimmed take it belongs to by the take's size and modification
// time; a record written before those keys existed names none and counts as naming
// whatever take lies beside it.

#include "platform/FileOps.h"
#include "platform/IniFile.h"

#include <filesystem>
#include <string>

namespace praatkist::audio {

class TTrimRecord {
public:
  // The record of Take as it lies on disk now (empty when there is none).
  explicit TTrimRecord(const std::filesystem::path &take);

  // The record names Take, or names none.
  bool FitsTake(const std::filesystem::path &take) const;
  // The seconds cut at either end; 0 for a missing key or a value that is no number.
  double StartSeconds() const;
  double EndSeconds() const;

  // The record's text after a trim that cut Start and End seconds (in the user's
  // number format) and made the take Trimmed: the amounts and the take's name set,
  // every other line of the record kept.
  std::string TextAfterTrim(double start, double end, const platform::TFileIdentity &trimmed);

  // The record's text naming Take (changed by its writer since, its cut the same):
  // every other line kept.
  std::string TextNaming(const platform::TFileIdentity &take);

private:
  platform::TIniFile FIni;
};

// Start and End as the record holds them (15 significant digits, the user's separator),
// read back: what a later reading of the record gives.
double AsRecorded(double seconds);

} // namespace praatkist::audio
