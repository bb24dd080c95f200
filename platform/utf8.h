// UTF-8 as terminals and XML readers decode it: the one reading of a name's
// bytes that both the console's escaping and the SVG writer use, and the
// writing of the braille cells.
#ifndef PELLORY_PLATFORM_UTF8_H_
#define PELLORY_PLATFORM_UTF8_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace pellory {

// The length of the well-formed UTF-8 character starting at `text[at]`
// (1 for ASCII), or 0 where the bytes there are not one: a stray
// continuation byte, a sequence cut short, an overlong form, a surrogate,
// a code point past U+10FFFF. `*code_point`, when given, gets its value.
inline size_t Utf8Length(std::string_view text, size_t at,
                         uint32_t* code_point = nullptr) {
  const auto byte = [&](size_t k) {
    return static_cast<unsigned char>(text[at + k]);
  };
  const unsigned char lead = byte(0);
  size_t length;
  uint32_t value;
  // The range the second byte must lie in: narrower after E0, ED, F0 and
  // F4, which would otherwise start overlong forms, surrogates or values
  // past U+10FFFF.
  unsigned char low = 0x80;
  unsigned char high = 0xbf;
  if (lead < 0x80) {
    if (code_point != nullptr) *code_point = lead;
    return 1;
  } else if (lead >= 0xc2 && lead <= 0xdf) {
    length = 2;
    value = lead & 0x1fu;
  } else if (lead >= 0xe0 && lead <= 0xef) {
    length = 3;
    value = lead & 0x0fu;
    if (lead == 0xe0) low = 0xa0;
    if (lead == 0xed) high = 0x9f;
  } else if (lead >= 0xf0 && lead <= 0xf4) {
    length = 4;
    value = lead & 0x07u;
    if (lead == 0xf0) low = 0x90;
    if (lead == 0xf4) high = 0x8f;
  } else {
    return 0;
  }
  if (text.size() - at < length) return 0;
  if (byte(1) < low || byte(1) > high) return 0;
  for (size_t k = 1; k < length; ++k) {
    if ((byte(k) & 0xc0) != 0x80) return 0;
    value = value << 6 | (byte(k) & 0x3fu);
  }
  if (code_point != nullptr) *code_point = value;
  return length;
}

// Appends `code_point` (below U+10000) to `text` in UTF-8.
inline void AppendUtf8(std::string* text, uint32_t code_point) {
  if (code_point < 0x80) {
    *text += static_cast<char>(code_point);
  } else if (code_point < 0x800) {
    *text += static_cast<char>(0xc0 | code_point >> 6);
    *text += static_cast<char>(0x80 | (code_point & 0x3f));
  } else {
    *text += static_cast<char>(0xe0 | code_point >> 12);
    *text += static_cast<char>(0x80 | (code_point >> 6 & 0x3f));
    *text += static_cast<char>(0x80 | (code_point & 0x3f));
  }
}

}  // namespace pellory

#endif  // PELLORY_PLATFORM_UTF8_H_
