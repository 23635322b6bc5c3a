// The claims decoder: a session token's payload turned into the nine-member claims
// document, with the expiry, administration and GUID decisions taken at `now`.
#include <math.h>
#include <stdlib.h>
#include <string.h>

#include "vlauth_internal.h"

namespace {

const char k_admin[] = "admin";
const unsigned char k_bad = 0xFF;

// The base64url alphabet of RFC 4648: the 6-bit value of each byte, or k_bad.
struct Base64urlTable {
  unsigned char value[256];
};
constexpr Base64urlTable make_base64url_table() {
  Base64urlTable t{};
  for (int i = 0; i < 256; ++i) t.value[i] = k_bad;
  for (int i = 0; i < 26; ++i) {
    t.value['A' + i] = static_cast<unsigned char>(i);
    t.value['a' + i] = static_cast<unsigned char>(26 + i);
  }
  for (int i = 0; i < 10; ++i) t.value['0' + i] = static_cast<unsigned char>(52 + i);
  t.value[static_cast<unsigned char>('-')] = 62;
  t.value[static_cast<unsigned char>('_')] = 63;
  return t;
}
constexpr Base64urlTable k_base64url = make_base64url_table();

// Decodes the `n` characters at `in` into `out`, which has room for floor(3n/4) bytes.
// Whole groups of four characters give three bytes; a final group of two or three gives
// one or two, and a single surplus character gives none. Leftover bits are not examined.
// Returns the number of bytes written, or -1 at a character outside the alphabet.
ptrdiff_t decode_base64url(const unsigned char *in, size_t n, unsigned char *out) {
  const unsigned char *t = k_base64url.value;
  unsigned char *o = out;
  size_t groups = n / 4;
  for (size_t g = 0; g < groups; ++g, in += 4, o += 3) {
    uint32_t a = t[in[0]], b = t[in[1]], c = t[in[2]], d = t[in[3]];
    if ((a | b | c | d) & 0x80u) return -1;
    uint32_t v = (a << 18) | (b << 12) | (c << 6) | d;
    o[0] = static_cast<unsigned char>(v >> 16);
    o[1] = static_cast<unsigned char>(v >> 8);
    o[2] = static_cast<unsigned char>(v);
  }
  uint32_t v = 0;
  size_t rest = n % 4;
  for (size_t i = 0; i < rest; ++i) {
    uint32_t x = t[in[i]];
    if (x & 0x80u) return -1;
    v = (v << 6) | x;
  }
  if (rest == 2) {
    *o++ = static_cast<unsigned char>(v >> 4);
  } else if (rest == 3) {
    *o++ = static_cast<unsigned char>(v >> 10);
    *o++ = static_cast<unsigned char>(v >> 2);
  }
  return o - out;
}

// "exp" and "iat": any JSON number, taken as a double and truncated toward zero,
// saturated at the ends of the signed 64-bit range; anything else is 0.
int64_t number_claim(yyjson_val *v) {
  if (!yyjson_is_num(v)) return 0;
  double d = yyjson_get_num(v);
  if (isnan(d)) return 0;
  if (d >= 9223372036854775808.0) return INT64_MAX;
  if (d < -9223372036854775808.0) return INT64_MIN;
  return static_cast<int64_t>(d);
}

// A string claim as NUL-terminated text (an escaped NUL cuts it); "" when not a string.
const char *text_claim(yyjson_val *v) { return yyjson_is_str(v) ? yyjson_get_str(v) : ""; }

bool key_is(yyjson_val *key, size_t len, const char *want, size_t want_len) {
  return len == want_len && memcmp(yyjson_get_str(key), want, want_len) == 0;
}
#define KEY_IS(key, len, literal) key_is((key), (len), (literal), sizeof(literal) - 1)

// Builds and writes the claims document from the payload object `root`. Null when any
// part of it cannot be stored or written: never a document with a member missing.
char *write_claims(yyjson_val *root, int64_t now) {
  yyjson_val *sub = nullptr, *email = nullptr, *iss = nullptr;
  yyjson_val *exp = nullptr, *iat = nullptr, *perms = nullptr;
  // One walk over the members; the first occurrence of each key counts, whatever its type.
  yyjson_obj_iter it = yyjson_obj_iter_with(root);
  yyjson_val *key;
  while ((key = yyjson_obj_iter_next(&it)) != nullptr) {
    size_t len = yyjson_get_len(key);
    yyjson_val *val = yyjson_obj_iter_get_val(key);
    if (len == 3) {
      if (!sub && KEY_IS(key, len, "sub")) sub = val;
      else if (!iss && KEY_IS(key, len, "iss")) iss = val;
      else if (!exp && KEY_IS(key, len, "exp")) exp = val;
      else if (!iat && KEY_IS(key, len, "iat")) iat = val;
    } else if (len == 5) {
      if (!email && KEY_IS(key, len, "email")) email = val;
    } else if (len == 11) {
      if (!perms && KEY_IS(key, len, "permissions")) perms = val;
    }
  }

  const char *sub_text = text_claim(sub);
  int64_t exp_value = number_claim(exp);
  bool expired = now > 0 && exp_value > 0 && now >= exp_value;
  bool valid_guid = guid_rule(sub_text, strlen(sub_text));

  yyjson_mut_val *obj;
  yyjson_mut_doc *doc = new_object_doc(&obj);
  if (doc == nullptr) return nullptr;
  yyjson_mut_val *arr = yyjson_mut_arr(doc);
  bool ok = arr != nullptr;
  bool admin = false;
  if (ok && yyjson_is_arr(perms)) {
    yyjson_arr_iter ai = yyjson_arr_iter_with(perms);
    yyjson_val *elem;
    while (ok && (elem = yyjson_arr_iter_next(&ai)) != nullptr) {
      if (!yyjson_is_str(elem)) continue;
      const char *text = yyjson_get_str(elem);
      ok = yyjson_mut_arr_add_strcpy(doc, arr, text);
      if (strcmp(text, k_admin) == 0) admin = true;
    }
  }
  ok = ok && yyjson_mut_obj_add_strcpy(doc, obj, "sub", sub_text) &&
       yyjson_mut_obj_add_strcpy(doc, obj, "email", text_claim(email)) &&
       yyjson_mut_obj_add_strcpy(doc, obj, "iss", text_claim(iss)) &&
       yyjson_mut_obj_add_int(doc, obj, "exp", exp_value) &&
       yyjson_mut_obj_add_int(doc, obj, "iat", number_claim(iat)) &&
       yyjson_mut_obj_add_bool(doc, obj, "isExpired", expired) &&
       yyjson_mut_obj_add_bool(doc, obj, "isAdmin", admin) &&
       yyjson_mut_obj_add_bool(doc, obj, "hasValidGuid", valid_guid) &&
       yyjson_mut_obj_add_val(doc, obj, "permissions", arr);
  if (!ok) {
    yyjson_mut_doc_free(doc);
    return nullptr;
  }
  return write_and_free_doc(doc);
}

}  // namespace

