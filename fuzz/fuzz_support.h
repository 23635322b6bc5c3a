// What the fuzz targets share: splitting an input into string arguments, the rules a
// result must satisfy (written here from the documented behaviour, independently of the
// library's code), and reading results back as JSON.
//
// Input layout: the arguments of one call, separated by NUL bytes (no argument of the
// library can hold one). A missing argument is passed as null, an empty one as "".
#ifndef VLAUTH_FUZZ_SUPPORT_H
#define VLAUTH_FUZZ_SUPPORT_H

#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <optional>
#include <string>
#include <vector>

#include <yyjson.h>

#include "vlauth.h"

namespace fuzz {

// A property that does not hold: report it and stop, so that libFuzzer keeps the input.
// FUZZ_CHECK(condition) or FUZZ_CHECK(condition, detail...): the details (texts) are
// printed only when the condition is false.
[[noreturn]] inline void fail(const char *what, const std::string &detail) {
  fprintf(stderr, "property violated: %s\n%s\n", what, detail.c_str());
  abort();
}
template <typename... Details>
inline void check(const char *what, bool holds, const Details &...details) {
  if (holds) return;
  std::string detail;
  ((detail += std::string(details) + " "), ...);
  fail(what, detail);
}
#define FUZZ_CHECK(...) ::fuzz::check(#__VA_ARGS__, __VA_ARGS__)

using Arg = std::optional<std::string>;

inline std::vector<Arg> split(const uint8_t *data, size_t size, size_t count) {
  std::vector<Arg> args(count);
  size_t at = 0;
  for (size_t i = 0; i < count && at <= size; ++i) {
    const uint8_t *end = static_cast<const uint8_t *>(memchr(data + at, 0, size - at));
    size_t len = end != nullptr ? static_cast<size_t>(end - (data + at)) : size - at;
    if (at == size && end == nullptr) break;  // nothing left: this and later ones are null
    args[i] = std::string(reinterpret_cast<const char *>(data + at), len);
    at += len + 1;
  }
  return args;
}

inline const char *c_str(const Arg &a) { return a ? a->c_str() : nullptr; }

// A time from decimal text; the fixed test time when absent or not a number.
inline int64_t parse_time(const Arg &a) {
  if (!a || a->empty()) return 1700000000;
  return strtoll(a->c_str(), nullptr, 10);  // saturates at the ends of the range
}

// ---- The documented rules ------------------------------------------------------------

inline bool is_alnum(unsigned char c) {
  return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

// Three non-empty segments of [A-Za-z0-9_=-] joined by two dots.
inline bool token_shape_ok(const char *s) {
  if (s == nullptr) return false;
  int segments = 0;
  size_t run = 0;
  for (const char *p = s;; ++p) {
    unsigned char c = static_cast<unsigned char>(*p);
    if (c == '.' || c == '\0') {
      if (run == 0) return false;
      ++segments;
      run = 0;
      if (c == '\0') break;
    } else if (is_alnum(c) || c == '-' || c == '_' || c == '=') {
      ++run;
    } else {
      return false;
    }
  }
  return segments == 3;
}

// "http://" or "https://", longer than 8 bytes, no byte 1..32 or 127.
inline bool base_url_ok(const char *s) {
  if (s == nullptr) return false;
  if (strncmp(s, "https://", 8) != 0 && strncmp(s, "http://", 7) != 0) return false;
  size_t n = strlen(s);
  for (size_t i = 0; i < n; ++i) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    if (c <= 32 || c == 127) return false;
  }
  return n > 8;
}

inline bool guid_ok(const std::string &s) {
  if (s.size() != 36) return false;
  for (size_t i = 0; i < 36; ++i) {
    char c = s[i];
    bool dash = i == 8 || i == 13 || i == 18 || i == 23;
    bool hex = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
    if (dash ? c != '-' : !hex) return false;
  }
  return true;
}

inline std::string trimmed(const std::string &s) {
  size_t n = s.size();
  while (n != 0 && s[n - 1] == '/') --n;
  return s.substr(0, n);
}

// Whether `s` may stand in a written JSON document: valid UTF-8 as yyjson's writer sees it.
inline bool writable_utf8(const std::string &s) {
  yyjson_mut_doc *doc = yyjson_mut_doc_new(nullptr);
  yyjson_mut_doc_set_root(doc, yyjson_mut_strncpy(doc, s.data(), s.size()));
  char *text = yyjson_mut_write(doc, 0, nullptr);
  yyjson_mut_doc_free(doc);
  bool ok = text != nullptr;
  free(text);
  return ok;
}

inline std::string base64url(const std::string &bytes) {
  static const char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";
  std::string out;
  uint32_t acc = 0;
  int bits = 0;
  for (char ch : bytes) {
    acc = (acc << 8) | static_cast<unsigned char>(ch);
    bits += 8;
    while (bits >= 6) {
      bits -= 6;
      out += alphabet[(acc >> bits) & 63];
    }
  }
  if (bits > 0) out += alphabet[(acc << (6 - bits)) & 63];
  return out;
}

// The token argument of the claims and policy targets: the first byte of the input picks
// whether the rest is the token itself or a payload that is made into a token, so that
// the fuzzer reaches the claims with JSON of its own.
struct TokenInput {
  Arg token;
  std::optional<std::string> payload;  // set when the token was made from it
};
inline TokenInput make_token(const Arg &raw, bool from_payload) {
  if (!from_payload || !raw) return TokenInput{raw, std::nullopt};
  return TokenInput{"eyJhbGciOiJub25lIn0." + base64url(*raw) + ".c2ln", *raw};
}

// ---- Results as JSON -----------------------------------------------------------------

// A document that is released with its owner.
struct Json {
  yyjson_doc *doc = nullptr;
  explicit Json(const char *text) : doc(text ? yyjson_read(text, strlen(text), 0) : nullptr) {}
  ~Json() { yyjson_doc_free(doc); }
  Json(const Json &) = delete;
  Json &operator=(const Json &) = delete;
  yyjson_val *root() const { return yyjson_doc_get_root(doc); }
};

enum class Type { str, integer, boolean, array, null };

inline bool has_type(yyjson_val *v, Type t) {
  switch (t) {
    case Type::str: return yyjson_is_str(v);
    case Type::integer: return yyjson_is_int(v);
    case Type::boolean: return yyjson_is_bool(v);
    case Type::array: return yyjson_is_arr(v);
    case Type::null: return yyjson_is_null(v);
  }
  return false;
}

struct Member {
  const char *key;
  Type type;
};

// The object `obj` has exactly these members, in this order, with these types.
inline void check_members(yyjson_val *obj, const std::vector<Member> &members, const char *what) {
  FUZZ_CHECK(yyjson_is_obj(obj), what);
  FUZZ_CHECK(yyjson_obj_size(obj) == members.size(), what);
  yyjson_obj_iter it = yyjson_obj_iter_with(obj);
  for (const Member &m : members) {
    yyjson_val *key = yyjson_obj_iter_next(&it);
    FUZZ_CHECK(key != nullptr && yyjson_equals_str(key, m.key), what, m.key);
    FUZZ_CHECK(has_type(yyjson_obj_iter_get_val(key), m.type), what, m.key);
  }
}

inline std::string str_of(yyjson_val *obj, const char *key) {
  yyjson_val *v = yyjson_obj_get(obj, key);
  return yyjson_is_str(v) ? std::string(yyjson_get_str(v), yyjson_get_len(v)) : std::string();
}

// Leaves a message the export under test never writes, to see whether it is left alone.
inline void leave_message() { vlauth_free(vlauth_build_cookie_value(nullptr)); }
inline bool error_is(const char *text) { return strcmp(vlauth_last_error(), text) == 0; }

}  // namespace fuzz

#endif
