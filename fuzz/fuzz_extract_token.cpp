// vlauth_extract_token: whatever it returns has the token shape, stands in the text
// right after "ov_token=" or "token=" and ends where a value ends; its cookie assignment
// gives it back. The error text is never touched.
#include "fuzz_support.h"

namespace {

bool ends_value(char c) {
  return c == '\0' || c == ';' || c == '&' || c == '#' || c == ' ' || (c >= '\t' && c <= '\r');
}

// Whether `token` stands in `text` after `pattern` as a whole value.
bool found_after(const std::string &text, const std::string &token, const char *pattern) {
  std::string needle = pattern + token;
  for (size_t at = text.find(needle); at != std::string::npos; at = text.find(needle, at + 1)) {
    size_t end = at + needle.size();
    if (ends_value(end < text.size() ? text[end] : '\0')) return true;
  }
  return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  std::vector<fuzz::Arg> args = fuzz::split(data, size, 1);
  fuzz::leave_message();
  char *token = vlauth_extract_token(fuzz::c_str(args[0]));
  FUZZ_CHECK(fuzz::error_is("invalid jwt"), "error text changed");
  if (token == nullptr) return 0;
  std::string found = token;
  vlauth_free(token);

  FUZZ_CHECK(fuzz::token_shape_ok(found.c_str()), found);
  FUZZ_CHECK(found_after(*args[0], found, "ov_token=") || found_after(*args[0], found, "token="), found);
  char *cookie = vlauth_build_cookie_value(found.c_str());
  FUZZ_CHECK(cookie != nullptr, found);
  char *again = vlauth_extract_token(cookie);
  FUZZ_CHECK(again != nullptr && found == again, found);
  vlauth_free(again);
  vlauth_free(cookie);
  return 0;
}
