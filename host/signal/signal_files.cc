// Signal's operations on files and the console: where a file's format is
// chosen. A file is read as audio where libsndfile recognises its content,
// else as text; a new file's format comes from its name's extension. Both
// go through the file seam, which reads and writes any name.
#include <sndfile.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <ostream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "host/signal/audio_file.h"
#include "host/signal/progress.h"
#include "host/signal/signal.h"
#include "host/signal/signal_format.h"
#include "host/signal/signal_text.h"
#include "platform/file.h"

namespace pellory {
namespace {

// The containers a new file's name chooses.
constexpr struct {
  const char* extension;
  int container;
} kAudioExtensions[] = {
    {".wav", SF_FORMAT_WAV},  {".flac", SF_FORMAT_FLAC},
    {".aif", SF_FORMAT_AIFF}, {".aiff", SF_FORMAT_AIFF},
    {".au", SF_FORMAT_AU},    {".caf", SF_FORMAT_CAF},
    {".w64", SF_FORMAT_W64},  {".rf64", SF_FORMAT_RF64},
};

// FLAC's widest samples.
constexpr int kFlacBits = 24;

// Feeds the text parser `signal`'s pieces from `file`, `first` (of `size`
// bytes) already read, to the end or until every sample is in.
bool LoadText(FileReader* file, const char* first, long size, Signal* signal,
              std::string* err, Progress* progress) {
  SignalParser parser(signal);
  const char* piece = first;
  long got = size;
  // Once nothing more can change the signal, the rest of the file is not
  // read: surplus lines are ignored, and a device may never end.
  for (;;) {
    if (got <= 0) return got == 0 && parser.Finish(err);
    if (!parser.Feed(piece, static_cast<size_t>(got), err)) return false;
    if (progress != nullptr) progress->done += got;
    if (parser.Complete()) return true;
    got = file->Next(&piece, err);
  }
}

// The rest of a file whose length is not known, after its `first` piece.
bool ReadRest(FileReader* file, std::string* whole, std::string* err) {
  for (;;) {
    const char* piece;
    const long got = file->Next(&piece, err);
    if (got < 0) return false;
    if (got == 0) return true;
    whole->append(piece, static_cast<size_t>(got));
  }
}

}  // namespace

bool LoadChannels(const std::string& file_name, std::vector<Signal>* channels,
                  SignalFormat* format, std::string* err, Progress* progress) {
  channels->clear();
  *format = SignalFormat();
  FileReader file;
  if (!file.Open(file_name, err)) return false;
  if (progress != nullptr) progress->total = file.Size();
  bool loaded;
  if (file.Size() >= 0) {
    // A regular file: libsndfile reads it where it asks.
    const AudioRead audio =
        ReadAudio({&file, {}}, channels, format, err, progress);
    if (audio == AudioRead::kNotAudio) {
      channels->resize(1);
      const char* first;
      const long got = file.Next(&first, err);
      loaded = LoadText(&file, first, got, &(*channels)[0], err, progress);
    } else {
      loaded = audio == AudioRead::kRead;
    }
  } else {
    // A pipe or a device: its first piece tells; an audio file is read
    // whole, since libsndfile seeks in it.
    const char* first;
    const long got = file.Next(&first, err);
    if (got > 0 && BeginsAudio(std::string_view(first, got))) {
      std::string whole(first, static_cast<size_t>(got));
      loaded = ReadRest(&file, &whole, err) &&
               ReadAudio({nullptr, whole}, channels, format, err, progress) ==
                   AudioRead::kRead;
    } else {
      channels->resize(1);
      loaded = LoadText(&file, first, got, &(*channels)[0], err, progress);
    }
  }
  // A failed load keeps its own reason; one that read through may still
  // have read a file another program changed meanwhile.
  std::string close_err;
  if (!file.Close(&close_err) && loaded) {
    *err = close_err;
    loaded = false;
  }
  if (!loaded) {
    channels->clear();
    return false;
  }
  for (Signal& channel : *channels) channel.set_format(*format);
  return true;
}

bool SaveChannels(const std::string& file_name,
                  std::span<const Signal* const> channels,
                  const SignalFormat& format, int64_t* clipped,
                  std::string* err, Progress* progress) {
  *clipped = 0;
  for (const Signal* channel : channels) {
    if (channel->data() == nullptr) {
      *err = "no signal loaded";
      return false;
    }
  }
  FileSaver file;
  if (format.is_audio()) {
    std::string bytes;
    if (!AudioFileBytes(channels, format, &bytes, clipped, err)) return false;
    if (progress != nullptr) {
      progress->total = static_cast<int64_t>(bytes.size());
    }
    if (!file.Open(file_name, bytes.size(), err) ||
        !file.Write(bytes.data(), bytes.size(), err)) {
      return false;
    }
    if (progress != nullptr) progress->done = progress->total.load();
    return file.Commit(err);
  }
  const Signal& signal = *channels[0];
  const uint64_t size =
      SignalTextSize(signal.data(), signal.SampleCount(), kTextLineEnd.size());
  if (progress != nullptr) progress->total = static_cast<int64_t>(size);
  if (!file.Open(file_name, size, err)) return false;
  SignalFormatter text(signal.data(), signal.SampleCount(), kTextLineEnd);
  std::string_view piece;
  while (text.Next(&piece)) {
    if (!file.Write(piece.data(), piece.size(), err)) return false;
    if (progress != nullptr) {
      progress->done += static_cast<int64_t>(piece.size());
    }
  }
  return file.Commit(err);
}

bool Signal::Load(std::string file_name, std::string* err, Progress* progress) {
  std::string ignored;
  if (err == nullptr) err = &ignored;
  Clear();
  std::vector<Signal> channels;
  SignalFormat format;
  if (!LoadChannels(file_name, &channels, &format, err, progress)) return false;
  if (channels.size() != 1) {
    *err = "it holds " + std::to_string(channels.size()) +
           " channels, and the editor edits one (Pellory apply filters "
           "each)";
    return false;
  }
  *this = std::move(channels[0]);
  return true;
}

bool Signal::Save(std::string file_name, std::string* err, Progress* progress,
                  int64_t* clipped) const {
  std::string ignored;
  if (err == nullptr) err = &ignored;
  int64_t clipped_here;
  const Signal* const channels[] = {this};
  return SaveChannels(file_name, channels, format_,
                      clipped != nullptr ? clipped : &clipped_here, err,
                      progress);
}

bool Signal::Display(std::ostream& out) const {
  if (data_ == nullptr) return false;
  SignalFormatter text(data_, count_, ",");
  std::string_view piece;
  while (text.Next(&piece)) {
    out.write(piece.data(), static_cast<std::streamsize>(piece.size()));
  }
  return true;
}

SignalFormat FormatForName(const std::string& name, const SignalFormat& source,
                           int bits, int rate) {
  std::string lower;
  for (const char c : name.substr(std::min(name.size(), name.rfind('.')))) {
    lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  }
  SignalFormat format;
  for (const auto& audio : kAudioExtensions) {
    if (lower == audio.extension) format.container = audio.container;
  }
  if (!format.is_audio()) return format;
  if (source.is_audio()) {
    format.bits = source.bits;
    format.rate = source.rate;
    format.title = source.title;
    format.artist = source.artist;
    format.comment = source.comment;
    format.date = source.date;
  }
  if (format.container == SF_FORMAT_FLAC) {
    format.bits = std::min(format.bits, kFlacBits);
  }
  if (bits != 0) format.bits = bits;
  if (rate != 0) format.rate = rate;
  return format;
}

std::string FormatDescription(const SignalFormat& format) {
  if (!format.is_audio()) return "text";
  SF_FORMAT_INFO info = {format.container, nullptr, nullptr};
  sf_command(nullptr, SFC_GET_FORMAT_INFO, &info, sizeof(info));
  return std::string(info.name != nullptr ? info.name : "audio") + ", " +
         std::to_string(format.bits) + "-bit PCM, " +
         std::to_string(format.rate) + " Hz";
}

}  // namespace pellory
