// The three syntactic rules: token shape, base URL and GUID. Pure tests of one string:
// no allocation, no error text, one pass over the bytes (after a length count).
#include <string.h>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "vlauth_internal.h"

namespace {

const char k_https[] = "https://";
const char k_http[] = "http://";
// A base URL must be longer than this, whichever its scheme.
const size_t k_min_base_length = 8;
const size_t k_guid_length = 36;

bool is_hex_digit(unsigned char c) {
  return static_cast<unsigned char>(c - '0') < 10 ||
         static_cast<unsigned char>((c | 0x20) - 'a') < 6;  // either case
}

// Control characters, the space and DEL; bytes above 127 are allowed.
bool is_forbidden_url_byte(unsigned char c) { return (c >= 1 && c <= 32) || c == 127; }

// The token-shape rule looks at a block of 16 bytes at a time, without a branch per byte,
// and stops after the first block that holds a byte which breaks it.
const size_t k_shape_block = 16;

#if defined(__SSE2__)
// True when a byte of the block is neither a token character nor a dot.
bool block_has_bad_byte(const unsigned char *block) {
  __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(block));
  // A digit or a letter of either case: an unsigned range test, x <= n as min(x, n) == x.
  __m128i digit = _mm_sub_epi8(v, _mm_set1_epi8('0'));
  __m128i ok = _mm_cmpeq_epi8(_mm_min_epu8(digit, _mm_set1_epi8(9)), digit);
  __m128i letter = _mm_sub_epi8(_mm_or_si128(v, _mm_set1_epi8(0x20)), _mm_set1_epi8('a'));
  ok = _mm_or_si128(ok, _mm_cmpeq_epi8(_mm_min_epu8(letter, _mm_set1_epi8(25)), letter));
  ok = _mm_or_si128(ok, _mm_cmpeq_epi8(v, _mm_set1_epi8('-')));
  ok = _mm_or_si128(ok, _mm_cmpeq_epi8(v, _mm_set1_epi8('=')));
  ok = _mm_or_si128(ok, _mm_cmpeq_epi8(v, _mm_set1_epi8('_')));
  ok = _mm_or_si128(ok, _mm_cmpeq_epi8(v, _mm_set1_epi8('.')));
  return _mm_movemask_epi8(ok) != 0xFFFF;
}
#else
// True when a byte of the block is neither a token character nor a dot.
bool block_has_bad_byte(const unsigned char *block) {
  unsigned char bad = 0;
  for (size_t i = 0; i < k_shape_block; ++i) {
    unsigned char c = block[i];
    unsigned char digit = static_cast<unsigned char>(c - '0');
    unsigned char letter = static_cast<unsigned char>((c | 0x20) - 'a');  // either case
    bool ok = digit < 10 || letter < 26 || c == '-' || c == '=' || c == '_' || c == '.';
    bad = static_cast<unsigned char>(bad | !ok);
  }
  return bad != 0;
}
#endif

}  // namespace

int32_t validate_jwt_shape_span(const char *token, size_t len) {
  if (len == 0) return -1;
  const unsigned char *p = reinterpret_cast<const unsigned char *>(token);
  if (len >= k_shape_block) {
    size_t at = 0;
    for (; len - at >= k_shape_block; at += k_shape_block) {
      if (block_has_bad_byte(p + at)) return -1;
    }
    // The rest: the last whole block of the token, which looks at some bytes again.
    if (at < len && block_has_bad_byte(p + len - k_shape_block)) return -1;
  } else {
    // A short token, filled up with a token character to one block.
    unsigned char block[k_shape_block];
    memset(block, 'A', sizeof block);
    memcpy(block, p, len);
    if (block_has_bad_byte(block)) return -1;
  }
  // Only token characters and dots: three non-empty segments when there are exactly two
  // dots, neither at an end of the token nor next to each other.
  const char *end = token + len;
  const char *first = static_cast<const char *>(memchr(token, '.', len));
  if (first == nullptr || first == token) return -1;
  const char *second =
      static_cast<const char *>(memchr(first + 1, '.', static_cast<size_t>(end - first - 1)));
  if (second == nullptr || second == first + 1 || second == end - 1) return -1;
  if (memchr(second + 1, '.', static_cast<size_t>(end - second - 1)) != nullptr) return -1;
  return 0;
}

int32_t validate_jwt_shape_len(const char *token, size_t *len) {
  if (token == nullptr) return -1;
  size_t n = strlen(token);
  if (validate_jwt_shape_span(token, n) != 0) return -1;
  if (len != nullptr) *len = n;
  return 0;
}

int32_t validate_jwt_shape(const char *token) { return validate_jwt_shape_len(token, nullptr); }

int32_t is_valid_http_base_len(const char *url, size_t *len) {
  if (url == nullptr) return 0;
  if (strncmp(url, k_https, sizeof k_https - 1) != 0 &&
      strncmp(url, k_http, sizeof k_http - 1) != 0) {
    return 0;
  }
  size_t n = 0;
  for (const unsigned char *p = reinterpret_cast<const unsigned char *>(url); *p; ++p, ++n) {
    if (is_forbidden_url_byte(*p)) return 0;
  }
  if (n <= k_min_base_length) return 0;
  if (len != nullptr) *len = n;
  return 1;
}

int32_t is_valid_http_base(const char *url) { return is_valid_http_base_len(url, nullptr); }

size_t trimmed_length(const char *s, size_t len) {
  while (len != 0 && s[len - 1] == '/') --len;
  return len;
}

bool is_valid_utf8(const char *s, size_t len) {
  const unsigned char *p = reinterpret_cast<const unsigned char *>(s);
  const unsigned char *end = p + len;
  while (p < end) {
    unsigned char c = *p;
    if (c < 0x80) {
      ++p;
      continue;
    }
    size_t need;
    unsigned char lo = 0x80, hi = 0xBF;  // range of the first continuation byte
    if (c >= 0xC2 && c <= 0xDF) {
      need = 1;
    } else if (c >= 0xE0 && c <= 0xEF) {
      need = 2;
      if (c == 0xE0) lo = 0xA0;       // no overlong three-byte form
      else if (c == 0xED) hi = 0x9F;  // no surrogates
    } else if (c >= 0xF0 && c <= 0xF4) {
      need = 3;
      if (c == 0xF0) lo = 0x90;       // no overlong four-byte form
      else if (c == 0xF4) hi = 0x8F;  // nothing above U+10FFFF
    } else {
      return false;
    }
    if (static_cast<size_t>(end - p) <= need) return false;
    if (p[1] < lo || p[1] > hi) return false;
    for (size_t k = 2; k <= need; ++k) {
      if ((p[k] & 0xC0) != 0x80) return false;
    }
    p += need + 1;
  }
  return true;
}

bool guid_rule(const char *guid, size_t len) {
  if (len != k_guid_length) return false;
  for (size_t i = 0; i < k_guid_length; ++i) {
    unsigned char c = static_cast<unsigned char>(guid[i]);
    bool dash_here = i == 8 || i == 13 || i == 18 || i == 23;
    if (dash_here ? c != '-' : !is_hex_digit(c)) return false;
  }
  return true;
}

extern "C" VLAUTH_API int32_t VLAUTH_CALL vlauth_is_valid_guid(const char *guid) {
  if (guid == nullptr) return -1;
  // Bounded length: a long string is rejected without being read to its end.
  size_t len = strnlen(guid, k_guid_length + 1);
  return guid_rule(guid, len) ? 0 : -1;
}
