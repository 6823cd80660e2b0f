#pragma once
// A take's markers: the places the speaker marked while recording or listening, as
// frames from the take's start, in ascending order. They lie beside the take in its
// label file (TakeFiles: MarkersPath), one line per marker as Audacity imports labels:
//   12.345678<TAB>12.345678<TAB>Markering 1
// seconds with a dot and six decimals whatever the user's number format, start equal
// to end. A WAV take carries them in its "cue " chunk as well (codec/WavCues).

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace praatkist::audio {

using TMarkers = std::vector<std::uint64_t>;

// "Markering 3": the name of the marker numbered Number (from 1).
std::string MarkerName(std::size_t number);

// The label line of the marker numbered Number at Frame of a take at Rate, with its
// line end.
std::string LabelLine(std::uint64_t frame, std::uint32_t rate, std::size_t number);
// The label file's text for Markers, numbered from 1 in their order.
std::string LabelText(const TMarkers &markers, std::uint32_t rate);
// The markers a label text holds (lines that are not labels are passed over), as
// frames at Rate, sorted.
TMarkers ParseLabels(std::string_view text, std::uint32_t rate);
// The same in seconds.
std::vector<double> ParseLabelSeconds(std::string_view text);
// The markers of Take from its label file, in seconds (none without one).
std::vector<double> ReadMarkerSeconds(const std::filesystem::path &take);

// The label file of Take as text; empty when it has none or it cannot be read.
std::string ReadLabelFile(const std::filesystem::path &take);
// The same of the label file at Path.
std::string ReadLabelText(const std::filesystem::path &path);
TMarkers ReadMarkers(const std::filesystem::path &take, std::uint32_t rate);

// Text in place of the file at Path, written beside it under a claimed temporary file
// and renamed over it. Raises EFileError.
void ReplaceTextFile(const std::filesystem::path &path, const std::string &text);
// Replaces the label file of Take by one holding Markers (written beside it and renamed
// over it, so that it is never found half written); no markers remove it. Raises
// EFileError.
void WriteMarkers(const std::filesystem::path &take, const TMarkers &markers, std::uint32_t rate);

// Puts Frame among Markers in its order (after any at the same frame); its number.
std::size_t InsertMarker(TMarkers &markers, std::uint64_t frame);

// Markers moved for a take cut to frames [Start, End) of the old one: each by the
// frames cut at the start, one in a cut stretch to the nearest kept end.
TMarkers ShiftMarkers(const TMarkers &markers, std::uint64_t start, std::uint64_t end);

} // namespace praatkist::audio
