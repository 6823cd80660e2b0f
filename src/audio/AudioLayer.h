#pragma once
// The audio layer: every call the engine makes into an audio system goes through
// this interface. It is shaped after what the engine needs of a small audio
// library: 32-bit handles with 0 meaning failure, and an error code that says why
// the last call on the calling thread failed. No backend type appears here, so a
// Windows backend can sit beside the Linux one (libpulse, libsndfile). The layer
// captures, plays and decodes; it writes no files (the engine writes its takes).
//
// Samples are always 16-bit signed little-endian PCM, channels interleaved.

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

namespace praatkist::audio {

using THandle = std::uint32_t;

// Error codes (ErrorGetCode). The engine shows them in "%s mislukt (BASS-fout %d).".
enum TAudioErrorCode : int {
  kErrOk = 0,
  kErrMemory = 1,        // out of memory
  kErrFileOpen = 2,      // the file cannot be opened
  kErrDriver = 3,        // no audio server or driver available
  kErrHandle = 5,        // invalid handle
  kErrFormat = 6,        // sample format not supported
  kErrPosition = 7,      // invalid position
  kErrInit = 8,          // layer not initialised (Init / RecordInit missing)
  kErrAlready = 14,      // already initialised
  kErrIllegalParam = 20, // illegal parameter
  kErrDevice = 23,       // illegal device number, or the device cannot be opened
  kErrCreate = 33,       // the output file cannot be created
  kErrNotAvailable = 37, // requested data not available
  kErrFileForm = 41,     // unsupported file format
  kErrCodec = 44,        // codec not available
  kErrEnded = 45,        // the channel has ended (device or server gone)
  kErrUnknown = -1,      // any other failure
};

// Device flags (TAudioDeviceInfo::Flags).
enum : std::uint32_t {
  kDeviceEnabled = 1,  // usable
  kDeviceDefault = 2,  // the system's default input
  kDeviceInit = 4,     // opened with RecordInit
  kDeviceLoopback = 8, // plays back what an output plays (a monitor), not a real input
};

// Channel states (ChannelIsActive).
enum : int {
  kActiveStopped = 0, // stopped, ended, or no such channel
  kActivePlaying = 1,
  kActiveStalled = 2, // playing but starved of data
  kActivePaused = 3,  // created paused, not yet started
};

// Failure values of the 64-bit byte queries and of ChannelGetData.
inline constexpr std::uint64_t kPositionError = ~std::uint64_t{0};
inline constexpr std::uint32_t kDataError = 0xFFFFFFFFu;

struct TAudioDeviceInfo {
  std::string Name;   // description, UTF-8 ("Sine source at 440 Hz")
  std::string Driver; // the system's identifier of the device, UTF-8
  std::uint32_t Flags = 0;
};

struct TChannelInfo {
  std::uint32_t Freq = 0;  // sample rate in Hz
  std::uint32_t Chans = 0; // channel count
};

// Receives one captured buffer on the layer's capture thread (never on the audio
// system's real-time thread). Buffers arrive one at a time and in order. Return false to
// end the capture. Must not throw.
using TRecordProc = bool (*)(THandle channel, const void *buffer, std::uint32_t length,
                             void *user) noexcept;

class IAudioLayer {
public:
  virtual ~IAudioLayer() = default;

  // ---- library ---------------------------------------------------------------
  // Opens the default output (and the connection to the audio system).
  // Fails with kErrDriver when there is no audio server, kErrAlready when open.
  virtual bool Init() = 0;
  // Closes everything: channels, streams, the capture device, the output.
  virtual void Free() = 0;
  // Why the last failing call made on the calling thread failed (kErrOk if none).
  virtual int ErrorGetCode() = 0;

