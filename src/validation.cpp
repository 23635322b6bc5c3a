// The three syntactic rules: token shape, base URL and GUID. Pure tests of one string:
// no allocation, no error text, one pass.
#include <string.h>

#include "vlauth_internal.h"

namespace {

const char k_https[] = "https://";
const char k_http[] = "http://";
// A base URL must be longer than this, whichever its scheme.
const size_t k_min_base_length = 8;
const size_t k_guid_length = 36;

bool is_hex_digit(unsigned char c) {
  return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}

// Control characters, the space and DEL; bytes above 127 are allowed.
bool is_forbidden_url_byte(unsigned char c) { return (c >= 1 && c <= 32) || c == 127; }

}  // namespace

int32_t validate_jwt_shape_len(const char *token, size_t *len) {
  if (token == nullptr || token[0] == '\0') return -1;
  const unsigned char *p = reinterpret_cast<const unsigned char *>(token);
  size_t dots = 0;
  size_t segment = 0;
  size_t i = 0;
  for (;; ++i) {
    unsigned char c = p[i];
    if (c == '\0') break;
    if (c == '.') {
      // An empty segment before a dot covers a leading dot and two dots in a row.
      if (segment == 0 || ++dots > 2) return -1;
      segment = 0;
      continue;
    }
    if (!is_token_char(c)) return -1;
    ++segment;
  }
  if (dots != 2 || segment == 0) return -1;
  if (len != nullptr) *len = i;
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
    if (i == 8 || i == 13 || i == 18 || i == 23) {
      if (c != '-') return false;
    } else if (!is_hex_digit(c)) {
      return false;
    }
  }
  return true;
}

extern "C" VLAUTH_API int32_t VLAUTH_CALL vlauth_is_valid_guid(const char *guid) {
  if (guid == nullptr) return -1;
  // Bounded length: a long string is rejected without being read to its end.
  size_t len = strnlen(guid, k_guid_length + 1);
  return guid_rule(guid, len) ? 0 : -1;
}
