// vlauth_build_login_request_json: the first failing test decides the message (base URL,
// e-mail, empty password, password not UTF-8); otherwise the four-member document whose
// "url" is the trimmed base and "/api/login" and whose "body" decodes to exactly the
// e-mail and password. Input: base, NUL, e-mail, NUL, password.
#include "fuzz_support.h"

namespace {

const std::vector<fuzz::Member> kRequestMembers{{"method", fuzz::Type::str},
                                                {"url", fuzz::Type::str},
                                                {"contentType", fuzz::Type::str},
                                                {"body", fuzz::Type::str}};
const std::vector<fuzz::Member> kCredentialMembers{{"email", fuzz::Type::str},
                                                   {"password", fuzz::Type::str}};

// The message the arguments call for, or null when they pass every test.
const char *expected_message(const fuzz::Arg &base, const fuzz::Arg &email, const fuzz::Arg &password) {
  if (!fuzz::base_url_ok(fuzz::c_str(base))) return "invalid auth_base_url";
  if (!email || email->find('@') == std::string::npos || email->size() < 3 ||
      !fuzz::writable_utf8(*email)) {
    return "invalid email";
  }
  if (!password || password->empty()) return "empty password";
  if (!fuzz::writable_utf8(*password)) return "invalid password";
  return nullptr;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  std::vector<fuzz::Arg> a = fuzz::split(data, size, 3);
  fuzz::leave_message();
  char *text = vlauth_build_login_request_json(fuzz::c_str(a[0]), fuzz::c_str(a[1]), fuzz::c_str(a[2]));
  const char *message = expected_message(a[0], a[1], a[2]);
  if (message != nullptr) {
    FUZZ_CHECK(text == nullptr);
    FUZZ_CHECK(fuzz::error_is(message), message);
    return 0;
  }
  FUZZ_CHECK(fuzz::error_is(""));
  if (text == nullptr) {
    // The one null left: a base URL that cannot be written as JSON text.
    FUZZ_CHECK(!fuzz::writable_utf8(*a[0]), *a[0]);
    return 0;
  }
  fuzz::Json doc(text);
  vlauth_free(text);
  fuzz::check_members(doc.root(), kRequestMembers, "login request");
  FUZZ_CHECK(fuzz::str_of(doc.root(), "method") == "POST");
  FUZZ_CHECK(fuzz::str_of(doc.root(), "url") == fuzz::trimmed(*a[0]) + "/api/login");
  FUZZ_CHECK(fuzz::str_of(doc.root(), "contentType") == "application/json");
  fuzz::Json body(fuzz::str_of(doc.root(), "body").c_str());
  fuzz::check_members(body.root(), kCredentialMembers, "credentials");
  FUZZ_CHECK(fuzz::str_of(body.root(), "email") == *a[1], "e-mail not given back");
  FUZZ_CHECK(fuzz::str_of(body.root(), "password") == *a[2], "password not given back");
  return 0;
}
