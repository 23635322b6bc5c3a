// The login request document: its exact text, the URL under the trimmed base, the order
// of the argument tests and the credentials text carried, escaped twice, in "body".
#include <optional>
#include <string>

#include <gtest/gtest.h>
#include <yyjson.h>

#include "test_support.h"

namespace {

using vltest::last_error;
using vltest::take;

const char kBase[] = "https://auth.example.com";

std::optional<std::string> login(const char *base, const char *email, const char *password) {
  return take(vlauth_build_login_request_json(base, email, password));
}

// The string member `key` of the JSON object `text`, or nullopt.
std::optional<std::string> string_member(const std::string &text, const char *key) {
  yyjson_doc *doc = yyjson_read(text.data(), text.size(), 0);
  yyjson_val *v = yyjson_obj_get(yyjson_doc_get_root(doc), key);
  std::optional<std::string> out;
  if (yyjson_is_str(v)) out = std::string(yyjson_get_str(v), yyjson_get_len(v));
  yyjson_doc_free(doc);
  return out;
}

TEST(LoginRequest, ExactText) {
  vltest::leave_message();
  EXPECT_EQ(login(kBase, "user@example.com", "secret"),
            "{\"method\":\"POST\",\"url\":\"https://auth.example.com/api/login\","
            "\"contentType\":\"application/json\","
            "\"body\":\"{\\\"email\\\":\\\"user@example.com\\\","
            "\\\"password\\\":\\\"secret\\\"}\"}");
  EXPECT_EQ(last_error(), "");
}

TEST(LoginRequest, UrlUnderTheTrimmedBase) {
  struct Case {
    const char *base;
    const char *url;
  };
  const Case cases[] = {
      {"https://auth.example.com/", "https://auth.example.com/api/login"},
      {"https://auth.example.com///", "https://auth.example.com/api/login"},
      {"https://auth.example.com/v2/", "https://auth.example.com/v2/api/login"},
      {"http://ab", "http://ab/api/login"},
      {"https:///", "https:/api/login"},
      {"http://///", "http:/api/login"},
      {"https://b\xC3\xBC" "cher.example", "https://b\xC3\xBC" "cher.example/api/login"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.base);
    std::optional<std::string> doc = login(c.base, "a@b", "pw");
    ASSERT_TRUE(doc);
    EXPECT_EQ(string_member(*doc, "url"), std::string(c.url));
  }
}

// Tested in the order base URL, e-mail, empty password, password not UTF-8; the first
// failure decides the message.
TEST(LoginRequest, ArgumentTestsInOrder) {
  struct Case {
    const char *base;
    const char *email;
    const char *password;
    const char *message;
  };
  const Case cases[] = {
      {nullptr, nullptr, nullptr, "invalid auth_base_url"},
      {"ftp://auth.example.com", "bad", "", "invalid auth_base_url"},
      {"http://a", "a@b", "pw", "invalid auth_base_url"},
      {"https://auth example.com", "a@b", "pw", "invalid auth_base_url"},
      {kBase, nullptr, "", "invalid email"},
      {kBase, "", "pw", "invalid email"},
      {kBase, "no-at-sign", "pw", "invalid email"},
      {kBase, "a@", "pw", "invalid email"},
      {kBase, "\xFF@example.com", "pw", "invalid email"},
      {kBase, "a@\xC3", "", "invalid email"},
      {kBase, "\xC0\xAF@example.com", "\xFF", "invalid email"},
      {kBase, "a@b", nullptr, "empty password"},
      {kBase, "a@b", "", "empty password"},
      {kBase, "a@b", "\xFF", "invalid password"},
      {kBase, "a@b", "pass\xC3", "invalid password"},
      {kBase, "a@b", "\xC0\xAF", "invalid password"},
      {kBase, "a@b", "\xED\xA0\x80", "invalid password"},
      {kBase, "a@b", "\xF4\x90\x80\x80", "invalid password"},
      {kBase, "a@b", "\xE2\x82", "invalid password"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(std::string(c.base ? c.base : "(null)") + " / " +
                 (c.email ? c.email : "(null)") + " / " + (c.password ? c.password : "(null)"));
    vlauth_free(vlauth_build_cookie_value("a.b.c"));  // an empty error text before
    EXPECT_EQ(login(c.base, c.email, c.password), std::nullopt);
    EXPECT_EQ(last_error(), c.message);
  }
}

TEST(LoginRequest, AcceptedEmailsAndPasswords) {
  struct Case {
    const char *email;
    const char *password;
  };
  const Case cases[] = {
      {"a@b", "x"},     {"@ab", "x"},  {"ab@", "x"},
      {"@@@", "x"},     {"a@b@c", " "}, {"j\xC3\xB6rg@example.com", "p\xC3\xA4ss \xF0\x9F\x8E\xB5"},
      {"no space@x", "\t"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.email);
    std::optional<std::string> doc = login(kBase, c.email, c.password);
    ASSERT_TRUE(doc);
    std::optional<std::string> body = string_member(*doc, "body");
    ASSERT_TRUE(body);
    EXPECT_EQ(string_member(*body, "email"), std::string(c.email));
    EXPECT_EQ(string_member(*body, "password"), std::string(c.password));
  }
}

// A quotation mark or backslash is escaped once in the credentials text and once more in
// the document; decoding twice gives the arguments back.
TEST(LoginRequest, CredentialsEscapedTwiceAndDecodedBack) {
  const char email[] = "\"quoted\\\"@example.com";
  const char password[] = "p\"w\\d/\x01\n\xE2\x82\xAC";
  std::optional<std::string> doc = login(kBase, email, password);
  ASSERT_TRUE(doc);
  EXPECT_NE(doc->find("\"body\":\"{\\\"email\\\":\\\"\\\\\\\"quoted\\\\\\\\\\\\\\\"@"),
            std::string::npos)
      << *doc;
  std::optional<std::string> body = string_member(*doc, "body");
  ASSERT_TRUE(body);
  EXPECT_EQ(string_member(*body, "email"), std::string(email));
  EXPECT_EQ(string_member(*body, "password"), std::string(password));
  EXPECT_EQ(doc->find_first_of(" \t\n"), std::string::npos);
}

TEST(LoginRequest, BaseNotUtf8GivesNullWithEmptyErrorText) {
  vltest::leave_message();
  EXPECT_EQ(login("https://auth.example.com/\xFF", "a@b", "pw"), std::nullopt);
  EXPECT_EQ(last_error(), "");
}

}  // namespace
