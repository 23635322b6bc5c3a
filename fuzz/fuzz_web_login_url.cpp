// vlauth_build_web_login_url: null with "invalid auth_base_url" exactly when the base
// fails its rule; otherwise the trimmed base and "/login", with "?redirect=" and the
// target percent-encoded when there is one: only unreserved bytes and upper-case %XX
// triplets, and percent-decoding gives back the target. The error text is left alone on
// success. Input: base, NUL, redirect.
#include "fuzz_support.h"

namespace {

bool unreserved(unsigned char c) { return fuzz::is_alnum(c) || c == '-' || c == '.' || c == '_' || c == '~'; }

int hex_value(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;  // lower case is not what the library writes
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  std::vector<fuzz::Arg> a = fuzz::split(data, size, 2);
  vlauth_free(vlauth_parse_jwt_claims_json(nullptr, 0));  // leaves "malformed jwt"
  char *url = vlauth_build_web_login_url(fuzz::c_str(a[0]), fuzz::c_str(a[1]));
  if (!fuzz::base_url_ok(fuzz::c_str(a[0]))) {
    FUZZ_CHECK(url == nullptr);
    FUZZ_CHECK(fuzz::error_is("invalid auth_base_url"));
    return 0;
  }
  FUZZ_CHECK(url != nullptr);
  FUZZ_CHECK(fuzz::error_is("malformed jwt"), "error text changed on success");
  std::string text = url;
  vlauth_free(url);

  std::string prefix = fuzz::trimmed(*a[0]) + "/login";
  bool has_target = a[1] && !a[1]->empty();
  if (!has_target) {
    FUZZ_CHECK(text == prefix, text);
    return 0;
  }
  prefix += "?redirect=";
  FUZZ_CHECK(text.compare(0, prefix.size(), prefix) == 0, text);
  std::string decoded;
  for (size_t i = prefix.size(); i < text.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    if (c != '%') {
      FUZZ_CHECK(unreserved(c), "unencoded reserved byte");
      decoded += static_cast<char>(c);
      continue;
    }
    FUZZ_CHECK(i + 2 < text.size(), "cut triplet");
    int hi = hex_value(text[i + 1]), lo = hex_value(text[i + 2]);
    FUZZ_CHECK(hi >= 0 && lo >= 0, "not an upper-case hex triplet");
    unsigned char byte = static_cast<unsigned char>(hi * 16 + lo);
    FUZZ_CHECK(!unreserved(byte), "unreserved byte encoded");
    decoded += static_cast<char>(byte);
    i += 2;
  }
  FUZZ_CHECK(decoded == *a[1], "decoding does not give back the target");
  return 0;
}
