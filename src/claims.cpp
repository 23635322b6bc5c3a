// The claims decoder: a session token's payload turned into the nine-member claims
// document, with the expiry, administration and GUID decisions taken at `now`.
#include <math.h>
#include <stdlib.h>
#include <string.h>

#include "vlauth_internal.h"

namespace {

const char k_admin[] = "admin";
const unsigned char k_bad = 0xFF;

// Working memory on the stack for a token of a usual size (a payload of some 300 bytes);
// a larger one takes the heap. Together about 7.5 KB.
const size_t k_local_payload_size = 512;  // the decoded payload and its padding
const size_t k_read_pool_size = 4096;     // the payload document
const size_t k_doc_pool_size = 3072;      // the claims document

void release_payload(unsigned char *buf, const unsigned char *local) {
  if (buf != local) free(buf);
}

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

// The same values already in place for each of the four characters of a group: the first
// character's bits 18 to 23 of the group's 24, the second's 12 to 17 and so on. A byte
// outside the alphabet sets bit 24 instead, so one test covers the whole group.
const uint32_t k_group_bad = 0x01000000u;
struct GroupTables {
  uint32_t at[4][256];
};
constexpr GroupTables make_group_tables() {
  GroupTables g{};
  for (int k = 0; k < 4; ++k) {
    for (int c = 0; c < 256; ++c) {
      unsigned char v = k_base64url.value[c];
      g.at[k][c] = v == k_bad ? k_group_bad : static_cast<uint32_t>(v) << (18 - 6 * k);
    }
  }
  return g;
}
constexpr GroupTables k_group = make_group_tables();

// Decodes the `n` characters at `in` into `out`, which has room for floor(3n/4) bytes.
// Whole groups of four characters give three bytes; a final group of two or three gives
// one or two, and a single surplus character gives none. Leftover bits are not examined.
// Returns the number of bytes written, or -1 at a character outside the alphabet.
ptrdiff_t decode_base64url(const unsigned char *in, size_t n, unsigned char *out) {
  const uint32_t *t0 = k_group.at[0], *t1 = k_group.at[1], *t2 = k_group.at[2], *t3 = k_group.at[3];
  unsigned char *o = out;
  size_t groups = n / 4;
  for (size_t g = 0; g < groups; ++g, in += 4, o += 3) {
    uint32_t v = t0[in[0]] | t1[in[1]] | t2[in[2]] | t3[in[3]];
    if (v & k_group_bad) return -1;
    o[0] = static_cast<unsigned char>(v >> 16);
    o[1] = static_cast<unsigned char>(v >> 8);
    o[2] = static_cast<unsigned char>(v);
  }
  const unsigned char *t = k_base64url.value;
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

// The claims taken from the payload and the decisions taken on them.
struct Claims {
  const char *sub;
  const char *email;
  const char *iss;
  int64_t exp;
  int64_t iat;
  bool expired;
  bool valid_guid;
  yyjson_val *permissions;  // the payload's "permissions", whatever its type
};

// Adds the nine members to `obj`; false when any of them cannot be stored. The strings
// are the payload document's own, taken up to their first NUL like a copy would be: the
// payload document outlives the writing, so the claims document refers to them instead
// of copying them, and the text written is the same.
bool add_claims_members(yyjson_mut_doc *doc, yyjson_mut_val *obj, const Claims &c) {
  yyjson_mut_val *arr = yyjson_mut_arr(doc);
  bool ok = arr != nullptr;
  bool admin = false;
  if (ok && yyjson_is_arr(c.permissions)) {
    yyjson_arr_iter ai = yyjson_arr_iter_with(c.permissions);
    yyjson_val *elem;
    while (ok && (elem = yyjson_arr_iter_next(&ai)) != nullptr) {
      if (!yyjson_is_str(elem)) continue;
      const char *text = yyjson_get_str(elem);
      ok = yyjson_mut_arr_add_str(doc, arr, text);
      // The text up to its first NUL is "admin": its first six bytes are "admin" and a NUL
      // (a string of five bytes or more has a sixth, its own terminator at the least).
      if (yyjson_get_len(elem) >= 5 && memcmp(text, k_admin, sizeof k_admin) == 0) admin = true;
    }
  }
  return ok && yyjson_mut_obj_add_str(doc, obj, "sub", c.sub) &&
         yyjson_mut_obj_add_str(doc, obj, "email", c.email) &&
         yyjson_mut_obj_add_str(doc, obj, "iss", c.iss) &&
         yyjson_mut_obj_add_int(doc, obj, "exp", c.exp) &&
         yyjson_mut_obj_add_int(doc, obj, "iat", c.iat) &&
         yyjson_mut_obj_add_bool(doc, obj, "isExpired", c.expired) &&
         yyjson_mut_obj_add_bool(doc, obj, "isAdmin", admin) &&
         yyjson_mut_obj_add_bool(doc, obj, "hasValidGuid", c.valid_guid) &&
         yyjson_mut_obj_add_val(doc, obj, "permissions", arr);
}

// Builds the claims document, in `pool` when it fits there. Null when any part of it
// cannot be stored: never a document with a member missing.
yyjson_mut_doc *build_claims_doc(const Claims &c, size_t values, void *pool, size_t pool_size) {
  bool pooled;
  yyjson_mut_val *obj;
  yyjson_mut_doc *doc = new_sized_object_doc(&obj, values, pool, pool_size, &pooled);
  if (doc != nullptr && add_claims_members(doc, obj, c)) return doc;
  yyjson_mut_doc_free(doc);
  // A pool that ran short after all: the same again on the heap.
  return pooled ? build_claims_doc(c, values, nullptr, 0) : nullptr;
}

// The claims document of the payload object `root`, built in `pool` when it fits.
yyjson_mut_doc *build_claims(yyjson_val *root, int64_t now, void *pool, size_t pool_size) {
  yyjson_val *sub = nullptr, *email = nullptr, *iss = nullptr;
  yyjson_val *exp = nullptr, *iat = nullptr, *perms = nullptr;
  // One walk over the members; the first occurrence of each key counts, whatever its type.
  yyjson_obj_iter it = yyjson_obj_iter_with(root);
  yyjson_val *key;
  while ((key = yyjson_obj_iter_next(&it)) != nullptr) {
    size_t len = yyjson_get_len(key);
    yyjson_val *val = yyjson_obj_iter_get_val(key);
    if (len == 3) {
      if (!sub && KEY_IS(key, "sub")) sub = val;
      else if (!iss && KEY_IS(key, "iss")) iss = val;
      else if (!exp && KEY_IS(key, "exp")) exp = val;
      else if (!iat && KEY_IS(key, "iat")) iat = val;
    } else if (len == 5) {
      if (!email && KEY_IS(key, "email")) email = val;
    } else if (len == 11) {
      if (!perms && KEY_IS(key, "permissions")) perms = val;
    }
  }

  Claims c;
  c.sub = text_claim(sub);
  c.email = text_claim(email);
  c.iss = text_claim(iss);
  c.exp = number_claim(exp);
  c.iat = number_claim(iat);
  c.expired = now > 0 && c.exp > 0 && now >= c.exp;
  c.valid_guid = guid_rule(c.sub, strlen(c.sub));
  c.permissions = perms;

  // The number of values is known before the document is built: the root, the array,
  // nine members of two values each (a key and its value; the array as a member takes one
  // besides itself) and one value per string permission. Sized once, the document takes
  // one block of values whatever the token, and no strings of its own.
  size_t values = 20;
  if (yyjson_is_arr(perms)) {
    yyjson_arr_iter ai = yyjson_arr_iter_with(perms);
    yyjson_val *elem;
    while ((elem = yyjson_arr_iter_next(&ai)) != nullptr) values += yyjson_is_str(elem);
  }
  return build_claims_doc(c, values, pool, pool_size);
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

  // floor(3n/4) decoded bytes and the reader's padding after them (a NUL and three more
  // zero bytes); this cannot overflow for any n. A small payload is decoded on the stack.
  unsigned char local[k_local_payload_size];
  size_t size = n / 4 * 3 + (n % 4) * 3 / 4 + YYJSON_PADDING_SIZE;
  unsigned char *buf = size <= sizeof local ? local : static_cast<unsigned char *>(malloc(size));
  if (buf == nullptr) {
    *no_memory = true;
    set_error(MSG_BAD_PAYLOAD);
    return nullptr;
  }
  ptrdiff_t decoded = decode_base64url(reinterpret_cast<const unsigned char *>(payload), n, buf);
  if (decoded < 0) {
    release_payload(buf, local);
    set_error(MSG_BAD_PAYLOAD);
    return nullptr;
  }
  // The payload is read in place: the four bytes after it are the reader's zero padding,
  // and the buffer lives as long as the payload document, which keeps its strings there.
  // A small payload document and a small claims document are kept on the stack as well.
  memset(buf + decoded, 0, YYJSON_PADDING_SIZE);
  char read_pool[k_read_pool_size];
  yyjson_doc *payload_doc = read_json_in_place(reinterpret_cast<char *>(buf),
                                               static_cast<size_t>(decoded), no_memory,
                                               read_pool, sizeof read_pool);
  yyjson_val *root = yyjson_doc_get_root(payload_doc);
  if (!yyjson_is_obj(root)) {
    yyjson_doc_free(payload_doc);
    release_payload(buf, local);
    set_error(MSG_PAYLOAD_NOT_OBJECT);
    return nullptr;
  }

  // The claims document refers to strings in the payload buffer, not to the payload
  // document, which is released before the writing: a large token then never holds both
  // at once with the written text. Claim texts come from a strict reading, so they are
  // valid UTF-8 and writing them can fail only for memory.
  char doc_pool[k_doc_pool_size];
  yyjson_mut_doc *claims_doc = build_claims(root, now, doc_pool, sizeof doc_pool);
  yyjson_doc_free(payload_doc);
  char *text = write_and_free_doc(claims_doc);
  *no_memory = text == nullptr;
  release_payload(buf, local);
  clear_error();
  return text;
}

extern "C" VLAUTH_API char *VLAUTH_CALL vlauth_parse_jwt_claims_json(const char *token,
                                                                     int64_t now) {
  return parse_claims(token, now, nullptr);
}