char *parse_claims(const char *token, int64_t now, bool *no_memory) {
  bool scratch;
  if (no_memory == nullptr) no_memory = &scratch;
  *no_memory = false;
  size_t token_len;
  if (validate_jwt_shape_len(token, &token_len) != 0) {
    set_error(MSG_MALFORMED_JWT);
    return nullptr;
  }
  const char *payload = static_cast<const char *>(memchr(token, '.', token_len)) + 1;
  const char *payload_end = static_cast<const char *>(
      memchr(payload, '.', token_len - static_cast<size_t>(payload - token)));
  size_t n = static_cast<size_t>(payload_end - payload);
  while (n != 0 && payload[n - 1] == '=') --n;  // every trailing "=", however many
  if (n == 0) {
    set_error(MSG_BAD_PAYLOAD);
    return nullptr;
  }

  // floor(3n/4) decoded bytes and room for a NUL; this cannot overflow for any n.
  size_t size = n / 4 * 3 + (n % 4) * 3 / 4 + 4;
  unsigned char *buf = static_cast<unsigned char *>(malloc(size));
  if (buf == nullptr) {
    *no_memory = true;
    set_error(MSG_BAD_PAYLOAD);
    return nullptr;
  }
  ptrdiff_t decoded = decode_base64url(reinterpret_cast<const unsigned char *>(payload), n, buf);
  if (decoded < 0) {
    free(buf);
    set_error(MSG_BAD_PAYLOAD);
    return nullptr;
  }
  buf[decoded] = '\0';
  yyjson_doc *payload_doc = read_json(reinterpret_cast<const char *>(buf),
                                      static_cast<size_t>(decoded), no_memory);
  free(buf);
  yyjson_val *root = yyjson_doc_get_root(payload_doc);
  if (!yyjson_is_obj(root)) {
    yyjson_doc_free(payload_doc);
    set_error(MSG_PAYLOAD_NOT_OBJECT);
    return nullptr;
  }

  // Claim texts come from a strict reading, so they are valid UTF-8 and writing them can
  // fail only for memory.
  char *text = write_claims(root, now);
  *no_memory = text == nullptr;
  yyjson_doc_free(payload_doc);
  clear_error();
  return text;
}

extern "C" VLAUTH_API char *VLAUTH_CALL vlauth_parse_jwt_claims_json(const char *token,
                                                                     int64_t now) {
  return parse_claims(token, now, nullptr);
}
