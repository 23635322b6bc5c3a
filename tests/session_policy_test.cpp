// The session policy document: the guest text, the signed-in document, the decision
// between them, the endpoint URLs under the trimmed bases, and long values carried whole.
#include <cstdlib>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>
#include <yyjson.h>

#include "test_support.h"

namespace {

using vltest::kGuid;
using vltest::kNow;
using vltest::kSampleToken;
using vltest::last_error;
using vltest::take;
using vltest::token_for;

std::optional<std::string> policy(const std::string *token, int64_t now, const char *dist,
                                  const char *music) {
  return take(vlauth_session_policy_json(token ? token->c_str() : nullptr, now, dist, music));
}
std::optional<std::string> policy(const std::string &token, int64_t now = kNow,
                                  const char *dist = nullptr, const char *music = nullptr) {
  return policy(&token, now, dist, music);
}

// The members of a JSON object in order: each key with its value written compactly.
std::vector<std::pair<std::string, std::string>> members(const std::string &text) {
  std::vector<std::pair<std::string, std::string>> out;
  yyjson_doc *doc = yyjson_read(text.data(), text.size(), 0);
  yyjson_obj_iter it = yyjson_obj_iter_with(yyjson_doc_get_root(doc));
  yyjson_val *key;
  while ((key = yyjson_obj_iter_next(&it)) != nullptr) {
    char *value = yyjson_val_write(yyjson_obj_iter_get_val(key), 0, nullptr);
    out.emplace_back(yyjson_get_str(key), value ? value : "(unwritable)");
    std::free(value);
  }
  yyjson_doc_free(doc);
  return out;
}

std::string member(const std::string &text, const std::string &key) {
  for (const auto &m : members(text)) {
    if (m.first == key) return m.second;
  }
  return "(absent)";
}

const char kGuest[] =
    "{\"mode\":\"guest\",\"isSignedIn\":false,\"isAdmin\":false,\"canUseCloudLibrary\":false,"
    "\"canUseWishlist\":false,\"canImportLocalFiles\":true,\"canAddCustomFeeds\":true,"
    "\"userId\":null,\"email\":null,\"userFeedBaseURL\":null,\"playlistsApiURL\":null,"
    "\"worldApiURL\":null,\"searchApiURL\":null,\"wishlistApiURL\":null}";

// The signed-in document; `email`, `dist` and `music` as they are written.
std::string signed_in(bool admin, const std::string &email, const std::string &dist,
                      const std::string &music) {
  return std::string("{\"mode\":\"signed_in\",\"isSignedIn\":true,\"isAdmin\":") +
         (admin ? "true" : "false") +
         ",\"canUseCloudLibrary\":true,\"canUseWishlist\":true,\"canImportLocalFiles\":true,"
         "\"canAddCustomFeeds\":true,\"userId\":\"" + kGuid + "\",\"email\":\"" + email +
         "\",\"userFeedBaseURL\":\"" + dist + "/music/" + kGuid + "\",\"playlistsApiURL\":\"" +
         music + "/playlists/api?format=json\",\"worldApiURL\":\"" + music +
         "/world/api\",\"searchApiURL\":\"" + music + "/search/api\",\"wishlistApiURL\":\"" +
         music + "/wishlist/api/mine\"}";
}

const char kDefaultDist[] = "https://dist.example.com";
const char kDefaultMusic[] = "https://music.example.com";

TEST(SessionPolicy, SampleTokenSignedInWithDefaultBases) {
  const std::string expected = signed_in(true, vltest::kSampleEmail, kDefaultDist, kDefaultMusic);
  EXPECT_EQ(policy(kSampleToken), expected);
  EXPECT_EQ(policy(kSampleToken, kNow, "", ""), expected);
  EXPECT_EQ(policy(kSampleToken, kNow, kDefaultDist, kDefaultMusic), expected);
  EXPECT_EQ(policy(kSampleToken, vltest::kSampleExp - 1), expected);
}

// Whatever the reason for a guest, the text is the same and carries no URL, and the error
// text is empty afterwards, also when the claims decoder wrote a message.
TEST(SessionPolicy, GuestForEveryReason) {
  struct Case {
    const char *why;
    std::optional<std::string> token;
    int64_t now;
  };
  const Case cases[] = {
      {"no token", std::nullopt, kNow},
      {"empty token", std::string(), kNow},
      {"malformed token", std::string("a.b"), kNow},
      {"payload not base64url", std::string("h.e=30.s"), kNow},
      {"payload not an object", token_for("[]"), kNow},
      {"no subject", token_for("{\"permissions\":[\"admin\"]}"), kNow},
      {"subject not a GUID", token_for("{\"sub\":\"{" + kGuid + "}\"}"), kNow},
      {"expired at exp", kSampleToken, vltest::kSampleExp},
      {"expired after exp", kSampleToken, INT64_MAX},
      {"expired now", token_for("{\"sub\":\"" + kGuid + "\",\"exp\":" + std::to_string(kNow) + "}"),
       kNow},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.why);
    for (const char *base : {static_cast<const char *>(nullptr), "", "https://x.example/",
                             "not a url", "https://\xFF"}) {
      vltest::leave_message();
      EXPECT_EQ(policy(c.token ? &*c.token : nullptr, c.now, base, base), kGuest);
      EXPECT_EQ(last_error(), "");
    }
  }
}

