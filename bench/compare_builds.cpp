// Compares two builds of the library on the same generated inputs: every export's result
// (text or null) and the error text it leaves must be the same. A speed-up must not change
// an answer; this checks it against a build of an earlier commit.
//
//   vlauth_compare OLD.so NEW.so [rounds]
//
// Each round draws a token (a payload of random claims, numbers, escapes, bytes that are not
// UTF-8, broken JSON, padding and misplaced characters), and runs the claims decoder at
// several times, the session policy with various base URLs, the cookie builder, the token
// search in cookie and query texts, the GUID check, the web login URL and the login request
// on it and on values drawn beside it; then fixed payloads around NULs, "admin" and
// surrogates, and raw token shapes around the 16-byte blocks of the shape rule. The inputs
// depend only on the round count. Exit status 0 when no answer differs.
#include <dlfcn.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <random>
#include <string>
#include <vector>

namespace {

// The exports of one build.
struct Build {
  const char *(*last_error)(void);
  void (*release)(void *);
  int32_t (*is_valid_guid)(const char *);
  char *(*claims)(const char *, int64_t);
  char *(*extract)(const char *);
  char *(*cookie)(const char *);
  char *(*login)(const char *, const char *, const char *);
  char *(*web_login)(const char *, const char *);
  char *(*policy)(const char *, int64_t, const char *, const char *);
  int32_t (*selftest)(void);
};

template <typename F>
void find(void *handle, const char *path, const char *name, F *out) {
  void *symbol = dlsym(handle, name);
  if (symbol == nullptr) {
    fprintf(stderr, "vlauth_compare: %s has no %s\n", path, name);
    exit(2);
  }
  memcpy(out, &symbol, sizeof symbol);
}

Build load(const char *path) {
  // Each build is opened apart, so that each calls its own exports.
  void *handle = dlopen(path, RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) {
    fprintf(stderr, "vlauth_compare: %s\n", dlerror());
    exit(2);
  }
  Build b;
  find(handle, path, "vlauth_last_error", &b.last_error);
  find(handle, path, "vlauth_free", &b.release);
  find(handle, path, "vlauth_is_valid_guid", &b.is_valid_guid);
  find(handle, path, "vlauth_parse_jwt_claims_json", &b.claims);
  find(handle, path, "vlauth_extract_token", &b.extract);
  find(handle, path, "vlauth_build_cookie_value", &b.cookie);
  find(handle, path, "vlauth_build_login_request_json", &b.login);
  find(handle, path, "vlauth_build_web_login_url", &b.web_login);
  find(handle, path, "vlauth_session_policy_json", &b.policy);
  find(handle, path, "vlauth_selftest", &b.selftest);
  return b;
}

Build g_old, g_new;
long g_cases = 0;
long g_differences = 0;
std::mt19937_64 g_random(20261210);

size_t pick(size_t n) { return n == 0 ? 0 : static_cast<size_t>(g_random() % n); }
template <typename T, size_t N>
const T &pick_of(const T (&list)[N]) {
  return list[pick(N)];
}

std::string printable(const char *s) {
  if (s == nullptr) return "(null)";
  std::string out;
  for (const char *p = s; *p != '\0' && out.size() < 300; ++p) {
    unsigned char c = static_cast<unsigned char>(*p);
    if (c < 32 || c > 126) {
      char hex[8];
      snprintf(hex, sizeof hex, "\\x%02x", c);
      out += hex;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

// One call's answer: its text (or null) and the error text afterwards. A message that no
// export under test writes stands in the error text before the call, so that "left as it
// was", "emptied" and "replaced" all show.
struct Answer {
  bool null;
  std::string text;
  std::string error;
};

template <typename Call>
Answer ask(const Build &b, const Call &call) {
  b.release(b.cookie(nullptr));  // leaves "invalid jwt"
  char *r = call(b);
  Answer a{r == nullptr, r != nullptr ? r : "", b.last_error()};
  b.release(r);
  return a;
}

template <typename Call>
void compare(const char *what, const std::string &input, const Call &call) {
  ++g_cases;
  Answer a = ask(g_old, call);
  Answer b = ask(g_new, call);
  if (a.null == b.null && a.text == b.text && a.error == b.error) return;
  if (++g_differences <= 20) {
    printf("%s differs for %s\n  old: %s [%s]\n  new: %s [%s]\n", what,
           printable(input.c_str()).c_str(),
           a.null ? "(null)" : printable(a.text.c_str()).c_str(), a.error.c_str(),
           b.null ? "(null)" : printable(b.text.c_str()).c_str(), b.error.c_str());
  }
}

// ---- Inputs -------------------------------------------------------------------------------

std::string base64url(const std::string &in) {
  static const char k_alphabet[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";
  std::string out;
  uint32_t bits = 0;
  int count = 0;
  for (char ch : in) {
    bits = (bits << 8) | static_cast<unsigned char>(ch);
    count += 8;
    while (count >= 6) {
      count -= 6;
      out += k_alphabet[(bits >> count) & 63];
    }
  }
  if (count > 0) out += k_alphabet[(bits << (6 - count)) & 63];
  return out;
}

// JSON string content: plain text, escapes (NUL, surrogates, a lone one now and then),
// UTF-8, and rarely bytes that are not UTF-8.
std::string string_body() {
  static const char *const k_common[] = {
      "a", "admin", "Admin", "x y", "\\n", "\\\"", "\\\\", "\\/", "/", "\\u0000", "\\u00e9",
      "\xc3\xa9", "\xe2\x82\xac", "\xf0\x9f\x98\x80", "\\ud83d\\ude00", "@", "\\t", "%", "\x7f",
      "\\u001f", "<", ">", "&", "11111111-2222-3333-4444-555555555555",
      "ABCDEFAB-CDEF-abcd-ef01-234567890123"};
  static const char *const k_rare[] = {"\xff", "\xc3", "\t", "\\ud800"};
  std::string s;
  size_t n = pick(20) == 0 ? 60 + pick(200) : pick(4);
  for (size_t i = 0; i < n; ++i) s += pick(16) == 0 ? pick_of(k_rare) : pick_of(k_common);
  return s;
}

std::string number() {
  static const char *const k_good[] = {
      "0", "-5", "12.75", "-5.7", "1700000000", "1700000001", "1699999999", "4102444800",
      "1e19", "-1e19", "9223372036854775807", "9223372036854775808", "-9223372036854775808",
      "-9223372036854775809", "18446744073709551615", "18446744073709551616",
      "9007199254740993", "-0", "0.5", "1E3", "3e-400"};
  static const char *const k_bad[] = {"1e400", "01", "1.", "-"};
  return pick(20) == 0 ? pick_of(k_bad) : pick_of(k_good);
}

std::string value(int depth);

std::string array(int depth) {
  std::string s = "[";
  size_t n = pick(5);
  for (size_t i = 0; i < n; ++i) {
    if (i != 0) s += ",";
    s += pick(3) != 0 ? "\"" + string_body() + "\"" : value(depth + 1);
  }
  return s + "]";
}

std::string object(int depth) {
  static const char *const k_keys[] = {"sub", "email", "iss", "exp", "iat", "permissions",
                                       "Sub", "x", "s\\u0075b", "sub\\u0000", "isAdmin",
                                       "hasValidGuid", "isExpired", "perm", ""};
  std::string s = "{";
  size_t n = pick(9);
  for (size_t i = 0; i < n; ++i) {
    if (i != 0) s += ",";
    s += "\"" + std::string(pick_of(k_keys)) + "\":" + value(depth + 1);
  }
  return s + "}";
}

std::string value(int depth) {
  static const char *const k_literals[] = {"true", "false", "null"};
  switch (depth > 3 ? pick(4) : pick(7)) {
    case 0:
    case 3: return "\"" + string_body() + "\"";
    case 1: return number();
    case 2: return pick_of(k_literals);
    case 5: return object(depth);
    default: return array(depth);
  }
}

// A claims object most of the time; now and then another value or broken JSON.
std::string payload() {
  switch (pick(30)) {
    case 0: return value(0);
    case 1: return object(0) + " x";
    case 2: return object(0) + "  \n";
    case 3: return "{\"a\":1,}";
    case 4: return "/*c*/{}";
    case 5: return "";
    case 6: return " " + object(0);
    case 7: return "\xef\xbb\xbf{}";
    default: break;
  }
  std::vector<std::string> members;
  if (pick(4) != 0) {
    members.push_back(pick(3) != 0 ? "\"sub\":\"11111111-2222-3333-4444-555555555555\""
                                   : "\"sub\":" + value(1));
  }
  if (pick(3) != 0) {
    members.push_back(pick(3) != 0 ? "\"email\":\"listener@example.com\""
                                   : "\"email\":" + value(1));
  }
  if (pick(3) != 0) members.push_back("\"iss\":" + value(1));
  if (pick(3) != 0) members.push_back("\"exp\":" + number());
  if (pick(3) != 0) members.push_back("\"iat\":" + number());
  if (pick(4) != 0) members.push_back("\"permissions\":" + (pick(4) != 0 ? array(1) : value(1)));
  if (pick(3) != 0) {
    std::string more = object(1);
    more = more.substr(1, more.size() - 2);
    if (!more.empty()) members.push_back(more);
  }
  std::string s = "{";
  for (size_t i = 0; i < members.size(); ++i) s += (i != 0 ? "," : "") + members[i];
  return s + "}";
}

std::string short_segment() {
  static const char k_chars[] = "ABCabcxyz0129-_=";
  std::string s;
  size_t n = pick(6);
  for (size_t i = 0; i < n; ++i) s += k_chars[pick(sizeof k_chars - 1)];
  return s;
}

std::string token() {
  static const char k_alphabet[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";
  std::string p = base64url(payload());
  switch (pick(12)) {
    case 0: p += std::string(1 + pick(3), '='); break;
    case 1: p += k_alphabet[pick(64)]; break;
    case 2: if (!p.empty()) p.insert(pick(p.size()), "="); break;
    case 3: if (!p.empty()) p[pick(p.size())] = "+/ .%\x80"[pick(6)]; break;
    case 4: p = std::string(1 + pick(4), '='); break;
    case 5: p += "==" + std::string(1, k_alphabet[pick(64)]); break;
    default: break;
  }
  std::string t = (pick(10) != 0 ? std::string("eyJhbGciOiJub25lIn0") : short_segment()) + "." + p +
                  "." + (pick(10) != 0 ? std::string("c2ln") : short_segment());
  switch (pick(25)) {
    case 0: t = "." + t; break;
    case 1: t += "."; break;
    case 2: t += ".x"; break;
    case 3: if (!t.empty()) t.insert(pick(t.size()), "."); break;
    case 4: if (!t.empty()) t.insert(pick(t.size()), 1, "\x01 \t\"%+/\xff;&#"[pick(12)]); break;
    case 5: t.clear(); break;
    default: break;
  }
  return t;
}

std::string carrier(const std::string &tok) {
  static const char *const k_before[] = {"", "a=b; ", "a=b;", "x=1&", "?", "https://h/cb?",
                                         "https://h/cb?x=1&", "\t", "a,", "/", " ",
                                         "ov_token=; ", "ov_token=bad; ", "my"};
  static const char *const k_keys[] = {"ov_token=", "token=", "OV_TOKEN=", "Token=",
                                       "ov_token=token=", "token="};
  static const char *const k_after[] = {"", "; c=d", "&y=2", "#frag", " more", "\tmore",
                                        "\nx", ";", "&", "#", "\""};
  std::string s = std::string(pick_of(k_before)) + pick_of(k_keys);
  if (pick(8) == 0) s += "\"";
  s += tok + pick_of(k_after);
  if (pick(3) == 0) {
    s += std::string(pick(2) != 0 ? "; token=" : "&ov_token=") + token() + pick_of(k_after);
  }
  return s;
}

// ---- Rounds -------------------------------------------------------------------------------

void round_of_exports(const std::string &long_base) {
  static const char *const k_bases[] = {nullptr, "", "/", "https://d.example.com",
                                        "https://d.example.com///", "http://x", "x y",
                                        "https://\xff\xfe", "https://caf\xc3\xa9.example"};
  static const int64_t k_times[] = {0, -1, 1, 1700000000, 1700000001, 1699999999,
                                    4102444800, INT64_MAX, INT64_MIN};
  const std::string tok = token();
  const char *t = tok.c_str();
  const int64_t now = pick_of(k_times);
  compare("claims", tok, [&](const Build &b) { return b.claims(t, now); });

  const char *dist = pick(8) != 0 ? pick_of(k_bases) : long_base.c_str();
  const char *music = pick_of(k_bases);
  compare("policy", tok, [&](const Build &b) { return b.policy(t, now, dist, music); });
  const char *no_token = pick(2) != 0 ? nullptr : "";
  if (pick(50) == 0) {
    compare("guest policy", "",
            [&](const Build &b) { return b.policy(no_token, now, dist, music); });
  }
  compare("cookie", tok, [&](const Build &b) { return b.cookie(t); });
  const std::string text = carrier(tok);
  compare("token search", text, [&](const Build &b) { return b.extract(text.c_str()); });

  std::string guid = pick(2) != 0 ? "11111111-2222-3333-4444-555555555555" : string_body();
  if (pick(3) == 0 && !guid.empty()) guid[pick(guid.size())] = "-gG0aA{}"[pick(8)];
  ++g_cases;
  if (g_old.is_valid_guid(guid.c_str()) != g_new.is_valid_guid(guid.c_str()) &&
      ++g_differences <= 20) {
    printf("GUID check differs for %s\n", printable(guid.c_str()).c_str());
  }

  const std::string redirect = string_body();
  const char *auth = pick(5) != 0 ? "https://auth.example.com//"
                                  : (pick(3) != 0 ? pick_of(k_bases) : long_base.c_str());
  const char *target = pick(10) != 0 ? redirect.c_str() : nullptr;
  compare("web login URL", redirect, [&](const Build &b) { return b.web_login(auth, target); });
  const std::string email = pick(2) != 0 ? "a@b" : string_body();
  const std::string password = string_body();
  compare("login request", email + " / " + password,
          [&](const Build &b) { return b.login(auth, email.c_str(), password.c_str()); });
}

void fixed_payloads() {
  static const char *const k_payloads[] = {
      "{\"permissions\":[\"admin\\u0000x\"]}", "{\"permissions\":[\"admi\"]}",
      "{\"permissions\":[\"admin \"]}", "{\"permissions\":[\"\\u0061dmin\"]}",
      "{\"permissions\":[\"admin\\u0000\"]}", "{\"permissions\":[\"Admin\",1,[\"admin\"]]}",
      "{\"sub\":\"11111111-2222-3333-4444-555555555555\\u0000x\",\"exp\":1}",
      "{\"sub\":\"11111111-2222-3333-4444-555555555555\",\"email\":\"a\\u0000b\","
      "\"exp\":4102444800}",
      "{\"sub\":\"11111111-2222-3333-4444-555555555555\",\"email\":\"\\ud800\"}",
      "{\"sub\":\"11111111-2222-3333-4444-555555555555\",\"email\":\"\\udc00\\ud800\"}",
      "{\"sub\":\"11111111-2222-3333-4444-555555555555\",\"email\":\"\xed\xa0\x80\"}",
      "{}", "[]", "{\"sub\":\"11111111-2222-3333-4444-55555555555g\"}"};
  for (const char *p : k_payloads) {
    const std::string tok = "eyJ9." + base64url(p) + ".c2ln";
    for (int64_t now : {int64_t{0}, int64_t{1700000000}}) {
      compare("claims", p, [&](const Build &b) { return b.claims(tok.c_str(), now); });
      compare("policy", p,
              [&](const Build &b) { return b.policy(tok.c_str(), now, nullptr, "https://m"); });
    }
  }
}

// Raw shapes of every length up to a few blocks, dots and a bad byte anywhere.
void token_shapes(long rounds) {
  static const char k_chars[] = "AZaz09-_=Mm";
  static const char k_bad[] = "\x01 +/%\x80\xff`@[{:";
  for (long i = 0; i < rounds; ++i) {
    size_t n = pick(4) != 0 ? pick(200) : pick(2000);
    std::string t(n, 'A');
    for (char &c : t) c = k_chars[pick(sizeof k_chars - 1)];
    size_t dots = pick(5);
    for (size_t k = 0; k < dots && n != 0; ++k) t[pick(n)] = '.';
    if (pick(3) == 0 && n != 0) t[pick(n)] = k_bad[pick(sizeof k_bad - 1)];
    if (pick(4) == 0 && n > 2) {
      if (pick(2) != 0) t[0] = '.';
      if (pick(2) != 0) t[n - 1] = '.';
    }
    compare("cookie", t, [&](const Build &b) { return b.cookie(t.c_str()); });
    const std::string text = "x=1; ov_token=" + t + (pick(2) != 0 ? ";" : "");
    compare("token search", text, [&](const Build &b) { return b.extract(text.c_str()); });
  }
}

}  // namespace

int main(int argc, char **argv) {
  if (argc < 3) {
    fprintf(stderr, "usage: vlauth_compare OLD.so NEW.so [rounds]\n");
    return 2;
  }
  g_old = load(argv[1]);
  g_new = load(argv[2]);
  long rounds = argc > 3 ? atol(argv[3]) : 20000;
  const std::string long_base = "https://" + std::string(600, 'a');
  for (long i = 0; i < rounds; ++i) round_of_exports(long_base);
  fixed_payloads();
  token_shapes(rounds * 5);
  ++g_cases;
  if (g_old.selftest() != g_new.selftest()) ++g_differences;
  printf("%ld calls compared, %ld differences\n", g_cases, g_differences);
  return g_differences == 0 ? 0 : 1;
}
