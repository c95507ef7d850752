// UTF-8 reading and the Unicode White_Space set, shared by every text reader.
//
// Readers walk the caller's UTF-8 text one scalar value at a time so that error
// positions stay byte offsets into that text.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace vantor {

// One decoded scalar value and how many bytes it took.
struct Utf8Char {
  char32_t value;
  std::size_t length;
};

// Decodes the character starting at byte i (i < text.size()). Malformed bytes
// (never produced by Python's own encoder) read as U+FFFD, one byte long, so a
// reader always makes progress.
constexpr Utf8Char decode_utf8(std::string_view text, std::size_t i) {
  const auto b0 = static_cast<unsigned char>(text[i]);
  if (b0 < 0x80) return {b0, 1};
  std::size_t len = b0 >= 0xF0 ? 4 : b0 >= 0xE0 ? 3 : b0 >= 0xC0 ? 2 : 0;
  if (len == 0 || b0 > 0xF4 || i + len > text.size()) return {0xFFFD, 1};
  char32_t v = b0 & (0x7F >> len);
  for (std::size_t k = 1; k < len; ++k) {
    const auto b = static_cast<unsigned char>(text[i + k]);
    if ((b & 0xC0) != 0x80) return {0xFFFD, 1};
    v = (v << 6) | (b & 0x3F);
  }
  return {v, len};
}

// The Unicode White_Space property.
constexpr bool is_white_space(char32_t c) {
  return (c >= 0x09 && c <= 0x0D) || c == 0x20 || c == 0x85 || c == 0xA0 || c == 0x1680 ||
         (c >= 0x2000 && c <= 0x200A) || c == 0x2028 || c == 0x2029 || c == 0x202F ||
         c == 0x205F || c == 0x3000;
}

// Appends the UTF-8 form of one scalar value.
inline void append_utf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out.push_back(static_cast<char>(c));
  } else if (c < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (c >> 6)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else if (c < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (c >> 12)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (c >> 18)));
    out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  }
}

inline std::string utf8_of(char32_t c) {
  std::string s;
  append_utf8(s, c);
  return s;
}

}  // namespace vantor
