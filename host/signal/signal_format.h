// How a file holds a signal: Pellory's text format, or an audio file of
// integer PCM samples (WAV, FLAC, AIFF and the other containers libsndfile
// writes) with its sample width, rate, channels and strings.
#ifndef PELLORY_HOST_SIGNAL_SIGNAL_FORMAT_H_
#define PELLORY_HOST_SIGNAL_SIGNAL_FORMAT_H_

#include <cstdint>
#include <string>

namespace pellory {

struct SignalFormat {
  // 0 for the text format, else libsndfile's container (SF_FORMAT_WAV, ...).
  int container = 0;
  // The samples' width in the file: 8, 16, 24 or 32 bits.
  int bits = 32;
  // Samples a second, of each channel.
  int rate = 48000;
  int channels = 1;
  // The strings an audio file carries, "" where it has none.
  std::string title;
  std::string artist;
  std::string comment;
  std::string date;

  bool is_audio() const { return container != 0; }
};

// The format a new file named `name` gets: the container its extension
// names (.wav .flac .aif .aiff .au .caf .w64 .rf64, in any case; a WAV
// past 4 GB becomes RF64), or the text format for any other name. Its
// width, rate and strings are `source`'s where that is audio, else 32 bits
// (FLAC: 24, its widest) and 48000 Hz; `bits` and `rate`, where not 0, set
// them.
SignalFormat FormatForName(const std::string& name, const SignalFormat& source,
                           int bits = 0, int rate = 0);

// What `format` is, for a user: "text", or "WAV, 16-bit PCM, 44100 Hz".
std::string FormatDescription(const SignalFormat& format);

}  // namespace pellory

#endif  // PELLORY_HOST_SIGNAL_SIGNAL_FORMAT_H_
