// The vlauth command run as a user runs it: arguments and standard input in, exit status
// and the exact text of standard output and standard error out. Also the time texts that
// `inspect` and --now are made of.
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <limits>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "sample_token.h"
#include "test_support.h"
#include "time_text.hpp"

namespace {

const std::string kToken = VLAUTH_SAMPLE_TOKEN;

const std::string kClaims =
    R"({"sub":"11111111-2222-3333-4444-555555555555","email":"listener@example.com",)"
    R"("iss":"https://auth.example.com","exp":4102444800,"iat":1700000000,"isExpired":false,)"
    R"("isAdmin":true,"hasValidGuid":true,"permissions":["admin"]})"
    "\n";
const std::string kSignedIn =
    R"({"mode":"signed_in","isSignedIn":true,"isAdmin":true,"canUseCloudLibrary":true,)"
    R"("canUseWishlist":true,"canImportLocalFiles":true,"canAddCustomFeeds":true,)"
    R"("userId":"11111111-2222-3333-4444-555555555555","email":"listener@example.com",)"
    R"("userFeedBaseURL":"https://dist.example.com/music/11111111-2222-3333-4444-555555555555",)"
    R"("playlistsApiURL":"https://music.example.com/playlists/api?format=json",)"
    R"("worldApiURL":"https://music.example.com/world/api",)"
    R"("searchApiURL":"https://music.example.com/search/api",)"
    R"("wishlistApiURL":"https://music.example.com/wishlist/api/mine"})"
    "\n";
const std::string kGuest =
    R"({"mode":"guest","isSignedIn":false,"isAdmin":false,"canUseCloudLibrary":false,)"
    R"("canUseWishlist":false,"canImportLocalFiles":true,"canAddCustomFeeds":true,)"
    R"("userId":null,"email":null,"userFeedBaseURL":null,"playlistsApiURL":null,)"
    R"("worldApiURL":null,"searchApiURL":null,"wishlistApiURL":null})"
    "\n";

std::string replaced(std::string text, const std::string &from, const std::string &to) {
  for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at)) {
    text.replace(at, from.size(), to);
    at += to.size();
  }
  return text;
}

struct Outcome {
  int status;
  std::string out;
  std::string err;
};

std::string shell_quoted(const std::string &word) {
  return "'" + replaced(word, "'", "'\\''") + "'";
}

std::string scratch_path(const char *what) {
  static int serial = 0;
  return testing::TempDir() + "vlauth_tool_test_" + std::to_string(getpid()) + "_" +
         std::to_string(++serial) + "_" + what;
}

