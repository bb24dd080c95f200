// The encodings a signal file's text may come in: a byte-order mark
// decides UTF-8 (skipped), UTF-16 or UTF-32 (either order), whose code
// units are narrowed to one byte each before the lines are read; a text
// without a mark is read as bytes.
#include <cstring>
#include <string>
#include <string_view>

#include "host/signal/signal_text.h"

namespace pellory {
namespace {

using std::literals::string_view_literals::operator""sv;

// The byte-order marks: the encoding's unit size (1 for UTF-8) and order.
struct Mark {
  std::string_view bytes;
  size_t unit_size;
  bool little_endian;
};
constexpr Mark kMarks[] = {{"\xEF\xBB\xBF"sv, 1, false},
                           {"\xFF\xFE\0\0"sv, 4, true},
                           {"\0\0\xFE\xFF"sv, 4, false},
                           {"\xFF\xFE"sv, 2, true},
                           {"\xFE\xFF"sv, 2, false}};

}  // namespace

void SignalParser::DecideEncoding() {
  const std::string_view head(head_, head_size_);
  bool may_grow = false;
  for (const Mark& mark : kMarks) {
    if (head.starts_with(mark.bytes)) {
      // UTF-16's little-endian mark begins UTF-32's: two more bytes tell.
      if (mark.unit_size == 2 && mark.little_endian && head.size() < 4) {
        return;
      }
      encoding_ = mark.unit_size == 1 ? Encoding::kBytes : Encoding::kCodeUnits;
      unit_size_ = mark.unit_size;
      little_endian_ = mark.little_endian;
      head_size_ -= mark.bytes.size();
      std::memmove(head_, head_ + mark.bytes.size(), head_size_);
      return;
    }
    may_grow = may_grow || mark.bytes.starts_with(head);
  }
  if (!may_grow) encoding_ = Encoding::kBytes;
}

bool SignalParser::FeedCodeUnits(const char* p, size_t size, std::string* err) {
  narrowed_.clear();
  for (const char* const end = p + size; p != end; ++p) {
    partial_[partial_size_++] = static_cast<unsigned char>(*p);
    if (partial_size_ < unit_size_) continue;
    uint32_t unit = 0;
    for (size_t k = 0; k < unit_size_; ++k) {
      const size_t shift = 8 * (little_endian_ ? k : unit_size_ - 1 - k);
      unit |= static_cast<uint32_t>(partial_[k]) << shift;
    }
    partial_size_ = 0;
    narrowed_ += unit < 0x80 ? static_cast<char>(unit) : '\x80';
  }
  return FeedBytes(narrowed_.data(), narrowed_.size(), err);
}

}  // namespace pellory
