#pragma once
// The audio engine: the one object the window talks to, owning every handle of the
// audio layer. It records one take at a time into a WAV or MP3 file, publishes live
// peak levels for the meter, and plays, analyses, trims and untrims takes. The work
// itself is done by the parts below it: capture/, playback/, analysis/ and trim/.

#include "audio/AudioErrors.h"
#include "audio/AudioLayer.h"
#include "audio/BassRecorderTuning.h"
#include "audio/TakeFormat.h"
#include "audio/codec/TakeMarkers.h"
#include "audio/TakeResults.h"
#include "audio/WorkControl.h"
#include "audio/analysis/TakeAnalysis.h"
#include "audio/analysis/TakeChecks.h"
#include "audio/analysis/TakeSurvey.h"
#include "audio/capture/TakeCapture.h"
#include "audio/export/DataSet.h"
#include "audio/playback/TakePlayback.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace praatkist {

struct TBassDeviceInfo {
  std::string Name;   // UTF-8
  std::string Driver; // UTF-8
  std::uint32_t Flags = 0;
};

// The engine's steady clock (nanoseconds), as it stamps captured audio and markers.
using audio::SteadyNowNs;
// The markers of a take from its label file, in seconds.
using audio::ReadMarkerSeconds;

// What the window's flow reads of the engine on its tick, in one call
// (TBassRecorder::Status).
struct TEngineStatus {
  // ---- a take, or the open input between takes ----
  bool Recording = false; // a take runs (until Stop)
  bool InputOpen = false; // an input is open for the next take
  bool InputLost = false; // the open input has ended by itself (its device or the server)
  // Peaks (0 .. kFullScale) of the latest buffer captured since the last call.
  int LeftPeak = 0;
  int RightPeak = 0;
  std::uint32_t Rate = 0;          // of the running take or the open input
  std::uint64_t TakeFrames = 0;    // in the running take so far (what the clock shows paused)
  std::uint64_t PreRollFrames = 0; // of those, from before its start (the pre-roll)
  std::uint64_t InputFrames = 0;   // the open input has captured since it opened
  // A captured sample reached full scale since the take started (before a take: since
  // the open input opened or the last take started); the take's frame at which that
  // first happened (-1: before the take).
  bool Clipped = false;
  std::int64_t ClipFrame = -1;
  // The running take has ended by itself (input gone, file not writable, WAV size
  // limit): it must still be completed with Stop.
  TCaptureEnd End = TCaptureEnd::None;
  // A running take has received nothing from its input for a few seconds (a frozen
  // device or server); false again as soon as audio arrives.
  bool Frozen = false;
  // ---- the playback ----
  bool Playing = false;         // a stream is open and playing (false once at its end)
  int PlaybackLevel = 0;        // of the last 50 ms played, on the capture peak scale
  double PlaybackSeconds = 0.0; // the open stream's position and length (also at its end)
  double PlaybackLength = 0.0;
  // ---- listening (hands-free): a speech's start and end heard since the last call ----
  audio::TSpeechEvents Heard;

  int Level() const noexcept { return LeftPeak > RightPeak ? LeftPeak : RightPeak; }
  double TakeSeconds() const noexcept { return Seconds(static_cast<std::int64_t>(TakeFrames)); }
  double PreRollSeconds() const noexcept
  {
    return Seconds(static_cast<std::int64_t>(PreRollFrames));
  }
  double ClipSeconds() const noexcept { return Seconds(ClipFrame); }

private:
  double Seconds(std::int64_t frames) const noexcept
  {
    return Rate == 0 || frames < 0 ? 0.0 : static_cast<double>(frames) / Rate;
  }
};

// A capture device a take can be recorded from: enabled and no loopback.
struct TCaptureDevice {
  int Index = 0;    // the DeviceIndex for Start
  std::string Name; // UTF-8
};

class TBassRecorder {
public:
  // Opens the layer's default output; raises "Initialiseren van audio-uitgang ..." on
  // failure (the layer is freed again).
  explicit TBassRecorder(audio::IAudioLayer &layer, const TEngineTuning &tuning = {});
  // Stops a take, stops playback, frees the layer.
  virtual ~TBassRecorder();
  TBassRecorder(const TBassRecorder &) = delete;
  TBassRecorder &operator=(const TBassRecorder &) = delete;