  // ---- capture ---------------------------------------------------------------
  // Capture device Index (0, 1, 2 ...); false once the index is past the last one.
  // Asking for index 0 reads the system's device list afresh; higher indexes read
  // the list taken then. Works without Init.
  virtual bool RecordGetDeviceInfo(int index, TAudioDeviceInfo &info) = 0;
  // A number that changes whenever the system's list of capture devices may have
  // changed (a device added, removed or renamed, the default input changed, the audio
  // server gone or back). Cheap: the window asks it on a timer while idle. Works
  // without Init.
  virtual std::uint32_t DeviceListSerial() = 0;
  // Opens capture device Index as the current capture device (-1: the system's
  // default input). kErrDevice: no such device; kErrAlready: a capture device is
  // open; kErrDriver.
  virtual bool RecordInit(int index) = 0;
  // Ends every capture channel of the current capture device and closes it.
  virtual void RecordFree() = 0;
  // Creates a capture channel on the current capture device, paused: no buffer
  // reaches Proc before ChannelPlay. Rate 44100, 48000 or 96000; channels 1 or 2.
  // When the device or the audio server goes away the channel ends by itself
  // (ChannelIsActive then answers kActiveStopped) within a second.
  virtual THandle RecordStart(std::uint32_t rate, std::uint32_t channels, TRecordProc proc,
                              void *user) = 0;

  // ---- channels: capture channels, playback and decoding streams ---------------
  // Starts (or resumes) a channel. Restart: a playback stream starts at its start.
  virtual bool ChannelPlay(THandle channel, bool restart) = 0;
  // Stops a channel. For a capture channel this is final (it cannot be played
  // again): everything the device captured up to the call is still handed to Proc
  // before this returns, which may take the device's latency plus a few tens of
  // milliseconds; then no Proc call is running or will run. Called from Proc itself, it delivers nothing more. Never fails
  // loudly; a bad handle is ignored.
  virtual void ChannelStop(THandle channel) = 0;
  virtual int ChannelIsActive(THandle channel) = 0;
  // True when a capture channel lost captured audio because Proc fell behind by
  // more than the layer can hold (a few seconds). The channel then ends by itself
  // after handing on what came before the loss, so a take never has a hole.
  virtual bool ChannelDataLost(THandle channel) = 0;
  virtual bool ChannelGetInfo(THandle channel, TChannelInfo &info) = 0;
  // Length and position in bytes of the 16-bit PCM the channel delivers;
  // kPositionError on failure. A playback stream's position is what has been heard.
  // A decoding stream's length is what the file claims: a damaged file may end
  // earlier (ChannelGetData then answers kDataError with kErrEnded).
  virtual std::uint64_t ChannelGetLength(THandle channel) = 0;
  virtual std::uint64_t ChannelGetPosition(THandle channel) = 0;
  virtual bool ChannelSetPosition(THandle channel, std::uint64_t bytes) = 0;
  // Bytes of the channel's PCM to seconds; negative on failure.
  virtual double ChannelBytes2Seconds(THandle channel, std::uint64_t bytes) = 0;
  // Level (0 to 1 = full scale) of the last Seconds of a playing playback stream's
  // output, left in Levels[0] and right in Levels[1] (equal for mono). Fails for
  // other channels and for a stream that is not playing.
  virtual bool ChannelGetLevelEx(THandle channel, float levels[2], float seconds) = 0;
  // Reads up to Length bytes of PCM from a decoding stream; 0 or kDataError (with
  // kErrEnded at the end) ends reading.
  virtual std::uint32_t ChannelGetData(THandle channel, void *buffer, std::uint32_t length) = 0;

  // ---- streams ---------------------------------------------------------------
  // Opens a WAV or MP3 file. Decode: a decoding stream read with ChannelGetData;
  // otherwise a playback stream on the default output (needs Init), stopped until
  // ChannelPlay. kErrFileOpen, kErrFileForm, kErrFormat, kErrInit.
  virtual THandle StreamCreateFile(const std::filesystem::path &file, bool decode) = 0;
  virtual void StreamFree(THandle stream) = 0;
};

// The layer for this platform (libpulse and libsndfile on Linux).
std::unique_ptr<IAudioLayer> CreateSystemAudioLayer();

} // namespace praatkist::audio
