#pragma once
// One take at a time from a capture device, into the file of a take writer (WAV or
// MP3) that the record callback feeds on the layer's capture thread. Publishes the live
// peaks of every captured buffer and watches for a take that ends by itself. Between
// takes it can hold the input open: live peaks, and the last stretch of audio, which
// the next take on that input begins with.

#include "audio/AudioLayer.h"
#include "audio/TakeFormat.h"
#include "audio/TakeResults.h"
#include "audio/capture/FrameClock.h"
#include "audio/capture/MarkerLog.h"
#include "audio/capture/PreRollRing.h"
#include "audio/capture/SpeechWatch.h"
#include "audio/capture/TakeWriter.h"
#include "audio/codec/WavHeader.h"

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>

namespace praatkist::platform {
class TFileLink;
} // namespace praatkist::platform

namespace praatkist::audio {

class TTakeCapture {
public:
  // WaveDataLimit: the most sample bytes of a WAV take; InputFrozenAfterMs: how long a
  // running take's input may stay silent before it counts as frozen.
  TTakeCapture(IAudioLayer &layer, std::uint32_t waveDataLimit = kMaxWaveDataBytes,
               std::int64_t inputFrozenAfterMs = 3000) noexcept;
  ~TTakeCapture();
  TTakeCapture(const TTakeCapture &) = delete;
  TTakeCapture &operator=(const TTakeCapture &) = delete;

  // As TBassRecorder::OpenInput, CloseInput and the rest of the open input.
  void OpenInput(const TInputFormat &input);
  void CloseInput() noexcept;
  bool InputOpen() const noexcept { return FInputOpen; }
  bool InputLost();
  std::uint64_t InputFrames() const noexcept
  {
    return FInputFrames.load(std::memory_order_acquire);
  }
  std::uint64_t PreRollFrames() const noexcept
  {
    return FPreRollFrames.load(std::memory_order_acquire);
  }

  // Raises "Er loopt al een opname." while a take runs.
  void EnsureNoTake() const;
  // As TBassRecorder::Start, without stopping playback (the engine does that first).
  void Start(const TTakeFormat &ATake, const std::filesystem::path &FileName,
             std::int64_t FromFrame = -1);
  // As TBassRecorder::Stop. A take begun on the open input hands its channel back to
  // the input (which goes on keeping its newest audio) instead of closing it.
  bool Stop();

  // Asks the capture to pause (true) or go on; it holds from the next captured buffer.
  // While paused nothing is written and the peaks go on.
  void SetPaused(bool paused) noexcept { FPauseRequest.store(paused, std::memory_order_release); }
  bool Paused() const noexcept { return FPauseRequest.load(std::memory_order_acquire); }
  // Frames in the take so far (written to its file).
  std::uint64_t TakeFrames() const noexcept { return FTakeFrames.load(std::memory_order_acquire); }
  // A captured sample reached full scale since the start; the take's frame where that
  // first happened (-1: none).
  // Before a take, on the open input: a sample reached full scale since it opened or
  // since the last take started.
  bool Clipped() const noexcept
  {
    return ClipFrame() >= 0 || FInputClipped.load(std::memory_order_acquire);
  }
  std::int64_t ClipFrame() const noexcept { return FClipFrame.load(std::memory_order_acquire); }

  // A marker in the running take at the frame the input had delivered at PressNs (the
  // steady clock's nanoseconds of a key press), written to the take's label file at
  // once: its number, 0 when no take runs.
  std::size_t Mark(std::int64_t pressNs) noexcept;
  const TMarkers &Markers() const noexcept { return FMarkerLog.Markers(); }

  void ConsumeStereoPeaks(int &left, int &right) noexcept;
  bool Recording() const noexcept { return FRecording.load(std::memory_order_acquire); }
  TCaptureEnd CaptureEnd();
  // A running take (that End says runs on) has received nothing for a while.
  bool InputFrozen(TCaptureEnd end) const noexcept;

  // The open input's speech detector (the window's side of it).
  TSpeechWatch &Speech() noexcept { return FSpeech; }

