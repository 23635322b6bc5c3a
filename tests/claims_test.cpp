// The claims document: exact texts, the number rule with saturation, the expiry,
// administration and GUID decisions, the payload decoding and its refusals.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "test_support.h"

namespace {

using vltest::base64url;
using vltest::kGuid;
using vltest::kNow;
using vltest::last_error;
using vltest::take;
using vltest::token_for;
using vltest::token_with_segment;

std::optional<std::string> claims(const std::string &token, int64_t now = kNow) {
  return take(vlauth_parse_jwt_claims_json(token.c_str(), now));
}
std::optional<std::string> claims_of(const std::string &payload_json, int64_t now = kNow) {
  return claims(token_for(payload_json), now);
}

// The document of a payload whose only claims are those given, in document order.
std::string document(const std::string &sub, const std::string &email, const std::string &iss,
                     const std::string &exp, const std::string &iat, bool expired, bool admin,
                     bool guid, const std::string &permissions) {
  auto b = [](bool v) { return v ? std::string("true") : std::string("false"); };
  return "{\"sub\":\"" + sub + "\",\"email\":\"" + email + "\",\"iss\":\"" + iss +
         "\",\"exp\":" + exp + ",\"iat\":" + iat + ",\"isExpired\":" + b(expired) +
         ",\"isAdmin\":" + b(admin) + ",\"hasValidGuid\":" + b(guid) +
         ",\"permissions\":" + permissions + "}";
}

const char kEmptyDocument[] =
    "{\"sub\":\"\",\"email\":\"\",\"iss\":\"\",\"exp\":0,\"iat\":0,\"isExpired\":false,"
    "\"isAdmin\":false,\"hasValidGuid\":false,\"permissions\":[]}";

TEST(Claims, EmptyObjectGivesTheEmptyDocumentAtAnyTime) {
  for (int64_t now : {INT64_MIN, int64_t{-1}, int64_t{0}, kNow, INT64_MAX}) {
    EXPECT_EQ(claims_of("{}", now), kEmptyDocument) << "now " << now;
  }
  // Whitespace around the object is part of one JSON text.
  EXPECT_EQ(claims_of(" \t\r\n{ } \n"), kEmptyDocument);
}

// Members in another order, a number where a string belongs, a fraction, mixed
// permissions and a second "sub" that does not count.
const char kMixedPayload[] =
    "{\"iss\":5,\"sub\":\"11111111-2222-3333-4444-555555555555\",\"exp\":1700000000,"
    "\"iat\":12.75,\"permissions\":[\"admin\",7,[\"admin\"],\"admin\"],\"sub\":\"other\"}";

TEST(Claims, MixedPayloadGivesTheExactDocument) {
  EXPECT_EQ(claims_of(kMixedPayload, 1700000000),
            "{\"sub\":\"11111111-2222-3333-4444-555555555555\",\"email\":\"\",\"iss\":\"\","
            "\"exp\":1700000000,\"iat\":12,\"isExpired\":true,\"isAdmin\":true,"
            "\"hasValidGuid\":true,\"permissions\":[\"admin\",\"admin\"]}");
  for (int64_t now : {int64_t{1699999999}, int64_t{0}, int64_t{-1}}) {
    std::optional<std::string> doc = claims_of(kMixedPayload, now);
    ASSERT_TRUE(doc);
    EXPECT_NE(doc->find("\"isExpired\":false"), std::string::npos) << "now " << now;
  }
}

TEST(Claims, SampleTokenClaims) {
  EXPECT_EQ(claims(vltest::kSampleToken),
            document(kGuid, vltest::kSampleEmail, "https://auth.example.com", "4102444800",
                     "1700000000", false, true, true, "[\"admin\"]"));
}

// "exp" and "iat": any JSON number, as a double truncated toward zero and saturated at
// the ends of the signed 64-bit range; anything else is 0. Both claims get the value.
TEST(Claims, NumberRule) {
  struct Case {
    const char *json;
    const char *written;
    bool expired_at_now;
  };
  const Case cases[] = {
      {"1700000000", "1700000000", true},
      {"1700000001", "1700000001", false},
      {"1699999999.9", "1699999999", true},
      {"12.75", "12", true},
      {"-5.7", "-5", false},
      {"-5", "-5", false},
      {"0.9", "0", false},
      {"-0.9", "0", false},
      {"1e-300", "0", false},
      {"0", "0", false},
      {"\"1700000000\"", "0", false},
      {"true", "0", false},
      {"null", "0", false},
      {"[1]", "0", false},
      {"{\"n\":1}", "0", false},
      {"9007199254740993", "9007199254740992", false},
      {"9223372036854774784", "9223372036854774784", false},
      {"9223372036854775807", "9223372036854775807", false},
      {"9223372036854775808", "9223372036854775807", false},
      {"18446744073709551615", "9223372036854775807", false},
      {"1e19", "9223372036854775807", false},
      {"1e308", "9223372036854775807", false},
      {"-9223372036854775808", "-9223372036854775808", false},
      {"-9223372036854775809", "-9223372036854775808", false},
      {"-1e19", "-9223372036854775808", false},
      {"-1e308", "-9223372036854775808", false},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.json);
    const std::string payload =
        std::string("{\"exp\":") + c.json + ",\"iat\":" + c.json + "}";
    EXPECT_EQ(claims_of(payload),
              document("", "", "", c.written, c.written, c.expired_at_now, false, false, "[]"));
  }
}

