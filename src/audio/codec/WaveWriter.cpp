#include "audio/codec/WaveWriter.h"

#include "audio/codec/WavCues.h"
#include "platform/Errors.h"

#include <algorithm>
#include <system_error>

namespace praatkist::audio {

namespace fs = std::filesystem;

bool ParseOwnWave(const std::uint8_t *head, std::size_t size, TWaveLayout &layout) noexcept
{
  return size >= kWaveHeaderSize && ParseWaveLayout(head, size, layout) &&
         layout.DataOffset == kWaveHeaderSize && IsPcm16(layout);
}

bool IsOwnWave(const fs::path &file) noexcept
{
  try {
    platform::TReadFile in(file);
    TWaveHeader head{};
    TWaveLayout layout;
    return ParseOwnWave(head.data(), in.ReadAt(0, head.data(), head.size()), layout);
  } catch (...) {
    return false;
  }
}

TWaveWriter::TWaveWriter(const fs::path &path, TPcmFormat format, platform::TFileClaim *keepClaim,
                         std::uint32_t dataLimit)
    : FPath(path), FFormat(format), FLimit(WaveDataRoom(dataLimit)),
      FFile(std::make_unique<platform::TWriteFile>(path))
{
  if (FFormat.Channels == 0)
    FFormat.Channels = 1;
  try {
    if (keepClaim == nullptr) {
      FOwnClaim = std::make_unique<platform::TFileClaim>();
      keepClaim = FOwnClaim.get();
    }
    keepClaim->Claim(path);
  } catch (...) {
    FFile.reset();
    std::error_code ec;
    fs::remove(path, ec);
    throw;
  }
}

TWaveWriter::TWaveWriter(const fs::path &path, TPcmFormat format, std::uint32_t dataBytes,
                         std::unique_ptr<platform::TWriteFile> file)
    : FPath(path), FFormat(format), FFile(std::move(file)), FDataBytes(dataBytes)
{
}

TWaveWriter::TWaveWriter(TWaveWriter &&) noexcept = default;

TWaveWriter::~TWaveWriter() = default;

TWaveWriter TWaveWriter::Reopen(const fs::path &path)
{
  TWaveHeader head{};
  std::uint64_t size = 0;
  std::size_t got = 0;
  {
    platform::TReadFile in(path);
    got = in.ReadAt(0, head.data(), head.size());
    size = in.Size();
  }
  TWaveLayout layout;
  if (!ParseOwnWave(head.data(), got, layout))
    throw EInvalidOperation("Dit is geen WAV-opname van Praatkist: " + platform::PathText(path));

  const TPcmFormat format{layout.SampleRate, layout.Channels};
  std::uint64_t data = size - kWaveHeaderSize;
  if (layout.DataBytes != kProvisionalSize)
    data = std::min<std::uint64_t>(data, layout.DataBytes);
  data = std::min<std::uint64_t>(data, kMaxWaveDataBytes);
  data -= data % format.FrameBytes();

  TWaveWriter writer(path, format, static_cast<std::uint32_t>(data),
                     std::make_unique<platform::TWriteFile>(path, platform::TWriteFile::cfExisting));
  if (size != kWaveHeaderSize + data && !writer.FFile->TryTruncate(kWaveHeaderSize + data))
    writer.Fail();
  if (!writer.WriteHeader(0))
    writer.Fail();
  return writer;
}

void TWaveWriter::Begin(std::optional<std::uint32_t> dataBytes)
{
  const TWaveHeader header = dataBytes
                                 ? BuildWaveHeader(*dataBytes, FFormat.Rate, FFormat.Channels)
                                 : BuildProvisionalWaveHeader(FFormat.Rate, FFormat.Channels);
  FFile->Write(header.data(), header.size());
  if (dataBytes)
    FHeader = THeaderSizes{*dataBytes, 0};
}

TWaveWriter::TAppend TWaveWriter::TryAppend(const void *pcm, std::uint32_t bytes) noexcept
{
  if (!FFile)
    return waFailed;
  const std::uint32_t room = Room();
  bool full = false;
  if (bytes > room) {
    // Keep whole frames only, so that the header's sizes stay a multiple of a frame.
    bytes = room - room % FFormat.FrameBytes();
    full = true;
  }
  if (bytes > 0 && !FFile->TryWrite(pcm, bytes)) {
    CutBack();
    return waFailed;
  }
  FDataBytes += bytes;
  return full ? waFull : waWritten;
}

void TWaveWriter::Append(const void *pcm, std::uint32_t bytes)
{
  if (bytes > Room())
    TooLarge();
  try {
    FFile->Write(pcm, bytes);
  } catch (...) {
    CutBack();
    throw;
  }
  FDataBytes += bytes;
}

std::uint64_t TWaveWriter::AppendCopy(platform::TReadFile &source, std::uint64_t offset,
                                      std::uint64_t length, void *buffer, std::size_t bufferSize)
{
  if (length > Room())
    TooLarge();
  std::uint64_t copied = 0;
  try {
    copied = FFile->CopyFrom(source, offset, length, buffer, bufferSize);
  } catch (...) {
    CutBack();
    throw;
  }
  FDataBytes += static_cast<std::uint32_t>(copied);
  return copied;
}

std::vector<std::uint8_t> TWaveWriter::FittingChunks(const TMarkers &markers) const
{
  std::vector<std::uint8_t> chunks = BuildCueChunks(markers);
  // no room for them in the RIFF size: the label file keeps them
  if (kWaveHeaderSize - 8 + std::uint64_t{FDataBytes} + chunks.size() > 0xFFFFFFFFull)
    chunks.clear();
  return chunks;
}

bool TWaveWriter::WriteHeader(std::uint32_t trailing) noexcept
{
  const THeaderSizes sizes{FDataBytes, trailing};
  if (FHeader == sizes)
    return true;
  const TWaveHeader header = BuildWaveHeader(FDataBytes, FFormat.Rate, FFormat.Channels, trailing);
  if (!FFile->TryWriteAt(0, header.data(), header.size()))
    return false;
  FHeader = sizes;
  return true;
}

bool TWaveWriter::TryFinish(const TMarkers &markers) noexcept
{
  if (!FFile)
    return false;
  std::vector<std::uint8_t> chunks;
  try {
    chunks = FittingChunks(markers);
  } catch (...) {
    chunks.clear();
  }
  if (!chunks.empty() && !FFile->TryWrite(chunks.data(), chunks.size())) {
    CutBack();
    chunks.clear();
  }
  return WriteHeader(static_cast<std::uint32_t>(chunks.size()));
}

void TWaveWriter::Finish(const TMarkers &markers)
{
  const std::vector<std::uint8_t> chunks = FittingChunks(markers);
  if (!chunks.empty()) {
    try {
      FFile->Write(chunks.data(), chunks.size());
    } catch (...) {
      CutBack();
      throw;
    }
  }
  if (!WriteHeader(static_cast<std::uint32_t>(chunks.size())))
    Fail();
}

void TWaveWriter::SyncAndClose()
{
  FFile->Sync();
  FFile->Close();
  Close();
}

void TWaveWriter::Close() noexcept
{
  FFile.reset();
  if (FOwnClaim)
    FOwnClaim->Release();
}

void TWaveWriter::Abandon() noexcept
{
  FFile.reset();
  std::error_code ec;
  fs::remove(FPath, ec);
  if (FOwnClaim)
    FOwnClaim->Release();
}

void TWaveWriter::CutBack() noexcept
{
  FFile->TryTruncate(kWaveHeaderSize + std::uint64_t{FDataBytes});
}

void TWaveWriter::Fail() const
{
  throw EFileError(platform::SystemErrorText(FPath));
}

void TWaveWriter::TooLarge() const
{
  throw EFileError("Het bestand wordt te groot voor WAV: " + platform::PathText(FPath));
}

} // namespace praatkist::audio