  std::uint32_t WaveDataLimit() const noexcept { return FWaveDataLimit; }
  std::uint32_t SampleRate() const noexcept { return FFormat.Rate; }
  std::uint16_t Channels() const noexcept { return FFormat.Channels; }

private:
  static bool RecordCallback(THandle handle, const void *buffer, std::uint32_t length,
                             void *user) noexcept;
  bool OnBuffer(const void *buffer, std::uint32_t length) noexcept;
  void KeepInput(const std::uint8_t *data, std::uint32_t length) noexcept;
  // The open input's newest audio: kept for the next take, and listened to.
  void KeepNewest(const std::uint8_t *data, std::uint32_t length) noexcept;
  bool BeginWithPreRoll() noexcept;
  bool TakePiece(const std::uint8_t *data, std::uint32_t length) noexcept;
  bool InputAlive();
  // The stop of a take on the open input: the channel goes back to the input at a
  // buffer that came after the stop's moment (or, when none comes, once everything
  // captured before it has been handed on). False when it could not be (the channel
  // ended): the take is then stopped as any other.
  bool HandBackToInput() noexcept;
  // The capture thread, while a hand-back is asked for: false when the input has it.
  bool TakeBufferDuringHandBack(const std::uint8_t *data, std::uint32_t length) noexcept;
  void NoteClip(const std::uint8_t *data, std::uint32_t length) noexcept;
  // A start that failed: its file goes, and every other thing it opened.
  void Release() noexcept;
  // A start on the open input that failed before the take began: the input stays.
  void ReleaseOnInput() noexcept;
  void AbandonTake() noexcept;

  IAudioLayer &FLayer;
  THandle FRecordHandle = 0;
  // Handed to the capture thread by the layer's start of the channel (or, on the open
  // input, by FRecording) and taken back after its stop, which waits for the thread: no
  // further guard is needed.
  std::unique_ptr<ITakeWriter> FWriter;
  TPcmFormat FFormat{0, 0};
  std::atomic<bool> FRecording{false};
  // The open input: the window's thread's view of it, and the capture thread's.
  std::atomic<bool> FInputOpen{false}; // set again by a stop on the worker thread
  TInputFormat FInput; // what the open input was opened with
  std::atomic<bool> FInputMode{false};
  std::atomic<std::uint64_t> FInputFrames{0};
  std::atomic<bool> FInputClipped{false};
  TPreRollRing FPreRoll;                     // the capture thread's while the input is open
  bool FTakeBegun = true;                    // the capture thread's, handed over at Start
  std::atomic<std::uint64_t> FPreRollFrames{0};
  // Frames the open input has delivered since it opened, take or not (the capture
  // thread's); a take on it begins at FStartFrom of them (-1: its whole pre-roll).
  std::uint64_t FStreamFrames = 0;
  std::int64_t FStartFrom = -1;
  TSpeechWatch FSpeech;
  std::mutex FStopLock; // one Stop at a time (window and worker threads, never audio)
  std::atomic<std::int32_t> FPeakLeft{0};
  std::atomic<std::int32_t> FPeakRight{0};
  std::atomic<int> FEndReason{0};
  std::atomic<bool> FPauseRequest{false}; // the window's wish
  bool FPauseApplied = false;             // the capture thread's
  std::atomic<std::uint64_t> FTakeFrames{0};
  std::atomic<std::int64_t> FClipFrame{-1};
  TFrameClock FFrameClock; // stamped by the capture thread, read by Mark
  // The take began on the open input (the window's thread).
  bool FTakeOnInput = false;
  // Handing the channel back to the input at a stop: who holds the take's writer.
  enum THandBack : int {
    hbNone = 0,   // the take runs
    hbAsked = 1,  // the stop asks: the capture thread takes buffers until the moment
    hbBuffer = 2, // the capture thread is writing a buffer of the take
    hbInput = 3,  // the input has the channel again; the stop has the writer
  };
  std::atomic<int> FHandBack{hbNone};
  std::atomic<std::int64_t> FHandBackAtNs{0}; // buffers from then on go to the input
  TMarkerLog FMarkerLog;   // the window's thread's
  const std::uint32_t FWaveDataLimit;
  // The running take's file, watched from the window's thread: removed means lost.
  std::filesystem::path FTakePath;
  std::unique_ptr<platform::TFileLink> FTakeLink;
  // Steady-clock milliseconds of the start or of the latest captured buffer.
  std::atomic<std::int64_t> FLastInputMs{0};
  const std::int64_t FInputFrozenAfterMs;
};

} // namespace praatkist::audio