// Expired exactly when now > 0, exp > 0 and now >= exp; the saturated value decides.
TEST(Claims, ExpiryDecision) {
  struct Case {
    const char *exp;
    int64_t now;
    bool expired;
  };
  const Case cases[] = {
      {"100", 99, false},
      {"100", 100, true},
      {"100", 101, true},
      {"100", 0, false},
      {"100", -1, false},
      {"100", INT64_MIN, false},
      {"1", INT64_MAX, true},
      {"0", INT64_MAX, false},
      {"-5", 5, false},
      {"1e19", kNow, false},
      {"1e19", INT64_MAX - 1, false},
      {"1e19", INT64_MAX, true},
      {"-1e19", INT64_MAX, false},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(std::string("exp ") + c.exp + ", now " + std::to_string(c.now));
    std::optional<std::string> doc = claims_of(std::string("{\"exp\":") + c.exp + "}", c.now);
    ASSERT_TRUE(doc);
    EXPECT_NE(doc->find(c.expired ? "\"isExpired\":true" : "\"isExpired\":false"),
              std::string::npos);
  }
}

// "isAdmin" looks at the direct string elements only; "permissions" keeps the string
// elements, duplicates and order included.
TEST(Claims, PermissionRules) {
  struct Case {
    const char *permissions;  // the payload's member, or null for none
    bool admin;
    const char *written;
  };
  const Case cases[] = {
      {"[\"admin\"]", true, "[\"admin\"]"},
      {"[\"read\",\"admin\",\"read\"]", true, "[\"read\",\"admin\",\"read\"]"},
      {"\"admin\"", false, "[]"},
      {"{\"admin\":true}", false, "[]"},
      {"null", false, "[]"},
      {"[]", false, "[]"},
      {nullptr, false, "[]"},
      {"[\"Admin\",\"admin \",\" admin\",\"ADMIN\"]", false,
       "[\"Admin\",\"admin \",\" admin\",\"ADMIN\"]"},
      {"[[\"admin\"],{\"p\":\"admin\"},1,true,null]", false, "[]"},
      {"[1,\"x\",false,\"admin\",[]]", true, "[\"x\",\"admin\"]"},
      // An escaped NUL cuts the text, for the comparison as for the copy.
      {"[\"admin\\u0000x\"]", true, "[\"admin\"]"},
      {"[\"ad\\u006din\"]", true, "[\"admin\"]"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.permissions ? c.permissions : "(no permissions)");
    const std::string payload =
        c.permissions ? std::string("{\"permissions\":") + c.permissions + "}" : "{}";
    EXPECT_EQ(claims_of(payload), document("", "", "", "0", "0", false, c.admin, false, c.written));
  }
}

TEST(Claims, FirstOccurrenceOfAKeyCountsWhateverItsType) {
  EXPECT_EQ(claims_of("{\"exp\":5,\"exp\":1700000001,\"email\":\"a@b\",\"email\":\"c@d\"}"),
            document("", "a@b", "", "5", "0", true, false, false, "[]"));
  EXPECT_EQ(claims_of("{\"sub\":1,\"sub\":\"" + kGuid + "\"}"),
            document("", "", "", "0", "0", false, false, false, "[]"));
  EXPECT_EQ(claims_of("{\"permissions\":[\"x\"],\"permissions\":[\"admin\"]}"),
            document("", "", "", "0", "0", false, false, false, "[\"x\"]"));
  // Keys compare after unescaping, case-sensitively.
  EXPECT_EQ(claims_of("{\"SUB\":\"x\",\"\\u0073ub\":\"y\",\"Email\":\"z\"}"),
            document("y", "", "", "0", "0", false, false, false, "[]"));
}

TEST(Claims, SubjectGuidDecision) {
  struct Case {
    std::string sub;
    bool valid;
  };
  const Case cases[] = {
      {kGuid, true},
      {"ABCDEFAB-CDEF-ABCD-EFAB-CDEFABCDEF01", true},
      {"{" + kGuid + "}", false},
      {kGuid + " ", false},
      {"", false},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.sub);
    EXPECT_EQ(claims_of("{\"sub\":\"" + c.sub + "\"}"),
              document(c.sub, "", "", "0", "0", false, false, c.valid, "[]"));
  }
  // A GUID cut short by an escaped NUL is no GUID.
  EXPECT_EQ(claims_of("{\"sub\":\"11111111-2222-3333-4444-\\u0000555555555555\"}"),
            document("11111111-2222-3333-4444-", "", "", "0", "0", false, false, false, "[]"));
}

