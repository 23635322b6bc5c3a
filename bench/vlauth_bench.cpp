// The benchmark suite. Every export is timed on realistic inputs; the claims decoder and
// the session policy are timed on four tokens made here deterministically (small, medium,
// large, huge) next to the "floor": the same work done with yyjson alone and no logic of
// the library (base64url-decode the payload, read it, build the nine-member claims
// document, write it, release everything). Each benchmark also reports, from one call
// outside the timed loop, the heap allocations that call makes (counting_alloc.c).
//
// scripts/bench.sh builds this and turns its JSON output into the table of
// docs/performance.md.
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include <benchmark/benchmark.h>
#include <yyjson.h>

#include "counting_alloc.h"
#include "vlauth.h"

namespace {

// A time at which every benchmark token is valid.
const int64_t k_now = 1700000000;
const char k_guid[] = "11111111-2222-3333-4444-555555555555";
// {"alg":"HS256","typ":"JWT"}
const char k_header_segment[] = "eyJhbGciOiJIUzI1NiIsInR5cCI6IkpXVCJ9";
const char k_dist_base[] = "https://dist.example.com";
const char k_music_base[] = "https://music.example.com/";
const char k_auth_base[] = "https://auth.example.com/";
// A return address of 60 bytes, some of them percent-encoded.
const char k_redirect[] = "https://app.example.com/library/playlist?view=grid&sort=name";

struct Token {
  const char *name;
  std::string text;
  size_t payload_bytes;  // decoded payload
};

// ---- Token making ----------------------------------------------------------------------

std::string base64url(const std::string &in) {
  static const char k_alphabet[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";
  std::string out;
  out.reserve(in.size() / 3 * 4 + 4);
  size_t i = 0;
  for (; i + 3 <= in.size(); i += 3) {
    uint32_t v = static_cast<uint32_t>(static_cast<unsigned char>(in[i])) << 16 |
                 static_cast<uint32_t>(static_cast<unsigned char>(in[i + 1])) << 8 |
                 static_cast<uint32_t>(static_cast<unsigned char>(in[i + 2]));
    out += k_alphabet[v >> 18];
    out += k_alphabet[(v >> 12) & 63];
    out += k_alphabet[(v >> 6) & 63];
    out += k_alphabet[v & 63];
  }
  size_t rest = in.size() - i;
  if (rest != 0) {
    uint32_t v = static_cast<uint32_t>(static_cast<unsigned char>(in[i])) << 16;
    if (rest == 2) v |= static_cast<uint32_t>(static_cast<unsigned char>(in[i + 1])) << 8;
    out += k_alphabet[v >> 18];
    out += k_alphabet[(v >> 12) & 63];
    if (rest == 2) out += k_alphabet[(v >> 6) & 63];
  }
  return out;
}

// A placeholder signature of HMAC-SHA-256 size, from a fixed linear congruential sequence.
std::string signature_segment() {
  std::string raw;
  uint32_t x = 12345;
  for (int i = 0; i < 32; ++i) {
    x = x * 1103515245u + 12345u;
    raw += static_cast<char>(x >> 24);
  }
  return base64url(raw);
}

// The payload of a token with `permissions` permissions; `extra` adds the other claims a
// real service sends (and the library ignores).
std::string payload_json(size_t permissions, bool extra) {
  static const char *const k_areas[] = {"library", "playlist", "catalog", "feed",
                                        "wishlist", "world",   "search",  "device"};
  static const char *const k_verbs[] = {"read", "write", "share", "sync"};
  std::string p = "{\"sub\":\"";
  p += k_guid;
  p += "\",\"email\":\"listener@example.com\",";
  if (extra) p += "\"name\":\"Example Listener\",\"aud\":\"velunar-client\",";
  p += "\"iss\":\"https://auth.example.com\",\"exp\":4102444800,\"iat\":1700000000,";
  if (extra) {
    p += "\"nbf\":1700000000,\"jti\":\"6f1c2a9e-0d3b-4c57-9a8e-2b7f4d1e0c93\",";
    p += "\"scope\":\"openid profile email offline_access\",\"locale\":\"en-GB\",";
  }
  p += "\"permissions\":[\"admin\"";
  char name[64];
  for (size_t i = 1; i < permissions; ++i) {
    snprintf(name, sizeof name, ",\"%s:%s:%05zu\"", k_areas[i % 8], k_verbs[(i / 8) % 4], i);
    p += name;
  }
  p += "]}";
  return p;
}

Token make_token(const char *name, size_t permissions, bool extra) {
  std::string payload = payload_json(permissions, extra);
  Token t;
  t.name = name;
  t.text = std::string(k_header_segment) + "." + base64url(payload) + "." + signature_segment();
  t.payload_bytes = payload.size();
  return t;
}

std::vector<Token> &tokens() {
  static std::vector<Token> list = {
      make_token("small", 1, false),
      make_token("medium", 40, true),
      make_token("large", 800, true),
      make_token("huge", 48000, true),
  };
  return list;
}

// ---- The floor: the claims document with yyjson alone -------------------------------------

unsigned char base64url_value(unsigned char c) {
  if (c >= 'A' && c <= 'Z') return static_cast<unsigned char>(c - 'A');
  if (c >= 'a' && c <= 'z') return static_cast<unsigned char>(c - 'a' + 26);
  if (c >= '0' && c <= '9') return static_cast<unsigned char>(c - '0' + 52);
  if (c == '-') return 62;
  if (c == '_') return 63;
  return 0xFF;
}

struct DecodeTable {
  unsigned char value[256];
};
DecodeTable make_decode_table() {
  DecodeTable t;
  for (int c = 0; c < 256; ++c) t.value[c] = base64url_value(static_cast<unsigned char>(c));
  return t;
}
const DecodeTable k_decode = make_decode_table();

const char *string_or_empty(yyjson_val *v) { return yyjson_is_str(v) ? yyjson_get_str(v) : ""; }

int64_t number_or_zero(yyjson_val *v) {
  return yyjson_is_num(v) ? static_cast<int64_t>(yyjson_get_num(v)) : 0;
}

bool looks_like_guid(const char *s) {
  if (strlen(s) != 36) return false;
  for (int i = 0; i < 36; ++i) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    bool dash = i == 8 || i == 13 || i == 18 || i == 23;
    bool hex = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
    if (dash ? c != '-' : !hex) return false;
  }
  return true;
}

// The cheapest equivalent of the claims decoder: no shape rule, no error text, nothing
// but the decoding loop and yyjson.
char *floor_claims(const char *token, size_t len, int64_t now) {
  const char *payload = static_cast<const char *>(memchr(token, '.', len)) + 1;
  size_t rest = len - static_cast<size_t>(payload - token);
  const char *end = static_cast<const char *>(memchr(payload, '.', rest));
  size_t n = static_cast<size_t>(end - payload);
  unsigned char *buf = static_cast<unsigned char *>(malloc(n / 4 * 3 + 4));
  if (buf == nullptr) return nullptr;
  uint32_t acc = 0;
  unsigned bits = 0;
  size_t out = 0;
  for (size_t i = 0; i < n; ++i) {
    unsigned char v = k_decode.value[static_cast<unsigned char>(payload[i])];
    if (v == 0xFF) {
      free(buf);
      return nullptr;
    }
    acc = (acc << 6) | v;
    bits += 6;
    if (bits >= 8) {
      bits -= 8;
      buf[out++] = static_cast<unsigned char>(acc >> bits);
    }
  }
  yyjson_doc *in = yyjson_read(reinterpret_cast<const char *>(buf), out, 0);
  free(buf);
  yyjson_val *root = yyjson_doc_get_root(in);
  if (!yyjson_is_obj(root)) {
    yyjson_doc_free(in);
    return nullptr;
  }
  const char *sub = string_or_empty(yyjson_obj_get(root, "sub"));
  int64_t exp = number_or_zero(yyjson_obj_get(root, "exp"));
  yyjson_val *perms = yyjson_obj_get(root, "permissions");

  yyjson_mut_doc *doc = yyjson_mut_doc_new(nullptr);
  yyjson_mut_val *obj = yyjson_mut_obj(doc);
  yyjson_mut_doc_set_root(doc, obj);
  yyjson_mut_val *arr = yyjson_mut_arr(doc);
  bool admin = false;
  size_t idx, max;
  yyjson_val *elem;
  yyjson_arr_foreach(perms, idx, max, elem) {
    if (!yyjson_is_str(elem)) continue;
    yyjson_mut_arr_add_strcpy(doc, arr, yyjson_get_str(elem));
    if (strcmp(yyjson_get_str(elem), "admin") == 0) admin = true;
  }
  yyjson_mut_obj_add_strcpy(doc, obj, "sub", sub);
  yyjson_mut_obj_add_strcpy(doc, obj, "email", string_or_empty(yyjson_obj_get(root, "email")));
  yyjson_mut_obj_add_strcpy(doc, obj, "iss", string_or_empty(yyjson_obj_get(root, "iss")));
  yyjson_mut_obj_add_int(doc, obj, "exp", exp);
  yyjson_mut_obj_add_int(doc, obj, "iat", number_or_zero(yyjson_obj_get(root, "iat")));
  yyjson_mut_obj_add_bool(doc, obj, "isExpired", now > 0 && exp > 0 && now >= exp);
  yyjson_mut_obj_add_bool(doc, obj, "isAdmin", admin);
  yyjson_mut_obj_add_bool(doc, obj, "hasValidGuid", looks_like_guid(sub));
  yyjson_mut_obj_add_val(doc, obj, "permissions", arr);
  char *text = yyjson_mut_write(doc, 0, nullptr);
  yyjson_mut_doc_free(doc);
  yyjson_doc_free(in);
  return text;
}

// ---- Reporting ----------------------------------------------------------------------------

// Counts the allocations of one call of `call` (which releases what it gets) and reports
// them with the size of the token, if any, as counters of the benchmark.
template <typename Call>
void report(benchmark::State &state, const Token *token, Call call) {
  alloc_count_begin();
  call();
  alloc_count d = alloc_count_end();
  state.counters["allocs"] = static_cast<double>(d.allocations);
  state.counters["resizes"] = static_cast<double>(d.resizes);
  state.counters["alloc_bytes"] = static_cast<double>(d.bytes);
  state.counters["token_bytes"] = token != nullptr ? static_cast<double>(token->text.size()) : 0.0;
  state.counters["payload_bytes"] =
      token != nullptr ? static_cast<double>(token->payload_bytes) : 0.0;
}

// ---- Benchmarks ---------------------------------------------------------------------------

void bm_floor(benchmark::State &state, const Token *t) {
  const char *text = t->text.c_str();
  size_t len = t->text.size();
  for (auto _ : state) {
    char *r = floor_claims(text, len, k_now);
    benchmark::DoNotOptimize(r);
    free(r);
  }
  report(state, t, [&] { free(floor_claims(text, len, k_now)); });
}

void bm_claims(benchmark::State &state, const Token *t) {
  const char *text = t->text.c_str();
  for (auto _ : state) {
    char *r = vlauth_parse_jwt_claims_json(text, k_now);
    benchmark::DoNotOptimize(r);
    vlauth_free(r);
  }
  report(state, t, [&] { vlauth_free(vlauth_parse_jwt_claims_json(text, k_now)); });
}

void bm_policy(benchmark::State &state, const Token *t) {
  const char *text = t != nullptr ? t->text.c_str() : nullptr;
  for (auto _ : state) {
    char *r = vlauth_session_policy_json(text, k_now, k_dist_base, k_music_base);
    benchmark::DoNotOptimize(r);
    vlauth_free(r);
  }
  report(state, t, [&] {
    vlauth_free(vlauth_session_policy_json(text, k_now, k_dist_base, k_music_base));
  });
}

void bm_extract(benchmark::State &state, const std::string *header) {
  const char *text = header->c_str();
  for (auto _ : state) {
    char *r = vlauth_extract_token(text);
    benchmark::DoNotOptimize(r);
    vlauth_free(r);
  }
  report(state, nullptr, [&] { vlauth_free(vlauth_extract_token(text)); });
}

void bm_cookie(benchmark::State &state, const Token *t) {
  const char *text = t->text.c_str();
  for (auto _ : state) {
    char *r = vlauth_build_cookie_value(text);
    benchmark::DoNotOptimize(r);
    vlauth_free(r);
  }
  report(state, t, [&] { vlauth_free(vlauth_build_cookie_value(text)); });
}

void bm_web_login_url(benchmark::State &state) {
  for (auto _ : state) {
    char *r = vlauth_build_web_login_url(k_auth_base, k_redirect);
    benchmark::DoNotOptimize(r);
    vlauth_free(r);
  }
  report(state, nullptr, [] { vlauth_free(vlauth_build_web_login_url(k_auth_base, k_redirect)); });
}

void bm_login_request(benchmark::State &state) {
  const char email[] = "listener@example.com";
  const char password[] = "correct horse \"battery\" staple";
  for (auto _ : state) {
    char *r = vlauth_build_login_request_json(k_auth_base, email, password);
    benchmark::DoNotOptimize(r);
    vlauth_free(r);
  }
  report(state, nullptr,
         [&] { vlauth_free(vlauth_build_login_request_json(k_auth_base, email, password)); });
}

void bm_guid(benchmark::State &state) {
  for (auto _ : state) {
    benchmark::DoNotOptimize(vlauth_is_valid_guid(k_guid));
  }
  report(state, nullptr, [] { benchmark::DoNotOptimize(vlauth_is_valid_guid(k_guid)); });
}

void bm_selftest(benchmark::State &state) {
  for (auto _ : state) {
    benchmark::DoNotOptimize(vlauth_selftest());
  }
  report(state, nullptr, [] { benchmark::DoNotOptimize(vlauth_selftest()); });
}

void bm_version(benchmark::State &state) {
  for (auto _ : state) benchmark::DoNotOptimize(vlauth_version());
  report(state, nullptr, [] { benchmark::DoNotOptimize(vlauth_version()); });
}

void bm_abi_version(benchmark::State &state) {
  for (auto _ : state) benchmark::DoNotOptimize(vlauth_abi_version());
  report(state, nullptr, [] { benchmark::DoNotOptimize(vlauth_abi_version()); });
}

void bm_last_error(benchmark::State &state) {
  for (auto _ : state) benchmark::DoNotOptimize(vlauth_last_error());
  report(state, nullptr, [] { benchmark::DoNotOptimize(vlauth_last_error()); });
}

// Releasing a returned string (a cookie assignment of the small token); the strings are
// made in batches outside the timed region.
void bm_free(benchmark::State &state, const Token *t) {
  const size_t k_batch = 256;
  char *batch[k_batch];
  const char *text = t->text.c_str();
  size_t next = k_batch;
  for (auto _ : state) {
    if (next == k_batch) {
      state.PauseTiming();
      for (size_t i = 0; i < k_batch; ++i) batch[i] = vlauth_build_cookie_value(text);
      next = 0;
      state.ResumeTiming();
    }
    vlauth_free(batch[next++]);
  }
  while (next < k_batch) vlauth_free(batch[next++]);
  char *one = vlauth_build_cookie_value(text);
  report(state, nullptr, [&] { vlauth_free(one); });
}

// ---- Checks before timing: each benchmark measures the path it names ----------------------

bool check(bool ok, const char *what, const char *name) {
  if (!ok) fprintf(stderr, "vlauth_bench: %s fails for %s\n", what, name);
  return ok;
}

bool check_inputs(const std::string &cookie_header) {
  bool ok = true;
  for (const Token &t : tokens()) {
    char *claims = vlauth_parse_jwt_claims_json(t.text.c_str(), k_now);
    char *floor = floor_claims(t.text.c_str(), t.text.size(), k_now);
    ok &= check(claims != nullptr && floor != nullptr && strcmp(claims, floor) == 0,
                "the claims document equal to the floor's", t.name);
    ok &= check(claims != nullptr && strstr(claims, "\"isAdmin\":true,\"hasValidGuid\":true"),
                "an administrator with a valid GUID", t.name);
    vlauth_free(claims);
    free(floor);
    char *policy = vlauth_session_policy_json(t.text.c_str(), k_now, k_dist_base, k_music_base);
    ok &= check(policy != nullptr && strstr(policy, "\"mode\":\"signed_in\""), "signed in", t.name);
    vlauth_free(policy);
  }
  const Token &small = tokens()[0];
  char *found = vlauth_extract_token(cookie_header.c_str());
  ok &= check(found != nullptr && small.text == found, "the token search", "the cookie header");
  vlauth_free(found);
  char *url = vlauth_build_web_login_url(k_auth_base, k_redirect);
  ok &= check(url != nullptr && strstr(url, "redirect=https%3A%2F%2F"), "the web login URL", "it");
  vlauth_free(url);
  ok &= check(sizeof k_redirect - 1 == 60, "a 60-byte redirect", "the redirect");
  ok &= check(vlauth_selftest() == 0, "the self-test", "the library");
  return ok;
}

}  // namespace

