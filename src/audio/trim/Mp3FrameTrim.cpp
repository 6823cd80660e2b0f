#include "audio/trim/Mp3FrameTrim.h"

#include "platform/Errors.h"
#include "platform/FileOps.h"

#include <algorithm>

namespace praatkist::audio {

namespace {

constexpr std::uint64_t kMaxSkip = kMp3MaxTagDelay + kMp3DecoderDelay;
// Frames kept before the one that holds the first kept sample, at most.
constexpr std::size_t kMaxMargin = 4;
// Kernel copies go in steps of this many bytes, so that progress and a cancel are seen.
constexpr std::uint64_t kCopyStep = 64u << 20;

void PutBe32(std::uint8_t *p, std::uint32_t v) noexcept
{
  p[0] = static_cast<std::uint8_t>(v >> 24);
  p[1] = static_cast<std::uint8_t>(v >> 16);
  p[2] = static_cast<std::uint8_t>(v >> 8);
  p[3] = static_cast<std::uint8_t>(v);
}

// Bytes that frame K takes from the frames before frame B (0 when its main data lie
// in frames B .. K).
std::uint32_t ReservoirBefore(const TMp3Take &take, std::size_t b, std::size_t k) noexcept
{
  std::uint64_t inBetween = 0;
  for (std::size_t j = b; j < k; ++j)
    inBetween += take.Frames[j].PayloadBytes();
  const std::uint32_t need = take.Frames[k].MainDataBegin;
  return need > inBetween ? static_cast<std::uint32_t>(need - inBetween) : 0;
}

// A silent frame like frame B (no main data of its own, no CRC, padded) whose main
// data area ends with the bytes that come before frame B's main data area in the take,
// as many as it holds. At B's bit rate when that carries Need bytes, else at 320 kbit/s.
std::vector<std::uint8_t> LeadFrame(const TMp3Take &take, platform::TReadFile &file, std::size_t b,
                                    std::uint32_t need)
{
  const TMp3Frame &frame = take.Frames[b];
  std::uint8_t head[4];
  if (file.ReadAt(frame.Offset, head, 4) != 4)
    return {};
  TMp3Header h;
  if (!ParseMp3Header(head, h))
    return {};
  const auto payload = [&h](std::uint32_t kbps) {
    return Mp3FrameBytes(kbps, h.SampleRate, true) - 4 - h.SideInfoBytes;
  };
  const std::uint32_t kbps = payload(h.Kbps) >= need ? h.Kbps : 320;
  const std::uint32_t room = payload(kbps);
  // bit rate index, padding on, no CRC, no mode extension
  const std::uint32_t bits =
      (h.Bits & ~0xF000u & ~0x0030u) | Mp3BitrateIndex(kbps) << 12 | 1u << 9 | 1u << 16;
  std::vector<std::uint8_t> out(4 + h.SideInfoBytes + room, 0);
  PutBe32(out.data(), bits);
  // The reservoir: the main data areas of the frames before B, last bytes first.
  std::size_t fill = out.size();
  for (std::size_t j = b; j > 0 && fill > 4 + h.SideInfoBytes; --j) {
    const TMp3Frame &prev = take.Frames[j - 1];
    const std::size_t n = std::min<std::size_t>(prev.PayloadBytes(), fill - 4 - h.SideInfoBytes);
    fill -= n;
    if (file.ReadAt(prev.Offset + prev.Bytes - n, out.data() + fill, n) != n)
      return {};
  }
  if (out.size() - fill < need)
    return {};
  return out;
}

} // namespace

bool PlanFrameTrim(const TMp3Take &take, platform::TReadFile &file, std::uint64_t start,
                   std::uint64_t end, TFrameTrim &plan)
{
  plan = TFrameTrim{};
  const std::size_t frames = take.Frames.size();
  if (start >= end || end > take.Samples())
    return false;
  // Positions in the decoder's own output, before it skips anything.
  const std::uint64_t skip = std::uint64_t{take.Delay} + kMp3DecoderDelay;
  const std::uint64_t first = start + skip;
  const std::size_t a = static_cast<std::size_t>(first / kMp3FrameSamples); // holds it
  const std::uint64_t within = first % kMp3FrameSamples;
  const std::size_t last =
      static_cast<std::size_t>((end + skip + kMp3FrameSamples - 1) / kMp3FrameSamples); // one past
  if (a >= frames || last > frames)
    return false;

  struct TChoice {
    std::size_t From = 0;
    bool Lead = false;
    std::uint64_t Skip = 0;
  };
  std::vector<TChoice> choices;
  // From the take's very start the decoder works as it did on the take.
  if (first <= kMaxSkip)
    choices.push_back({0, false, first});
  // Else: frame A - 1 must decode with all of its main data, so that frame A comes out
  // exact; the frames decoded before frame A keep their count's parity.
  for (std::size_t margin = kMaxMargin; margin >= 1; --margin) {
    if (a < margin + 1)
      continue;
    const std::size_t from = a - margin;
    const std::uint32_t need = ReservoirBefore(take, from, a - 1);
    for (const bool lead : {false, true}) {
      const std::uint64_t before = margin + (lead ? 1 : 0);
      const std::uint64_t s = before * kMp3FrameSamples + within;
      if (s < kMp3DecoderDelay || s > kMaxSkip || before % 2 != a % 2 || (!lead && need > 0))
        continue;
      choices.push_back({from, lead, s});
    }
  }
  // No lead frame where none is needed, and the most frames before the kept ones.
  std::stable_sort(choices.begin(), choices.end(),
                   [](const TChoice &x, const TChoice &y) { return !x.Lead && y.Lead; });
  for (const TChoice &c : choices) {
    if (c.Lead) {
      plan.Lead = LeadFrame(take, file, c.From, ReservoirBefore(take, c.From, a - 1));
      if (plan.Lead.empty())
        continue;
    }
    plan.First = c.From;
    plan.End = last;
    plan.Delay = static_cast<std::uint32_t>(c.Skip - kMp3DecoderDelay);
    // What the last frame holds past the last kept sample, the decoder's delay added.
    const std::uint64_t count = (c.Lead ? 1 : 0) + (last - c.From);
    plan.Padding =
        static_cast<std::uint32_t>(count * kMp3FrameSamples - plan.Delay - (end - start));
    if (plan.Padding < kMp3DecoderDelay || plan.Padding > kMp3MaxTagDelay)
      return false;
    plan.CopyOffset = take.Frames[c.From].Offset;
    plan.CopyBytes = take.Frames[last - 1].Offset + take.Frames[last - 1].Bytes - plan.CopyOffset;
    // The tag counts bytes in 32 bits.
    return take.TagFrame.size() + plan.Lead.size() + plan.CopyBytes <= 0xFFFFFFFFu;
  }
  return false;
}

std::vector<std::uint8_t> BuildTagFrame(const TMp3Take &take, const TFrameTrim &plan,
                                        std::uint16_t musicCrc)
{
  std::vector<std::uint8_t> tag = take.TagFrame;
  const std::uint64_t count = (plan.Lead.empty() ? 0 : 1) + (plan.End - plan.First);
  const std::uint64_t total = tag.size() + plan.Lead.size() + plan.CopyBytes;
  std::uint8_t *x = tag.data() + take.Tag.Xing;
  PutBe32(x + 8, static_cast<std::uint32_t>(count));
  PutBe32(x + 12, static_cast<std::uint32_t>(total));
  if (take.Tag.HasToc()) {
    // Entry i: where i % of the frames begins, in 256ths of the file.
    for (std::size_t i = 0; i < 100; ++i) {
      const std::uint64_t k = i * count / 100;
      std::uint64_t at = tag.size();
      if (k > 0 || plan.Lead.empty()) {
        const std::size_t j =
            plan.First + static_cast<std::size_t>(k) - (plan.Lead.empty() ? 0 : 1);
        at = tag.size() + plan.Lead.size() + (take.Frames[j].Offset - plan.CopyOffset);
      }
      x[16 + i] = static_cast<std::uint8_t>(std::min<std::uint64_t>(255, 256 * at / total));
    }
  }
  std::uint8_t *lame = tag.data() + take.Tag.Lame;
  lame[21] = static_cast<std::uint8_t>(plan.Delay >> 4);
  lame[22] = static_cast<std::uint8_t>((plan.Delay & 0xF) << 4 | plan.Padding >> 8);
  lame[23] = static_cast<std::uint8_t>(plan.Padding);
  PutBe32(lame + 28, static_cast<std::uint32_t>(total));
  lame[32] = static_cast<std::uint8_t>(musicCrc >> 8);
  lame[33] = static_cast<std::uint8_t>(musicCrc);
  const std::uint16_t crc = Mp3Crc16(tag.data(), take.Tag.Lame + 34);
  lame[34] = static_cast<std::uint8_t>(crc >> 8);
  lame[35] = static_cast<std::uint8_t>(crc);
  return tag;
}

void WriteFrameTrim(const TMp3Take &take, const TFrameTrim &plan, platform::TReadFile &source,
                    const std::filesystem::path &target, void *buffer, std::size_t bufferSize,
                    const std::function<void(double)> &progress, platform::TFileClaim *claim)
{
  // The music CRC of the tag covers every byte after it: a first pass over the kept
  // frames (which also brings them into the cache for the copy), the copy the second.
  auto *bytes = static_cast<std::uint8_t *>(buffer);
  const double total = 2.0 * static_cast<double>(plan.CopyBytes);
  std::uint16_t crc = Mp3Crc16(plan.Lead.data(), plan.Lead.size());
  for (std::uint64_t done = 0; done < plan.CopyBytes;) {
    progress(static_cast<double>(done) / total);
    const std::size_t n = source.ReadAt(plan.CopyOffset + done, bytes,
                                        std::min<std::uint64_t>(bufferSize, plan.CopyBytes - done));
    if (n == 0)
      throw EPraatkistError("De opname kon niet volledig worden getrimd.");
    crc = Mp3Crc16(bytes, n, crc);
    done += n;
  }
  const std::vector<std::uint8_t> tag = BuildTagFrame(take, plan, crc);

  platform::TWriteFile out(target);
  if (claim != nullptr)
    claim->Claim(target);
  out.Write(tag.data(), tag.size());
  if (!plan.Lead.empty())
    out.Write(plan.Lead.data(), plan.Lead.size());
  std::uint64_t wanted = plan.CopyBytes, at = plan.CopyOffset;
  while (wanted != 0) {
    progress(0.5 + 0.5 * (1.0 - static_cast<double>(wanted) / static_cast<double>(plan.CopyBytes)));
    const std::uint64_t n =
        out.CopyFrom(source, at, std::min(wanted, kCopyStep), bytes, bufferSize);
    if (n == 0)
      throw EPraatkistError("De opname kon niet volledig worden getrimd.");
    at += n;
    wanted -= n;
  }
  // On the disk before anything points at it.
  out.Sync();
  out.Close();
}

} // namespace praatkist::audio