  // Capture devices 0 .. DeviceCount - 1; no engine needed.
  static int DeviceCount(audio::IAudioLayer &layer);
  static std::optional<TBassDeviceInfo> DeviceInfo(audio::IAudioLayer &layer, int Index);
  // The devices a take can be recorded from, in the layer's order; and a number that
  // changes whenever the system's device list does.
  std::vector<TCaptureDevice> CaptureDevices();
  std::uint32_t DeviceListSerial() { return FLayer.DeviceListSerial(); }

  // What the tick reads, at once: the take's or the open input's levels (taken: the next
  // call has those of newer buffers only), clock, clipping and end, the playback's
  // level and position, what listening heard (taken as well).
  TEngineStatus Status();

  // ---- the open input, between takes ----
  // Opens the input's device at its rate and channels while no take runs: the status's
  // peaks and clipping follow it as during a take, and the last PreRollMs
  // (0 .. kMaxPreRollMs) of its audio are kept. A take then started on the same stream
  // (device, rate and channels) begins at once on this input, with those milliseconds
  // first, joined to what follows without a gap or a repeated frame. The take's stop
  // hands the channel back to the input, which goes on keeping its newest audio (the
  // take's end among it), so that a take started right after begins with its whole
  // pre-roll and nothing said between two takes is lost. Any other input open is
  // closed first. Raises on failure; nothing then stays open.
  void OpenInput(const TInputFormat &AInput);
  void CloseInput() noexcept { FCapture.CloseInput(); }
  // An input is open for the next take.
  bool InputOpen() const noexcept { return FCapture.InputOpen(); }
  // Frames the open input has captured since it opened.
  std::uint64_t InputFrames() const noexcept { return FCapture.InputFrames(); }
  // ---- listening for speech on the open input (hands-free takes) ----
  // From now on, once the input has been quiet for a moment, the open input is
  // listened to for speech by ARules, until a speech has started and ended; also on
  // through a take started meanwhile. The wish holds on when the input is reopened.
  // An input opened with Listen keeps what a take needs from before a speech's start.
  // What an earlier listening heard is not this one's: it goes.
  void Listen(const audio::TSpeechRules &ARules) noexcept
  {
    FCapture.Speech().Poll();
    FCapture.Speech().Listen(ARules);
  }
  void StopListening() noexcept { FCapture.Speech().StopListening(); }
  // Nothing is judged while held: a pause.
  void HoldListening(bool AHeld) noexcept { FCapture.Speech().Hold(AHeld); }
  // What was heard is told by Status (Heard: a speech's start and end, in frames of the
  // open input since it opened: a take started at BeganAt less the pre-roll's frames
  // holds the speech whole).

  // Starts a take of AFormat's input into FileName, a new file: any existing entry of
  // that name makes it fail. Companions left there by an earlier take of the same name
  // are removed. Raises on failure and then leaves nothing running and no file behind.
  // The bit rate is used for MP3 only; the pre-roll comes from the open input: its
  // last PreRollMs, or (FromFrame >= 0) what it kept from its frame FromFrame on (a
  // speech's start less the pre-roll, say).
  void Start(const TTakeFormat &AFormat, const std::filesystem::path &FileName,
             std::int64_t FromFrame = -1);
  // Completes the running take's file with everything captured up to the call and
  // makes it durable; does nothing when no take runs. False when some of that failed
  // (the MP3's last bytes, tag or close, the WAV header, the sync): the take is then
  // incomplete or may not survive a power cut, and the user must be told.
  // May run on a worker thread while the window waits for it; a second call waits for
  // the first and then finds no take.
  bool Stop();

  bool Recording() const noexcept { return FCapture.Recording(); }

  // Pauses the running take (true) or resumes it, from the next captured buffer on:
  // while paused nothing is written, the peaks go on, and the take's two parts join
  // without a gap or a repeat. WAV and MP3 alike.
  void SetPaused(bool APaused) noexcept { FCapture.SetPaused(APaused); }
  // Seconds of audio in the running take so far (Status().TakeSeconds(), without taking
  // the levels).
  double TakeSeconds() const noexcept;

  // ---- playback of a take through the default output ----
  // Plays FileName from its start, stopping any other playback first.
  void PlayFile(const std::filesystem::path &FileName);
  // Stops and frees the playback stream; does nothing when none is open.
  void StopPlayback();
  // The status tells whether it plays, its position and length in seconds (0.0 when no
  // stream is open) and the level of the last 50 ms played on the capture peak scale
  // (kFullScale; 0 .. 65535, 0 when no stream is open or its level cannot be read).