int main(int argc, char **argv) {
  static const std::string cookie_header =
      "theme=dark; lang=en-GB; ov_token=" + tokens()[0].text + "; consent=1; _ga=GA1.2.3";
  if (!check_inputs(cookie_header)) return 1;

  for (const Token &t : tokens()) {
    std::string name = std::string("/") + t.name;
    benchmark::RegisterBenchmark(("floor" + name).c_str(), bm_floor, &t);
    benchmark::RegisterBenchmark(("vlauth_parse_jwt_claims_json" + name).c_str(), bm_claims, &t);
    benchmark::RegisterBenchmark(("vlauth_session_policy_json" + name).c_str(), bm_policy, &t);
  }
  const Token *small = &tokens()[0];
  benchmark::RegisterBenchmark("vlauth_session_policy_json/none", bm_policy,
                               static_cast<const Token *>(nullptr));
  benchmark::RegisterBenchmark("vlauth_extract_token/cookie-header", bm_extract, &cookie_header);
  benchmark::RegisterBenchmark("vlauth_build_cookie_value/small", bm_cookie, small);
  benchmark::RegisterBenchmark("vlauth_build_web_login_url/redirect-60", bm_web_login_url);
  benchmark::RegisterBenchmark("vlauth_build_login_request_json/-", bm_login_request);
  benchmark::RegisterBenchmark("vlauth_is_valid_guid/-", bm_guid);
  benchmark::RegisterBenchmark("vlauth_selftest/-", bm_selftest);
  benchmark::RegisterBenchmark("vlauth_version/-", bm_version);
  benchmark::RegisterBenchmark("vlauth_abi_version/-", bm_abi_version);
  benchmark::RegisterBenchmark("vlauth_last_error/-", bm_last_error);
  benchmark::RegisterBenchmark("vlauth_free/cookie", bm_free, small);

  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