std::string slurp(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

void write_file(const std::string &path, const std::string &text) {
  std::ofstream(path, std::ios::binary) << text;
}

// Runs the tool with `args`, `input` on its standard input (not a terminal).
Outcome vlauth(const std::vector<std::string> &args, const std::string &input = "") {
  const std::string in = scratch_path("in"), out = scratch_path("out"), err = scratch_path("err");
  write_file(in, input);
  std::string command = shell_quoted(VLAUTH_TOOL);
  for (const std::string &arg : args) command += " " + shell_quoted(arg);
  command += " <" + shell_quoted(in) + " >" + shell_quoted(out) + " 2>" + shell_quoted(err);
  const int raw = std::system(command.c_str());
  Outcome outcome{WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, slurp(out), slurp(err)};
  std::remove(in.c_str());
  std::remove(out.c_str());
  std::remove(err.c_str());
  return outcome;
}

struct Case {
  const char *what;
  std::vector<std::string> args;
  std::string input;
  int status;
  std::string out;
  std::string err;
};

void expect_cases(const std::vector<Case> &cases) {
  for (const Case &c : cases) {
    const Outcome got = vlauth(c.args, c.input);
    EXPECT_EQ(got.status, c.status) << c.what;
    EXPECT_EQ(got.out, c.out) << c.what;
    EXPECT_EQ(got.err, c.err) << c.what;
  }
}

TEST(Tool, TokenDocumentsFromArgumentOrStandardInput) {
  const std::string expired = replaced(kClaims, "\"isExpired\":false", "\"isExpired\":true");
  expect_cases({
      {"claims, argument", {"claims", kToken, "--now", "1700000000"}, "", 0, kClaims, ""},
      {"claims, no operand: stdin", {"claims", "--now=1700000000"}, kToken + "\n", 0, kClaims, ""},
      {"claims, '-': stdin, trimmed", {"claims", "-", "--now", "1700000000"},
       "  " + kToken + " \r\n", 0, kClaims, ""},
      {"claims, --now as a UTC stamp at exp", {"claims", kToken, "--now", "2100-01-01T00:00:00Z"},
       "", 0, expired, ""},
      {"claims refused", {"claims", "not-a-token"}, "", 1, "", "vlauth: malformed jwt\n"},
      {"claims, empty stdin", {"claims"}, "", 1, "", "vlauth: malformed jwt\n"},
      {"claims, bad payload", {"claims", "a.b=c.d"}, "", 1, "",
       "vlauth: invalid jwt base64url payload\n"},
      {"policy, signed in", {"policy", kToken, "--now", "1700000000"}, "", 0, kSignedIn, ""},
      {"policy, own bases",
       {"policy", kToken, "--now", "1700000000", "--dist", "https://d.example.org/", "--music",
        "https://m.example.org"},
       "", 0,
       replaced(replaced(kSignedIn, "https://dist.example.com", "https://d.example.org"),
                "https://music.example.com", "https://m.example.org"),
       ""},
      {"policy, expired", {"policy", "--now", "2100-01-01"}, kToken, 0, kGuest, ""},
      {"policy never refuses a token", {"policy", "not-a-token"}, "", 0, kGuest, ""},
  });
}

TEST(Tool, PrettyIndentsTheDocument) {
  const Outcome got = vlauth({"claims", "--pretty", "--now", "1700000000"}, kToken);
  EXPECT_EQ(got.status, 0);
  EXPECT_EQ(got.out,
            "{\n"
            "  \"sub\": \"11111111-2222-3333-4444-555555555555\",\n"
            "  \"email\": \"listener@example.com\",\n"
            "  \"iss\": \"https://auth.example.com\",\n"
            "  \"exp\": 4102444800,\n"
            "  \"iat\": 1700000000,\n"
            "  \"isExpired\": false,\n"
            "  \"isAdmin\": true,\n"
            "  \"hasValidGuid\": true,\n"
            "  \"permissions\": [\n"
            "    \"admin\"\n"
            "  ]\n"
            "}\n");
}

TEST(Tool, TransportAndSignInTexts) {
  const std::string password_file = scratch_path("password");
  write_file(password_file, "from a file\nsecond line\n");
  const std::string request =
      R"({"method":"POST","url":"https://auth.example.com/api/login",)"
      R"("contentType":"application/json",)"
      R"("body":"{\"email\":\"listener@example.com\",\"password\":\"pass word\"}"})"
      "\n";
  const std::vector<std::string> login = {"login-request", "--auth", "https://auth.example.com/",
                                          "listener@example.com"};
  std::vector<std::string> from_file = login;
  from_file.insert(from_file.end(), {"--password-file", password_file});
  expect_cases({
      {"extract, cookie header", {"extract", "theme=dark; ov_token=" + kToken + "; lang=en"}, "",
       0, kToken + "\n", ""},
      {"extract, URL on stdin", {"extract"},
       "https://app.example.com/cb?token=" + kToken + "&x=1\n", 0, kToken + "\n", ""},
      {"extract, none", {"extract", "theme=dark"}, "", 1, "", "vlauth: no token found\n"},
      {"cookie", {"cookie", kToken}, "", 0, "ov_token=" + kToken + "\n", ""},
      {"cookie refused", {"cookie", "a.b"}, "", 1, "", "vlauth: invalid jwt\n"},
      {"login request, password on stdin", login, "pass word\n", 0, request, ""},
      {"login request, password file: first line", from_file, "", 0,
       replaced(request, "pass word", "from a file"), ""},
      {"login request, empty password", login, "", 1, "", "vlauth: empty password\n"},
      {"login request, bad base", {"login-request", "--auth", "ftp://x.example.com", "l@x.com"},
       "pw", 1, "", "vlauth: invalid auth_base_url\n"},
      {"login request, bad e-mail", {"login-request", "--auth", "https://a.example.com", "nobody"},
       "pw", 1, "", "vlauth: invalid email\n"},
      {"login url", {"login-url", "--auth=https://auth.example.com//"}, "", 0,
       "https://auth.example.com/login\n", ""},
      {"login url, redirect",
       {"login-url", "--auth", "https://auth.example.com", "--redirect", "/a b?c=1"}, "", 0,
       "https://auth.example.com/login?redirect=%2Fa%20b%3Fc%3D1\n", ""},
      {"login url refused", {"login-url", "--auth", "https://"}, "", 1, "",
       "vlauth: invalid auth_base_url\n"},
  });
  std::remove(password_file.c_str());
}