  // ---- markers ----
  // A marker at the moment PressNs (SteadyNowNs's clock: when the key was pressed, which
  // may lie a little before now): in the running take at the frame its input had
  // delivered then, written to the take's label file at once; or else in the take that
  // plays, at the frame played then, into its label file and (WAV) its cue chunk. The
  // marker's number ("Markering N"), 0 when neither a take nor a playback runs. Raises
  // when the playing take's files cannot be written.
  std::size_t Mark(std::int64_t PressNs);
  // Moves the playback to the take's next marker (Forward) or the previous one (one
  // more than a fifth of a second behind the playback, so that a second press goes on
  // to the one before): that marker's number, 0 when there is none that way or nothing
  // plays.
  std::size_t SeekPlaybackToMarker(bool Forward);
  // The running take's markers so far, in seconds.
  std::vector<double> TakeMarkerSeconds() const;

  // ---- waveform ----
  // Reduces a take to at most MaxPoints peaks per channel (first two channels; a mono
  // take gets equal lists) with its duration and channel count; raises on failure.
  // Control (optional) receives the progress; once it is cancelled the analysis raises
  // audio::EWorkCancelled. MeasureFigures: the take's loudness, peak, RMS, noise floor
  // and clipped samples come from the same pass (Figures.Measured).
  TWaveAnalysis AnalyzeFile(const std::filesystem::path &FileName, int MaxPoints,
                            audio::TWorkControl *Control = nullptr, bool MeasureFigures = false);

  // ---- trimming ----
  // Cuts leading and trailing silence from a closed take, keeping 100 ms of room before
  // the first and after the last loud frame, when at least 50 ms would go at either end.
  // Keeps a copy of the take as its backup and notes the seconds cut in its trim
  // record. AFormat decides the new file's format (MP3 at Bitrate kbit/s). Trimmed when
  // the take was rewritten; the seconds that were (or would have been) cut either way.
  // Raises on failure, with the take as recorded back under its name. Control (optional)
  // receives the progress; a cancel is honoured only while the take is still whole, and
  // then raises audio::EWorkCancelled with everything as it was before the trim.
  TTrimCut TrimSilence(const std::filesystem::path &FileName, TRecordingFormat AFormat,
                       int Bitrate, audio::TWorkControl *Control = nullptr);
  // Trimmed when the take has both a backup and a trim record, and the record names
  // this very take (by size and modification time; a record that names no take, written
  // by an earlier version, counts as naming it); the seconds from the record.
  TTrimCut ReadTrimInfo(const std::filesystem::path &FileName);
  // Puts the backup back under the take's name and deletes the trim record. False, and
  // nothing touched, when there is no backup or the record names another take.
  bool UndoTrim(const std::filesystem::path &FileName);

  // ---- the data set ----
  // Writes the data set Job describes into its folder (whole or not at all), with a
  // line of every take in Takes, measured here; raises on failure or a cancel through
  // Control, leaving no folder behind. May run on a worker thread beside a take.
  audio::TDataSetReport ExportDataSet(const audio::TDataSetJob &Job,
                                      std::vector<audio::TDataSetTake> Takes,
                                      audio::TWorkControl *Control = nullptr);

  // ---- the figures of many takes ----
  // The figures of the takes Names of Folder: from its cijfers.tsv where a take is
  // unchanged, else measured side by side and put into that file (audio::SurveyTakes).
  // May run on a worker thread beside a take.
  std::vector<audio::TSurveyedTake> SurveyTakes(const std::filesystem::path &Folder,
                                                const std::vector<std::string> &Names,
                                                audio::TWorkControl *Control = nullptr,
                                                const audio::TSurveyReport &Report = nullptr,
                                                const std::vector<audio::TStoredFigures> *Known = nullptr)
  {
    return audio::SurveyTakes(FLayer, FTuning.AnalysisSplit, Folder, Names, Control, Report, Known);
  }

  // What Folder's cijfers.tsv holds now for takes that are still there unchanged (a
  // quick read: no take is decoded). Never raises; none without a file.
  static std::vector<audio::TStoredFigures> StoredFigures(const std::filesystem::path &Folder)
  {
    return audio::figure_store::ReadCurrent(Folder);
  }

private:
  audio::IAudioLayer &FLayer;
  const TEngineTuning FTuning;
  audio::TTakeCapture FCapture;
  audio::TTakePlayback FPlayback;
};

} // namespace praatkist
