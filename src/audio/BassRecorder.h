#pragma once
// The audio engine: the one object the window talks to, owning every handle of the
// audio layer. It records one take at a time into a WAV or MP3 file, publishes live
// peak levels for the meter, and plays, analyses, trims and untrims takes. The work
// itself is done by the parts below it: capture/, playback/, analysis/ and trim/.

#include "audio/AudioErrors.h"
#include "audio/AudioLayer.h"
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
#include <string>
#include <vector>

namespace praatkist {

struct TBassDeviceInfo {
  std::string Name;   // UTF-8
  std::string Driver; // UTF-8
  std::uint32_t Flags = 0;
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
  explicit TBassRecorder(audio::IAudioLayer &layer);
  // Stops a take, stops playback, frees the layer.
  virtual ~TBassRecorder();
  TBassRecorder(const TBassRecorder &) = delete;
  TBassRecorder &operator=(const TBassRecorder &) = delete;

  // Capture devices 0 .. DeviceCount - 1; no engine needed.
  static int DeviceCount(audio::IAudioLayer &layer);
  static bool DeviceInfo(audio::IAudioLayer &layer, int Index, TBassDeviceInfo &Info);
  // The devices a take can be recorded from, in the layer's order; and a number that
  // changes whenever the system's device list does.
  std::vector<TCaptureDevice> CaptureDevices();
  std::uint32_t DeviceListSerial() { return FLayer.DeviceListSerial(); }

  // ---- the open input, between takes ----
  // Opens the input's device at its rate and channels while no take runs:
  // ConsumeStereoPeaks and Clipped follow it as during a take, and the last PreRollMs
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
  // The open input has ended by itself: its device or the audio server went away.
  bool InputLost() { return FCapture.InputLost(); }
  // Frames the open input has captured since it opened.
  std::uint64_t InputFrames() const noexcept { return FCapture.InputFrames(); }
  // ---- listening for speech on the open input (hands-free takes) ----
  // From now on, once the input has been quiet for a moment, the open input is
  // listened to for speech by ARules, until a speech has started and ended; also on
  // through a take started meanwhile. The wish holds on when the input is reopened.
  // An input opened with Listen keeps what a take needs from before a speech's start.
  void Listen(const audio::TSpeechRules &ARules) noexcept { FCapture.Speech().Listen(ARules); }
  void StopListening() noexcept { FCapture.Speech().StopListening(); }
  // Nothing is judged while held: a pause.
  void HoldListening(bool AHeld) noexcept { FCapture.Speech().Hold(AHeld); }
  // What was heard since the last call: a speech's start and end (frames of the open
  // input since it opened: a take started at BeganAt less the pre-roll's frames holds
  // the speech whole).
  audio::TSpeechEvents HeardSpeech() noexcept { return FCapture.Speech().Poll(); }

  // Seconds the running take began with from before its start (the pre-roll).
  double PreRollSeconds() const noexcept;

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

  // Peaks (0 .. kFullScale) of the latest captured buffer, then both reset to 0.
  void ConsumeStereoPeaks(int &LeftPeak, int &RightPeak);
  int ConsumePeakLevel();

  bool Recording() const noexcept { return FCapture.Recording(); }

  // Pauses the running take (true) or resumes it, from the next captured buffer on:
  // while paused nothing is written, the peaks go on, and the take's two parts join
  // without a gap or a repeat. WAV and MP3 alike.
  void SetPaused(bool APaused) noexcept { FCapture.SetPaused(APaused); }
  bool Paused() const noexcept { return FCapture.Paused(); }
  // Seconds of audio in the running take so far (what the clock shows while paused).
  double TakeSeconds() const noexcept;
  // A captured sample reached full scale since the take started (before a take: since
  // the open input opened or the last take started); the take's second at which that
  // first happened (0 when it came before the take).
  bool Clipped() const noexcept { return FCapture.Clipped(); }
  double ClipSeconds() const noexcept;