TEST(Tool, FrameCommands) {
  expect_cases({
      {"guid", {"guid", "11111111-2222-3333-4444-55555555555A"}, "", 0, "valid guid\n", ""},
      {"guid on stdin, refused", {"guid"}, "../bad\n", 1, "", "vlauth: not a valid guid\n"},
      {"selftest", {"selftest"}, "", 0, "self-test passed\n", ""},
      {"version", {"version"}, "", 0, "vlauth 1.0.0\nlibrary 1.0.0, ABI 1\n", ""},
      {"--version", {"--version"}, "", 0, "vlauth 1.0.0\nlibrary 1.0.0, ABI 1\n", ""},
      {"sample token", {"sample-token"}, "", 0, kToken + "\n", ""},
  });
}

TEST(Tool, InspectShowsTimesSessionAndEscapedClaims) {
  const Outcome fresh = vlauth({"inspect", "--now", "1700000000"}, kToken);
  EXPECT_EQ(fresh.status, 0);
  EXPECT_EQ(fresh.out,
            "Now: 2023-11-14T22:13:20Z\n"
            "Claims (the signature is not verified)\n"
            "  sub                  11111111-2222-3333-4444-555555555555 (valid GUID)\n"
            "  email                listener@example.com\n"
            "  iss                  https://auth.example.com\n"
            "  iat                  2023-11-14T22:13:20Z (issued 0 s ago)\n"
            "  exp                  2100-01-01T00:00:00Z (expires in 76 years 66 days)\n"
            "  permissions          admin\n"
            "Session\n"
            "  mode                 signed_in\n"
            "  isSignedIn           yes\n"
            "  isAdmin              yes\n"
            "  canUseCloudLibrary   yes\n"
            "  canUseWishlist       yes\n"
            "  canImportLocalFiles  yes\n"
            "  canAddCustomFeeds    yes\n"
            "  userId               11111111-2222-3333-4444-555555555555\n"
            "  email                listener@example.com\n"
            "  userFeedBaseURL      https://dist.example.com/music/"
            "11111111-2222-3333-4444-555555555555\n"
            "  playlistsApiURL      https://music.example.com/playlists/api?format=json\n"
            "  worldApiURL          https://music.example.com/world/api\n"
            "  searchApiURL         https://music.example.com/search/api\n"
            "  wishlistApiURL       https://music.example.com/wishlist/api/mine\n");

  const Outcome expired = vlauth({"inspect", kToken, "--now", "2100-01-04T02:13:00Z"});
  EXPECT_EQ(expired.status, 0);
  for (const char *line : {"  exp                  2100-01-01T00:00:00Z (expired 3 days 2 h ago)\n",
                           "  mode                 guest\n", "  isAdmin              no\n",
                           "  userId               none\n"}) {
    EXPECT_NE(expired.out.find(line), std::string::npos) << line << expired.out;
  }

  // A token's claims are whatever its maker wrote: no terminal control reaches the screen.
  const std::string odd = vltest::token_for(
      R"({"sub":"x","email":"a\u001b[2Jb","iat":1700000060,"exp":-5,"permissions":["r","w"]})");
  const Outcome shown = vlauth({"inspect", odd, "--now", "1700000000"});
  EXPECT_EQ(shown.status, 0);
  for (const char *line :
       {"  sub                  x (not a valid GUID)\n", "  email                a\\x1b[2Jb\n",
        "  iss                  none\n",
        "  iat                  2023-11-14T22:14:20Z (1 min in the future)\n",
        "  exp                  1969-12-31T23:59:55Z (not after 1970: never expires)\n",
        "  permissions          r, w\n"}) {
    EXPECT_NE(shown.out.find(line), std::string::npos) << line << shown.out;
  }

  expect_cases({{"inspect refused", {"inspect", "x.y"}, "", 1, "", "vlauth: malformed jwt\n"}});
}

TEST(Tool, UsageErrorsExitTwo) {
  struct Usage {
    std::vector<std::string> args;
    std::string input;
    std::string first_line;
  };
  const std::vector<Usage> cases = {
      {{}, "", "vlauth: missing command"},
      {{"frobnicate"}, "", "vlauth: unknown command 'frobnicate'"},
      {{"help", "frobnicate"}, "", "vlauth: unknown command 'frobnicate'"},
      {{"claims", "--bogus"}, "", "vlauth claims: unknown option '--bogus'"},
      {{"policy", "--auth", "https://a.example.com"}, "", "vlauth policy: unknown option '--auth'"},
      {{"claims", "--now"}, "", "vlauth claims: option '--now' needs a value"},
      {{"claims", "--now", "soon"}, "", "vlauth claims: --now takes seconds since the epoch, "
                                        "YYYY-MM-DDTHH:MM:SSZ or YYYY-MM-DD, not 'soon'"},
      {{"claims", "--pretty=yes"}, "", "vlauth claims: option '--pretty' takes no value"},
      {{"claims", "a", "b"}, "", "vlauth claims: unexpected operand 'b'"},
      {{"login-request", "--auth", "https://a.example.com"}, "pw",
       "vlauth login-request: missing operand EMAIL"},
      {{"login-request", "l@x.com"}, "pw", "vlauth login-request: --auth URL is required"},
      // The password never comes from an argument.
      {{"login-request", "--auth", "https://a.example.com", "--password", "pw", "l@x.com"}, "",
       "vlauth login-request: unknown option '--password'"},
      {{"login-request", "--auth", "https://a.example.com", "--password-file",
        "/nonexistent/password", "l@x.com"},
       "", "vlauth: cannot read '/nonexistent/password': No such file or directory"},
      {{"login-url"}, "", "vlauth login-url: --auth URL is required"},
      {{"claims"}, std::string("a.b.c\0d", 7), "vlauth: standard input holds a NUL byte"},
      {{"login-request", "--auth", "https://a.example.com", "l@x.com"}, std::string("p\0w", 3),
       "vlauth: the password holds a NUL byte"},
  };
  for (const Usage &c : cases) {
    const Outcome got = vlauth(c.args, c.input);
    EXPECT_EQ(got.status, 2) << c.first_line;
    EXPECT_EQ(got.out, "") << c.first_line;
    EXPECT_EQ(got.err.substr(0, got.err.find('\n')), c.first_line);
  }
}

TEST(Tool, HelpForTheToolAndEachCommand) {
  for (const std::vector<std::string> &args :
       std::vector<std::vector<std::string>>{{"--help"}, {"help"}, {"-h"}}) {
    const Outcome got = vlauth(args);
    EXPECT_EQ(got.status, 0);
    EXPECT_EQ(got.out.rfind("Usage: vlauth COMMAND", 0), 0u) << got.out;
  }
  for (const char *command : {"inspect", "claims", "policy", "extract", "cookie", "login-request",
                              "login-url", "guid", "selftest", "version", "sample-token"}) {
    const std::string usage = std::string("Usage: vlauth ") + command + " ";
    for (const std::vector<std::string> &args : std::vector<std::vector<std::string>>{
             {command, "--help"}, {"help", command}, {command, "x", "--bogus", "--help"}}) {
      const Outcome got = vlauth(args);
      EXPECT_EQ(got.status, 0) << command;
      EXPECT_EQ(got.out.rfind(usage, 0), 0u) << got.out;
    }
  }
  const Outcome policy = vlauth({"policy", "--help"});
  EXPECT_NE(policy.out.find("--dist URL"), std::string::npos);
  EXPECT_EQ(policy.out.find("--auth"), std::string::npos);
}

// ---- The time texts ------------------------------------------------------------------------

constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
constexpr std::int64_t kMin = std::numeric_limits<std::int64_t>::min();

TEST(TimeText, Iso8601CoversEveryInt64) {
  const struct {
    std::int64_t seconds;
    const char *text;
  } cases[] = {
      {0, "1970-01-01T00:00:00Z"},
      {-1, "1969-12-31T23:59:59Z"},
      {1700000000, "2023-11-14T22:13:20Z"},
      {951782400, "2000-02-29T00:00:00Z"},
      {4102444800, "2100-01-01T00:00:00Z"},
      {253402300799, "9999-12-31T23:59:59Z"},
      {253402300800, "+10000-01-01T00:00:00Z"},
      {-62167219200, "0000-01-01T00:00:00Z"},
      {-62167219201, "-1-12-31T23:59:59Z"},
      {kMax, "+292277026596-12-04T15:30:07Z"},
      {kMin, "-292277022657-01-27T08:29:52Z"},
  };
  for (const auto &c : cases) EXPECT_EQ(vlauth_tool::iso8601_utc(c.seconds), c.text);
}

TEST(TimeText, DurationsInTheirTwoLargestUnits) {
  const struct {
    std::uint64_t seconds;
    const char *text;
  } cases[] = {
      {0, "0 s"},
      {59, "59 s"},
      {60, "1 min"},
      {90, "1 min 30 s"},
      {3600, "1 h"},
      {2 * 3600 + 13 * 60 + 59, "2 h 13 min"},
      {86400, "1 day"},
      {3 * 86400, "3 days"},
      {86400 + 4 * 3600, "1 day 4 h"},
      {365 * 86400, "1 year"},
      {366 * 86400, "1 year 1 day"},
      {std::numeric_limits<std::uint64_t>::max(), "584942417355 years 26 days"},
  };
  for (const auto &c : cases) EXPECT_EQ(vlauth_tool::duration_text(c.seconds), c.text);
  EXPECT_EQ(vlauth_tool::distance(kMin, kMax), std::numeric_limits<std::uint64_t>::max());
  EXPECT_EQ(vlauth_tool::distance(kMax, kMin), std::numeric_limits<std::uint64_t>::max());
  EXPECT_EQ(vlauth_tool::distance(5, -3), 8u);
}

TEST(TimeText, ParsesTheNowArgument) {
  const struct {
    const char *text;
    std::optional<std::int64_t> seconds;
  } cases[] = {
      {"1700000000", 1700000000},
      {"-5", -5},
      {"9223372036854775807", kMax},
      {"2023-11-14T22:13:20Z", 1700000000},
      {"2100-01-01", 4102444800},
      {"2024-02-29", 1709164800},
      {"1969-12-31T23:59:59Z", -1},
      {"9223372036854775808", std::nullopt},
      {"", std::nullopt},
      {"+5", std::nullopt},
      {"17e8", std::nullopt},
      {"2023-02-29", std::nullopt},
      {"2023-13-01", std::nullopt},
      {"2023-11-14T24:00:00Z", std::nullopt},
      {"2023-11-14 22:13:20Z", std::nullopt},
      {"2023-11-14T22:13:20", std::nullopt},
      {"2023-1a-14", std::nullopt},
  };
  for (const auto &c : cases) EXPECT_EQ(vlauth_tool::parse_time(c.text), c.seconds) << c.text;
  const std::int64_t round_trips[] = {0, 951868799, 253402300799};  // up to 9999-12-31T23:59:59Z
  for (const std::int64_t t : round_trips) {
    EXPECT_EQ(vlauth_tool::parse_time(vlauth_tool::iso8601_utc(t)), t);
  }
}

}  // namespace
