// Token transport: finding a token in cookie, query or URL text, and the cookie
// assignment that carries one.
#include <stdlib.h>
#include <string.h>

#include "vlauth_internal.h"

namespace {

const char k_cookie_pattern[] = "ov_token=";
const char k_query_pattern[] = "token=";
const size_t k_cookie_prefix_len = sizeof k_cookie_pattern - 1;

// A free-standing "token=" may follow only these separators of cookie lists and queries.
bool is_key_separator(char c) { return c == ' ' || c == '&' || c == ';' || c == '?'; }

// The bytes that end a value besides the end of the text: ";", "&", "#" and the C
// locale's whitespace.
const char k_value_ends[] = ";&# \t\n\v\f\r";

// Where a candidate pattern leads.
enum Candidate { NEXT_PATTERN, STOP_NO_TOKEN, FOUND };

// Examines the value that starts at `value`: copies it into `*out` when it has the token
// shape. The shape is tested in place, so only an accepted value is copied. STOP_NO_TOKEN
// when its copy cannot be allocated.
Candidate take_value(const char *value, char **out) {
  size_t len = strcspn(value, k_value_ends);
  if (len == 0 || validate_jwt_shape_span(value, len) != 0) return NEXT_PATTERN;
  char *copy = static_cast<char *>(malloc(len + 1));
  if (copy == nullptr) return STOP_NO_TOKEN;
  memcpy(copy, value, len);
  copy[len] = '\0';
  *out = copy;
  return FOUND;
}

}  // namespace

extern "C" VLAUTH_API char *VLAUTH_CALL vlauth_extract_token(const char *text) {
  if (text == nullptr || text[0] == '\0') return nullptr;
  char *token = nullptr;

  // Only the first occurrence of each pattern is ever examined.
  const char *at = strstr(text, k_cookie_pattern);
  if (at != nullptr) {
    Candidate c = take_value(at + k_cookie_prefix_len, &token);
    if (c == FOUND) return token;
    if (c == STOP_NO_TOKEN) return nullptr;
  }
  at = strstr(text, k_query_pattern);
  if (at != nullptr) {
    if (at != text && !is_key_separator(at[-1])) return nullptr;
    if (take_value(at + sizeof k_query_pattern - 1, &token) == FOUND) return token;
  }
  return nullptr;
}

extern "C" VLAUTH_API char *VLAUTH_CALL vlauth_build_cookie_value(const char *token) {
  size_t len;
  if (validate_jwt_shape_len(token, &len) != 0) {
    set_error(MSG_INVALID_JWT);
    return nullptr;
  }
  // The prefix, the token and a NUL; a token this long cannot be held at all.
  if (len > SIZE_MAX - k_cookie_prefix_len - 1) return nullptr;
  char *cookie = static_cast<char *>(malloc(k_cookie_prefix_len + len + 1));
  if (cookie == nullptr) return nullptr;
  memcpy(cookie, k_cookie_pattern, k_cookie_prefix_len);
  memcpy(cookie + k_cookie_prefix_len, token, len + 1);
  clear_error();
  return cookie;
}