TEST(Claims, StringValuesAreWrittenAsJsonWants) {
  // An escaped NUL cuts the text; "/" and non-ASCII stay raw; quotation mark, backslash and
  // control characters are escaped again.
  EXPECT_EQ(claims_of("{\"sub\":\"abc\\u0000def\",\"email\":\"j\\u00f6rg/\xE2\x82\xAC@x.example\","
                      "\"iss\":\"a\\\"b\\\\c\\n\\u0001\"}"),
            document("abc", "j\xC3\xB6rg/\xE2\x82\xAC@x.example", "a\\\"b\\\\c\\n\\u0001", "0",
                     "0", false, false, false, "[]"));
}

// Trailing "=" are dropped whatever their number, a surplus final character and leftover
// bits are ignored, and the header and signature are never looked at.
TEST(Claims, LenientPayloadDecoding) {
  const std::string json = "{ \"sub\":\"" + kGuid + "\" }";  // 48 bytes: whole groups
  const std::string segment = base64url(json);
  ASSERT_EQ(segment.size() % 4, 0u);
  const std::optional<std::string> expected = claims(token_with_segment(segment));
  ASSERT_TRUE(expected);
  for (const std::string &variant :
       {segment + "=", segment + "==", segment + "===", segment + "=====", segment + "A",
        segment + "A=="}) {
    SCOPED_TRACE(variant.substr(segment.size()));
    EXPECT_EQ(claims(token_with_segment(variant)), expected);
  }
  // "{}" is "e30"; the two leftover bits of its last character are not examined.
  for (const char *segment_of_braces : {"e30", "e31", "e32", "e33", "e30=", "e30==="}) {
    EXPECT_EQ(claims(token_with_segment(segment_of_braces)), kEmptyDocument) << segment_of_braces;
  }
  EXPECT_EQ(claims("AAAA." + segment + ".-_="), expected);
  EXPECT_EQ(claims("=.e30.="), kEmptyDocument);
}

TEST(Claims, Refusals) {
  struct Case {
    std::string token;
    const char *message;
  };
  const char *const not_object = "jwt payload is not json object";
  const char *const bad_payload = "invalid jwt base64url payload";
  const auto payload = [](const std::string &json) { return token_for(json); };
  const Case cases[] = {
      {"", "malformed jwt"},
      {"a.b", "malformed jwt"},
      {"h.e30+.s", "malformed jwt"},
      {"h.e30/.s", "malformed jwt"},
      {"h.=.s", bad_payload},
      {"h.====.s", bad_payload},
      {"h.e=30.s", bad_payload},
      {"h.=e30.s", bad_payload},
      {"h.e30=A.s", bad_payload},
      // One character, with or without "=", decodes to nothing at all.
      {"h.e.s", not_object},
      {"h.e=.s", not_object},
      {payload("[]"), not_object},
      {payload("[{}]"), not_object},
      {payload("\"{}\""), not_object},
      {payload("1"), not_object},
      {payload("true"), not_object},
      {payload("false"), not_object},
      {payload("null"), not_object},
      {payload("{"), not_object},
      {payload("{\"a\":1,}"), not_object},
      {payload("{},"), not_object},
      {payload("{} x"), not_object},
      {payload("{}{}"), not_object},
      {payload("{}//c"), not_object},
      {payload("/*c*/{}"), not_object},
      {payload("\xEF\xBB\xBF{}"), not_object},
      {payload("{\"exp\":NaN}"), not_object},
      {payload("{\"exp\":Infinity}"), not_object},
      {payload("{\"exp\":1e400}"), not_object},
      {payload("{'sub':'x'}"), not_object},
      {payload(std::string("{}\0", 3)), not_object},
      // Claim text that is not UTF-8 does not get past the strict reading.
      {payload("{\"sub\":\"\xFF\"}"), not_object},
      {payload("{\"email\":\"a\xC3\"}"), not_object},
      {payload("{\"iss\":\"\xED\xA0\x80\"}"), not_object},
      {payload("{\"permissions\":[\"\xC0\xAF\"]}"), not_object},
      {payload("{\"other\":\"\xF5\x80\x80\x80\"}"), not_object},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE("token \"" + c.token + "\"");
    vlauth_free(vlauth_build_cookie_value("a.b.c"));  // an empty error text before
    EXPECT_EQ(claims(c.token), std::nullopt);
    EXPECT_EQ(last_error(), c.message);
  }
}

}  // namespace