TEST(SessionPolicy, SignedInDecision) {
  const std::string exp_at_now =
      token_for("{\"sub\":\"" + kGuid + "\",\"exp\":" + std::to_string(kNow) + "}");
  const std::string plain = signed_in(false, "", kDefaultDist, kDefaultMusic);
  EXPECT_EQ(policy(exp_at_now, kNow - 1), plain);
  EXPECT_EQ(policy(exp_at_now, 0), plain);  // a time of 0 or below never expires
  EXPECT_EQ(policy(exp_at_now, -1), plain);
  EXPECT_EQ(policy(token_for("{\"sub\":\"" + kGuid + "\"}")), plain);  // no exp, no e-mail
  EXPECT_EQ(policy(token_for("{\"sub\":\"" + kGuid + "\",\"exp\":1e19}")), plain);
  // Administration only through a direct "admin" permission.
  EXPECT_EQ(
      policy(token_for("{\"sub\":\"" + kGuid + "\",\"permissions\":[[\"admin\"],\"Admin\"]}")),
      plain);
}

TEST(SessionPolicy, BasesTrimmedAndUsedVerbatim) {
  const std::string token = token_for("{\"sub\":\"" + kGuid + "\",\"email\":\"a@b\"}");
  struct Case {
    const char *dist;
    const char *music;
    const char *dist_written;
    const char *music_written;
  };
  const Case cases[] = {
      {"https://d.example", "https://m.example", "https://d.example", "https://m.example"},
      {"https://d.example///", "https://m.example/", "https://d.example", "https://m.example"},
      {"https://d.example/feeds/", "https://m.example/v2//", "https://d.example/feeds",
       "https://m.example/v2"},
      {"/", "///", "", ""},
      {"not a url", "ftp://m", "not a url", "ftp://m"},
      {"https://d.example", nullptr, "https://d.example", kDefaultMusic},
      {"", "https://m.example", kDefaultDist, "https://m.example"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(std::string(c.dist ? c.dist : "(null)") + " " + (c.music ? c.music : "(null)"));
    EXPECT_EQ(policy(token, kNow, c.dist, c.music),
              signed_in(false, "a@b", c.dist_written, c.music_written));
  }
}

// The distribution base reaches member 10 only, the music base members 11 to 14 only.
TEST(SessionPolicy, EachBaseReachesItsOwnMembers) {
  const auto base =
      members(policy(kSampleToken, kNow, "https://d1.example", "https://m1.example").value());
  const auto other_music =
      members(policy(kSampleToken, kNow, "https://d1.example", "https://m2.example").value());
  const auto other_dist =
      members(policy(kSampleToken, kNow, "https://d2.example", "https://m1.example").value());
  ASSERT_EQ(base.size(), 14u);
  ASSERT_EQ(other_music.size(), 14u);
  ASSERT_EQ(other_dist.size(), 14u);
  for (size_t i = 0; i < 14; ++i) {
    SCOPED_TRACE(base[i].first);
    EXPECT_EQ(other_music[i].first, base[i].first);
    EXPECT_EQ(other_dist[i].first, base[i].first);
    EXPECT_EQ(other_music[i].second != base[i].second, i >= 10);
    EXPECT_EQ(other_dist[i].second != base[i].second, i == 9);
  }
}

// Long e-mail addresses and base URLs are carried whole, also with a multi-byte character
// where a fixed buffer would have cut.
TEST(SessionPolicy, LongValuesCarriedWhole) {
  const std::string long_email = std::string(288, 'e') + "@example.com";  // 300 bytes
  const std::string straddling_email = std::string(158, 'e') + "\xC3\xA9@example.com";
  for (const std::string &email : {long_email, straddling_email}) {
    SCOPED_TRACE(email.size());
    const std::string token = token_for("{\"sub\":\"" + kGuid + "\",\"email\":\"" + email + "\"}");
    EXPECT_EQ(policy(token), signed_in(false, email, kDefaultDist, kDefaultMusic));
  }

  const std::string long_base = "https://" + std::string(1992, 'h');  // 2000 bytes
  std::string straddling_base = "https://" + std::string(500, 'h') + "\xE2\x82\xAC";
  EXPECT_EQ(policy(kSampleToken, kNow, long_base.c_str(), long_base.c_str()),
            signed_in(true, vltest::kSampleEmail, long_base, long_base));
  EXPECT_EQ(policy(kSampleToken, kNow, straddling_base.c_str(), straddling_base.c_str()),
            signed_in(true, vltest::kSampleEmail, straddling_base, straddling_base));
}

// Claim text with characters that JSON escapes survives the read-back of the claims.
TEST(SessionPolicy, EscapedEmailSurvivesTheClaimsReadBack) {
  const std::string token =
      token_for("{\"sub\":\"" + kGuid + "\",\"email\":\"a\\\"b\\\\c/\\u00e9@x\"}");
  std::optional<std::string> doc = policy(token);
  ASSERT_TRUE(doc);
  EXPECT_EQ(member(*doc, "email"), "\"a\\\"b\\\\c/\xC3\xA9@x\"");
}

TEST(SessionPolicy, BaseNotUtf8GivesNullWithEmptyErrorText) {
  using Bases = std::pair<const char *, const char *>;
  for (const Bases &bases :
       {Bases{"https://d.example/\xFF", nullptr}, Bases{nullptr, "https://\xC3"}}) {
    vltest::leave_message();
    EXPECT_EQ(policy(kSampleToken, kNow, bases.first, bases.second), std::nullopt);
    EXPECT_EQ(last_error(), "");
  }
}

}  // namespace