  // True when the running take has ended by itself (input gone, file not writable,
  // WAV size limit); Why then holds the text for the user. The take must still be
  // completed with Stop.
  bool CaptureEndedByItself(std::string &Why);
  TCaptureEnd CaptureEnd();
  // True while a running take has received nothing from its input for a few seconds
  // (a frozen device or server); false again as soon as audio arrives.
  bool InputFrozen();

  // ---- playback of a take through the default output ----
  // Plays FileName from its start, stopping any other playback first.
  void PlayFile(const std::filesystem::path &FileName);
  // Stops and frees the playback stream; does nothing when none is open.
  void StopPlayback();
  // A stream is open and playing (false once it has played to its end).
  bool PlaybackActive();
  // Position and length of the open stream in seconds; 0.0 when none is open.
  double PlaybackPositionSeconds();
  double PlaybackLengthSeconds();
  // Level of the last 50 ms played on the capture peak scale (kFullScale),
  // 0 .. 65535; 0 when no stream is open or its level cannot be read.
  int PlaybackPeakLevel();

  // ---- markers ----
  // A marker at the moment PressNs (SteadyNowNs's clock: when the key was pressed, which
  // may lie a little before now): in the running take at the frame its input had
  // delivered then, written to the take's label file at once; or else in the take that
  // plays, at the frame played then, into its label file and (WAV) its cue chunk. The
  // marker's number ("Markering N"), 0 when neither a take nor a playback runs. Raises
  // when the playing take's files cannot be written.
  std::size_t Mark(std::int64_t PressNs);
  static std::int64_t SteadyNowNs() noexcept { return audio::TTakeCapture::NowNs(); }
  // Moves the playback to the take's next marker (Forward) or the previous one (one
  // more than a fifth of a second behind the playback, so that a second press goes on
  // to the one before): that marker's number, 0 when there is none that way or nothing
  // plays.
  std::size_t SeekPlaybackToMarker(bool Forward);
  // The running take's markers so far (frames).
  const audio::TMarkers &TakeMarkers() const noexcept { return FCapture.Markers(); }
  // The markers of a take from its label file, in seconds.
  std::vector<double> ReadMarkerSeconds(const std::filesystem::path &FileName);

  // WAV takes in SessionFolder that a crash or a kill ended get their true sizes and the
  // cue chunk of their markers; a take that a running writer holds (in this program or
  // another) is left alone. How many were mended; never raises.
  static int MendCrashedTakes(const std::filesystem::path &SessionFolder) noexcept;

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
    return audio::SurveyTakes(FLayer, FAnalysis, Folder, Names, Control, Report, Known);
  }

  // What Folder's cijfers.tsv holds now for takes that are still there unchanged (a
  // quick read: no take is decoded). Never raises; none without a file.
  static std::vector<audio::TStoredFigures> StoredFigures(const std::filesystem::path &Folder)
  {
    return audio::figure_store::ReadCurrent(Folder);
  }

  // How AnalyzeFile shares out its decoding: Chunks stretches side by side (0: one per
  // core) for takes of at least MinFrames frames, and (CompressedOnly) only for files
  // that decode to at least twice their size (any file when its figures are measured).
  // Tests force stretches onto short takes.
  using TAnalysisSplit = audio::TAnalysisSplit;
  void SetAnalysisSplit(const TAnalysisSplit &split) noexcept { FAnalysis = split; }

  // For tests: a lower limit for the WAV data size than the header allows.
  void SetWaveDataLimit(std::uint32_t limit) noexcept { FCapture.SetWaveDataLimit(limit); }
  // For tests: how long an input may stay silent before it counts as frozen.
  void SetInputFrozenAfter(std::int64_t ms) noexcept { FCapture.SetInputFrozenAfter(ms); }

  std::uint32_t SampleRate() const noexcept { return FCapture.SampleRate(); }
  std::uint16_t Channels() const noexcept { return FCapture.Channels(); }

private:
  audio::IAudioLayer &FLayer;
  audio::TTakeCapture FCapture;
  audio::TTakePlayback FPlayback;
  TAnalysisSplit FAnalysis;
};

} // namespace praatkist
