// Audio files made in memory by libsndfile, for the saver to write.
#include <sndfile.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "host/signal/audio_file.h"
#include "host/signal/sound_file.h"

namespace pellory {
namespace {

// The most sample bytes a WAV is written with: its sizes are 32 bits, and
// its header and strings need room below them.
constexpr uint64_t kLargestWavData = (uint64_t{1} << 32) - (uint64_t{1} << 20);

// Frames written a call: few enough to keep the interleaved buffer in the
// caches.
constexpr sf_count_t kFramesAtOnce = 1 << 16;

// What libsndfile writes into: a file in memory, which it may seek back in
// to finish its header.
struct Writing {
  std::string* file;
  int64_t position = 0;
};

sf_count_t WritingLength(void* user) {
  return static_cast<sf_count_t>(static_cast<Writing*>(user)->file->size());
}

sf_count_t WritingSeek(sf_count_t offset, int whence, void* user) {
  auto* writing = static_cast<Writing*>(user);
  const int64_t from = whence == SEEK_CUR ? writing->position
                       : whence == SEEK_END
                           ? static_cast<int64_t>(writing->file->size())
                           : 0;
  if (from + offset < 0) return -1;
  writing->position = from + offset;
  return writing->position;
}

sf_count_t WritingRead(void* into, sf_count_t count, void* user) {
  auto* writing = static_cast<Writing*>(user);
  const int64_t size = static_cast<int64_t>(writing->file->size());
  const int64_t got =
      std::max<int64_t>(0, std::min<int64_t>(count, size - writing->position));
  if (got > 0) {
    std::memcpy(into, writing->file->data() + writing->position,
                static_cast<size_t>(got));
  }
  writing->position += got;
  return got;
}

sf_count_t WritingWrite(const void* from, sf_count_t count, void* user) {
  auto* writing = static_cast<Writing*>(user);
  const auto end = static_cast<size_t>(writing->position + count);
  if (end > writing->file->size()) writing->file->resize(end);
  std::memcpy(writing->file->data() + writing->position, from,
              static_cast<size_t>(count));
  writing->position += count;
  return count;
}

sf_count_t WritingTell(void* user) {
  return static_cast<Writing*>(user)->position;
}

SF_VIRTUAL_IO kWritingIo = {WritingLength, WritingSeek, WritingRead,
                            WritingWrite, WritingTell};
}  // namespace

bool AudioFileBytes(std::span<const Signal* const> channels,
                    const SignalFormat& format, std::string* file,
                    int64_t* clipped, std::string* err) {
  // 8-bit samples are unsigned in the RIFF family, signed elsewhere.
  const bool riff = format.container == SF_FORMAT_WAV ||
                    format.container == SF_FORMAT_WAVEX ||
                    format.container == SF_FORMAT_W64 ||
                    format.container == SF_FORMAT_RF64;
  const int subtype = format.bits == 8
                          ? (riff ? SF_FORMAT_PCM_U8 : SF_FORMAT_PCM_S8)
                      : format.bits == 16 ? SF_FORMAT_PCM_16
                      : format.bits == 24 ? SF_FORMAT_PCM_24
                                          : SF_FORMAT_PCM_32;
  SF_INFO info = {};
  info.samplerate = format.rate;
  info.channels = static_cast<int>(channels.size());
  // A WAV whose samples reach past 4 GB, which a WAV cannot count, is
  // written as RF64 (libsndfile downgrades it to a WAV should it end up
  // smaller); any other stays a plain WAV, as every tool reads it.
  const uint64_t data_bytes =
      static_cast<uint64_t>(channels[0]->SampleCount()) * channels.size() *
      static_cast<uint64_t>(format.bits / 8);
  const int container =
      format.container == SF_FORMAT_WAV && data_bytes >= kLargestWavData
          ? SF_FORMAT_RF64
          : format.container;
  info.format = container | subtype;
  if (sf_format_check(&info) == 0) {
    *err = FormatName(format.container) + " does not take " +
           std::to_string(format.bits) + "-bit samples in " +
           std::to_string(info.channels) + " channels at " +
           std::to_string(format.rate) + " Hz";
    return false;
  }
  file->clear();
  Writing writing = {file, 0};
  SoundFile sound(sf_open_virtual(&kWritingIo, SFM_WRITE, &info, &writing));
  if (sound == nullptr) {
    *err = Reason(sf_strerror(nullptr));
    return false;
  }
  if (container == SF_FORMAT_RF64) {
    sf_command(sound.get(), SFC_RF64_AUTO_DOWNGRADE, nullptr, SF_TRUE);
  }
  const std::pair<int, const std::string*> strings[] = {
      {SF_STR_TITLE, &format.title},
      {SF_STR_ARTIST, &format.artist},
      {SF_STR_COMMENT, &format.comment},
      {SF_STR_DATE, &format.date}};
  for (const auto& [which, value] : strings) {
    if (!value->empty()) sf_set_string(sound.get(), which, value->c_str());
  }
  const int32_t high =
      format.bits == 32 ? INT32_MAX : (int32_t{1} << (format.bits - 1)) - 1;
  const int32_t low = -high - 1;
  const int shift = 32 - format.bits;
  const size_t width = channels.size();
  const sf_count_t count = channels[0]->SampleCount();
  std::vector<int> interleaved(kFramesAtOnce * width);
  *clipped = 0;
  for (sf_count_t done = 0; done < count;) {
    const sf_count_t frames = std::min(kFramesAtOnce, count - done);
    for (size_t c = 0; c < width; ++c) {
      const int32_t* samples = channels[c]->data() + 1 + done;
      for (sf_count_t i = 0; i < frames; ++i) {
        // Saturate: a sample beyond the file's width has no value there.
        const int32_t value = std::clamp(samples[i], low, high);
        *clipped += value != samples[i];
        // Scaled to 32 bits, as libsndfile takes every width.
        interleaved[static_cast<size_t>(i) * width + c] =
            static_cast<int>(static_cast<uint32_t>(value) << shift);
      }
    }
    if (sf_writef_int(sound.get(), interleaved.data(), frames) != frames) {
      *err = Reason(sf_strerror(sound.get()));
      return false;
    }
    done += frames;
  }
  if (sf_close(sound.release()) != 0) {
    *err = Reason(sf_strerror(nullptr));
    return false;
  }
  return true;
}
}  // namespace pellory
