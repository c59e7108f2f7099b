// Looking for one byte in a short stretch of text, sixteen bytes at a time, without a call into
// the C library: the parser's searches span a few dozen bytes, where a call costs more than the
// search. No byte outside [from, to) that lies beyond the text is read.
#pragma once

#include <cstddef>
#include <string_view>

#if defined(__x86_64__)
#include <emmintrin.h>

// The places among the sixteen of text from `at` on that hold c, as bits.
inline unsigned places_of(std::string_view text, char c, std::size_t at) {
  const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text.data() + at));
  return static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, _mm_set1_epi8(c))));
}
#endif

// The first place in [from, to) of text that holds c, or `to`.
inline std::size_t find_byte(std::string_view text, char c, std::size_t from, std::size_t to) {
#if defined(__x86_64__)
  for (; to - from >= 16; from += 16)
    if (const unsigned found = places_of(text, c, from); found != 0)
      return from + static_cast<std::size_t>(__builtin_ctz(found));
  if (from == to) return to;
  if (to >= 16) {
    // The last vector ends with `to`; the places it holds before `from` are dropped.
    const unsigned found = places_of(text, c, to - 16) >> (16 - (to - from));
    return found != 0 ? from + static_cast<std::size_t>(__builtin_ctz(found)) : to;
  }
#endif
  for (; from < to; ++from)
    if (text[from] == c) return from;
  return to;
}

// The last place in [from, to) of text that holds c, or `to` when none does.
inline std::size_t find_last_byte(std::string_view text, char c, std::size_t from, std::size_t to) {
  std::size_t end = to;
#if defined(__x86_64__)
  for (; end - from >= 16; end -= 16)
    if (const unsigned found = places_of(text, c, end - 16); found != 0)
      return end - 16 + 31 - static_cast<std::size_t>(__builtin_clz(found));
  if (end == from) return to;
  if (end >= 16) {
    // The vector ends with `end`; the places it holds before `from` are dropped.
    const unsigned found = places_of(text, c, end - 16) >> (16 - (end - from));
    return found != 0 ? from + 31 - static_cast<std::size_t>(__builtin_clz(found)) : to;
  }
#endif
  while (end-- > from)
    if (text[end] == c) return end;
  return to;
}
