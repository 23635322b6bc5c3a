// vlauth: the library on the command line, for people who debug sign-in sessions. It
// decodes and explains tokens and builds the sign-in texts, offline, one subcommand per
// job. Unlike the library it is a host: it reads the clock, standard input and files.
//
// Exit status: 0 success, 1 the library refused (its message on standard error, after
// "vlauth: "), 2 a usage error or input that could not be read.
#include <termios.h>
#include <unistd.h>

#include <yyjson.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "sample_token.h"
#include "time_text.hpp"
#include "vlauth.hpp"

namespace {

using vlauth_tool::distance;
using vlauth_tool::duration_text;
using vlauth_tool::iso8601_utc;

constexpr const char kTool[] = "vlauth";

enum Status : int { kSuccess = 0, kRefused = 1, kUsage = 2 };

// ---- Options ------------------------------------------------------------------------------

enum Option : unsigned {
  kNow = 1u << 0,
  kPretty = 1u << 1,
  kDist = 1u << 2,
  kMusic = 1u << 3,
  kAuth = 1u << 4,
  kRedirect = 1u << 5,
  kPasswordFile = 1u << 6,
};

struct OptionInfo {
  Option bit;
  std::string_view name;
  const char *value;  // the value's name, or null for a flag
  const char *help;
};

constexpr OptionInfo kOptions[] = {
    {kNow, "--now", "TIME",
     "the current time: seconds since the epoch,\n"
     "                        YYYY-MM-DDTHH:MM:SSZ or YYYY-MM-DD (UTC);\n"
     "                        default: the system clock"},
    {kPretty, "--pretty", nullptr, "indent the JSON document"},
    {kDist, "--dist", "URL", "distribution base URL; default https://dist.example.com"},
    {kMusic, "--music", "URL", "music base URL; default https://music.example.com"},
    {kAuth, "--auth", "URL", "auth base URL, http:// or https:// (required)"},
    {kRedirect, "--redirect", "URL", "address to return to after sign-in (percent-encoded)"},
    {kPasswordFile, "--password-file", "FILE",
     "read the password from the first line of FILE, not from\n"
     "                        standard input"},
};

// What the command line asked for, once parsed. Every text points into argv.
struct Invocation {
  std::vector<const char *> operands;
  std::optional<std::int64_t> now;
  bool pretty = false;
  const char *dist = nullptr;
  const char *music = nullptr;
  const char *auth = nullptr;
  const char *redirect = nullptr;
  const char *password_file = nullptr;
};

struct Command {
  const char *name;
  const char *operands;  // the operands' synopsis
  unsigned options;
  std::size_t min_operands;
  std::size_t max_operands;
  const char *summary;
  const char *details;
  int (*run)(const Command &self, const Invocation &call);
};

// ---- Output and errors --------------------------------------------------------------------

int refuse(const char *message) {
  std::fprintf(stderr, "%s: %s\n", kTool, message);
  return kRefused;
}

int usage_error(const Command *command, const std::string &message) {
  if (command != nullptr) {
    std::fprintf(stderr, "%s %s: %s\nTry '%s %s --help'.\n", kTool, command->name,
                 message.c_str(), kTool, command->name);
  } else {
    std::fprintf(stderr, "%s: %s\nTry '%s --help'.\n", kTool, message.c_str(), kTool);
  }
  return kUsage;
}

// Input that could not be read: exit status 2 like a usage error, without the hint.
int input_error(const std::string &message) {
  std::fprintf(stderr, "%s: %s\n", kTool, message.c_str());
  return kUsage;
}

struct DocFree {
  void operator()(yyjson_doc *doc) const { yyjson_doc_free(doc); }
};
using Doc = std::unique_ptr<yyjson_doc, DocFree>;

struct CFree {
  void operator()(char *text) const { std::free(text); }
};

Doc read_document(std::string_view text) {
  return Doc(yyjson_read(text.data(), text.size(), 0));
}

// Prints a document the library returned, or its refusal.
int print_document(const vlauth::result &document, bool pretty) {
  if (!document) return refuse(document.error());
  if (pretty) {
    Doc doc = read_document(document.text());
    std::unique_ptr<char, CFree> indented(
        doc ? yyjson_write(doc.get(), YYJSON_WRITE_PRETTY_TWO_SPACES, nullptr) : nullptr);
    if (indented) {
      std::puts(indented.get());
      return kSuccess;
    }
  }
  std::puts(document.c_str());
  return kSuccess;
}

int print_text(const vlauth::result &text) {
  if (!text) return refuse(text.error());
  std::puts(text.c_str());
  return kSuccess;
}

// ---- Input --------------------------------------------------------------------------------

// The rest of `stream`, or its first line only (without the line feed).
std::optional<std::string> read_stream(std::FILE *stream, bool first_line) {
  std::string text;
  for (int c; (c = std::fgetc(stream)) != EOF;) {
    if (first_line && c == '\n') return text;
    text.push_back(static_cast<char>(c));
  }
  if (std::ferror(stream)) return std::nullopt;
  return text;
}

bool is_space(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

std::string_view trim(std::string_view text) {
  while (!text.empty() && is_space(text.front())) text.remove_prefix(1);
  while (!text.empty() && is_space(text.back())) text.remove_suffix(1);
  return text;
}

std::string_view without_line_end(std::string_view text) {
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.remove_suffix(1);
  return text;
}

// The text of the first operand or, when there is none or it is "-", of standard input: the
// whole of it, or one line when it is a terminal. Null after an input error was reported.
std::optional<std::string> operand_or_stdin(const Invocation &call) {
  if (!call.operands.empty() && std::strcmp(call.operands[0], "-") != 0) {
    return std::string(call.operands[0]);
  }
  std::optional<std::string> text = read_stream(stdin, isatty(STDIN_FILENO) != 0);
  if (!text) {
    input_error(std::string("cannot read standard input: ") + std::strerror(errno));
  } else if (text->find('\0') != std::string::npos) {
    input_error("standard input holds a NUL byte");
    text.reset();
  }
  return text;
}

// A token from the command line or standard input, without surrounding whitespace.
std::optional<std::string> token_input(const Invocation &call) {
  std::optional<std::string> text = operand_or_stdin(call);
  if (text) *text = std::string(trim(*text));
  return text;
}

std::int64_t current_time(const Invocation &call) {
  return call.now ? *call.now : static_cast<std::int64_t>(std::time(nullptr));
}

// The password of a line read: without a carriage return at its end, and refused when it
// holds a NUL byte, which would cut it short.
std::optional<std::string> password_line(std::string_view line) {
  if (line.find('\0') != std::string_view::npos) {
    input_error("the password holds a NUL byte");
    return std::nullopt;
  }
  return std::string(without_line_end(line));
}

// The password: the first line of --password-file or of standard input, never an argument,
// so that it stands in no shell history or process list. A terminal does not echo it.
std::optional<std::string> read_password(const Invocation &call) {
  const char *file = call.password_file;
  if (file != nullptr && std::strcmp(file, "-") != 0) {
    std::FILE *stream = std::fopen(file, "rb");
    std::optional<std::string> line = stream ? read_stream(stream, true) : std::nullopt;
    const int error = errno;
    if (stream != nullptr) std::fclose(stream);
    if (!line) {
      input_error(std::string("cannot read '") + file + "': " + std::strerror(error));
      return std::nullopt;
    }
    return password_line(*line);
  }
  termios saved{};
  const bool terminal = isatty(STDIN_FILENO) != 0 && tcgetattr(STDIN_FILENO, &saved) == 0;
  if (terminal) {
    termios quiet = saved;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    std::fputs("Password: ", stderr);
    tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
  }
  std::optional<std::string> line = read_stream(stdin, true);
  if (terminal) {
    tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
    std::fputs("\n", stderr);
  }
  if (!line) {
    input_error("cannot read the password from standard input");
    return std::nullopt;
  }
  return password_line(*line);
}

// ---- Subcommands --------------------------------------------------------------------------

int run_claims(const Command &, const Invocation &call) {
  std::optional<std::string> token = token_input(call);
  if (!token) return kUsage;
  return print_document(vlauth::parse_jwt_claims_json(*token, current_time(call)), call.pretty);
}

int run_policy(const Command &, const Invocation &call) {
  std::optional<std::string> token = token_input(call);
  if (!token) return kUsage;
  return print_document(
      vlauth::session_policy_json(*token, current_time(call), call.dist, call.music),
      call.pretty);
}

int run_extract(const Command &, const Invocation &call) {
  std::optional<std::string> text = operand_or_stdin(call);
  if (!text) return kUsage;
  return print_text(vlauth::extract_token(std::string(without_line_end(*text))));
}

int run_cookie(const Command &, const Invocation &call) {
  std::optional<std::string> token = token_input(call);
  if (!token) return kUsage;
  return print_text(vlauth::build_cookie_value(*token));
}

int run_login_request(const Command &self, const Invocation &call) {
  if (call.auth == nullptr) return usage_error(&self, "--auth URL is required");
  std::optional<std::string> password = read_password(call);
  if (!password) return kUsage;
  return print_document(vlauth::build_login_request_json(call.auth, call.operands[0], *password),
                        call.pretty);
}

int run_login_url(const Command &self, const Invocation &call) {
  if (call.auth == nullptr) return usage_error(&self, "--auth URL is required");
  return print_text(vlauth::build_web_login_url(call.auth, call.redirect));
}

int run_guid(const Command &, const Invocation &call) {
  std::optional<std::string> guid = token_input(call);
  if (!guid) return kUsage;
  if (!vlauth::is_valid_guid(*guid)) return refuse("not a valid guid");
  std::puts("valid guid");
  return kSuccess;
}

int run_selftest(const Command &, const Invocation &) {
  const std::int32_t step = vlauth::selftest();
  if (step != 0) {
    std::fprintf(stderr, "%s: self-test failed at step %d\n", kTool, static_cast<int>(step));
    return kRefused;
  }
  std::puts("self-test passed");
  return kSuccess;
}

int run_version(const Command &, const Invocation &) {
  std::printf("%s %s\nlibrary %s, ABI %d\n", kTool, VLAUTH_VERSION_STRING, vlauth::version(),
              static_cast<int>(vlauth::abi_version()));
  if (!vlauth::abi_compatible()) {
    std::fprintf(stderr, "%s: the library has ABI %d, this tool was built for ABI %d\n", kTool,
                 static_cast<int>(vlauth::abi_version()), VLAUTH_ABI_VERSION);
    return kRefused;
  }
  return kSuccess;
}

int run_sample_token(const Command &, const Invocation &) {
  std::puts(VLAUTH_SAMPLE_TOKEN);
  return kSuccess;
}

// ---- inspect ------------------------------------------------------------------------------

// Claims come from whoever made the token: control bytes are shown, not sent to the terminal.
std::string printable(std::string_view text) {
  std::string out;
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7f) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\x%02x", byte);
      out += escaped;
    } else {
      out += c;
    }
  }
  return out;
}

std::string_view string_member(yyjson_val *object, const char *key) {
  yyjson_val *value = yyjson_obj_get(object, key);
  const char *text = yyjson_get_str(value);
  return text != nullptr ? std::string_view(text, yyjson_get_len(value)) : std::string_view();
}

std::int64_t int_member(yyjson_val *object, const char *key) {
  yyjson_val *value = yyjson_obj_get(object, key);
  if (yyjson_is_sint(value)) return yyjson_get_sint(value);
  // The library writes signed 64-bit values; a positive one reads back as unsigned.
  if (yyjson_is_uint(value)) return static_cast<std::int64_t>(yyjson_get_uint(value));
  return 0;
}

void line(const char *label, const std::string &value) {
  std::printf("  %-21s%s\n", label, value.c_str());
}

std::string issued_text(std::int64_t iat, std::int64_t now) {
  if (iat == 0) return "none";
  const std::string when = iso8601_utc(iat);
  const std::string span = duration_text(distance(iat, now));
  return iat <= now ? when + " (issued " + span + " ago)" : when + " (" + span + " in the future)";
}

std::string expiry_text(std::int64_t exp, std::int64_t now, bool expired) {
  if (exp == 0) return "none (never expires)";
  const std::string when = iso8601_utc(exp);
  if (exp < 0) return when + " (not after 1970: never expires)";
  const std::string span = duration_text(distance(exp, now));
  if (expired) return when + " (expired " + span + " ago)";
  if (now <= 0) return when + " (not expired: no current time)";
  return when + " (expires in " + span + ")";
}

int run_inspect(const Command &, const Invocation &call) {
  std::optional<std::string> token = token_input(call);
  if (!token) return kUsage;
  const std::int64_t now = current_time(call);
  const vlauth::result claims_text = vlauth::parse_jwt_claims_json(*token, now);
  if (!claims_text) return refuse(claims_text.error());
  const vlauth::result policy_text =
      vlauth::session_policy_json(*token, now, call.dist, call.music);
  if (!policy_text) return refuse(policy_text.error());
  const Doc claims_doc = read_document(claims_text.text());
  const Doc policy_doc = read_document(policy_text.text());
  if (!claims_doc || !policy_doc) return refuse("out of memory");
  yyjson_val *claims = yyjson_doc_get_root(claims_doc.get());
  yyjson_val *policy = yyjson_doc_get_root(policy_doc.get());

  std::printf("Now: %s\n", iso8601_utc(now).c_str());
  std::puts("Claims (the signature is not verified)");
  const std::string_view sub = string_member(claims, "sub");
  const bool guid = yyjson_get_bool(yyjson_obj_get(claims, "hasValidGuid"));
  line("sub", sub.empty() ? "none"
                          : printable(sub) + (guid ? " (valid GUID)" : " (not a valid GUID)"));
  const std::string_view email = string_member(claims, "email");
  line("email", email.empty() ? "none" : printable(email));
  const std::string_view iss = string_member(claims, "iss");
  line("iss", iss.empty() ? "none" : printable(iss));
  line("iat", issued_text(int_member(claims, "iat"), now));
  line("exp", expiry_text(int_member(claims, "exp"), now,
                          yyjson_get_bool(yyjson_obj_get(claims, "isExpired"))));
  std::string permissions;
  yyjson_val *element = nullptr;
  yyjson_arr_iter iter = yyjson_arr_iter_with(yyjson_obj_get(claims, "permissions"));
  while ((element = yyjson_arr_iter_next(&iter)) != nullptr) {
    if (!permissions.empty()) permissions += ", ";
    permissions += printable(std::string_view(yyjson_get_str(element), yyjson_get_len(element)));
  }
  line("permissions", permissions.empty() ? "none" : permissions);

  std::puts("Session");
  yyjson_val *key = nullptr;
  yyjson_obj_iter members = yyjson_obj_iter_with(policy);
  while ((key = yyjson_obj_iter_next(&members)) != nullptr) {
    yyjson_val *value = yyjson_obj_iter_get_val(key);
    std::string shown;
    if (yyjson_is_bool(value)) {
      shown = yyjson_get_bool(value) ? "yes" : "no";
    } else if (yyjson_is_str(value)) {
      shown = printable(std::string_view(yyjson_get_str(value), yyjson_get_len(value)));
    } else {
      shown = "none";
    }
    line(yyjson_get_str(key), shown);
  }
  return kSuccess;
}

// ---- The command table and help -----------------------------------------------------------

constexpr unsigned kDocumentOptions = kNow | kPretty;

const Command kCommands[] = {
    {"inspect", "[TOKEN|-]", kNow | kDist | kMusic, 0, 1,
     "explain a token: claims, times, session",
     "Shows the claims of TOKEN with \"iat\" and \"exp\" as UTC times and relative to now,\n"
     "then the session it gives: mode, flags, user id, e-mail and endpoint URLs.\n"
     "The signature is not verified.",
     run_inspect},
    {"claims", "[TOKEN|-]", kDocumentOptions, 0, 1, "the claims document of a token (JSON)",
     "Prints the claims document of TOKEN: sub, email, iss, exp, iat, isExpired (at\n"
     "--now), isAdmin, hasValidGuid and permissions. Exit status 1 when the token is\n"
     "refused (\"malformed jwt\", \"invalid jwt base64url payload\",\n"
     "\"jwt payload is not json object\").",
     run_claims},
    {"policy", "[TOKEN|-]", kDocumentOptions | kDist | kMusic, 0, 1,
     "the session policy document of a token (JSON)",
     "Prints the session policy: signed in when TOKEN has a GUID subject and has not\n"
     "expired at --now, a guest otherwise (an empty or refused token included).",
     run_policy},
    {"extract", "[TEXT|-]", 0, 0, 1, "find a token in cookie, query-string or URL text",
     "Prints the token carried by TEXT under \"ov_token=\" or \"token=\", as a cookie\n"
     "header, query string or URL holds it. Exit status 1 when there is none.",
     run_extract},
    {"cookie", "[TOKEN|-]", 0, 0, 1, "the cookie assignment that carries a token",
     "Prints \"ov_token=\" followed by TOKEN. Exit status 1 (\"invalid jwt\") when TOKEN\n"
     "does not have the shape of a token.",
     run_cookie},
    {"login-request", "EMAIL", kPretty | kAuth | kPasswordFile, 1, 1,
     "the e-mail and password login request (JSON)",
     "Prints the login request (method, url, contentType, body) for EMAIL. The password\n"
     "is the first line of standard input, or of --password-file: never an argument.\n"
     "The output holds the password.",
     run_login_request},
    {"login-url", "", kAuth | kRedirect, 0, 0, "the browser login address",
     "Prints the login page address under --auth, with --redirect percent-encoded.", run_login_url},
    {"guid", "[TEXT|-]", 0, 0, 1, "check a GUID",
     "Exit status 0 when TEXT is 36 hex digits grouped 8-4-4-4-12 by \"-\", else 1.", run_guid},
    {"selftest", "", 0, 0, 0, "run the library's self-test",
     "Exit status 0 when the library's self-test passes, else 1 with the failing step.",
     run_selftest},
    {"version", "", 0, 0, 0, "tool, library and ABI versions",
     "Prints the tool's version and the loaded library's version and ABI; exit status 1\n"
     "when the library's ABI is not the one the tool was built for.",
     run_version},
    {"sample-token", "", 0, 0, 0, "print a built-in sample token",
     "Prints a sample token (subject 11111111-2222-3333-4444-555555555555, e-mail\n"
     "listener@example.com, permission \"admin\", expiring at 2100-01-01T00:00:00Z), e.g.\n"
     "  vlauth sample-token | vlauth inspect",
     run_sample_token},
};

const Command *find_command(std::string_view name) {
  for (const Command &command : kCommands) {
    if (name == command.name) return &command;
  }
  return nullptr;
}

void print_tool_help() {
  std::printf(
      "Usage: %s COMMAND [OPTIONS] [OPERAND]\n"
      "\n"
      "Reads session tokens and builds the sign-in texts of the streaming client,\n"
      "offline. A TOKEN or TEXT that is \"-\" or left out is read from standard input,\n"
      "so that it need not stand in the shell's history.\n"
      "\n"
      "Commands:\n",
      kTool);
  for (const Command &command : kCommands) {
    std::printf("  %-15s %s\n", command.name, command.summary);
  }
  std::printf(
      "\n"
      "Exit status: 0 success, 1 refused by the library (its message on standard error),\n"
      "2 usage error. '%s COMMAND --help' describes a command and its options.\n",
      kTool);
}

void print_command_help(const Command &command) {
  std::printf("Usage: %s %s [OPTIONS]%s%s\n\n%s\n", kTool, command.name,
              command.operands[0] != '\0' ? " " : "", command.operands, command.details);
  std::puts("\nOptions:");
  for (const OptionInfo &option : kOptions) {
    if ((command.options & option.bit) == 0) continue;
    const std::string name = std::string(option.name) + (option.value ? " " : "") +
                             (option.value ? option.value : "");
    std::printf("  %-21s %s\n", name.c_str(), option.help);
  }
  std::printf("  %-21s %s\n", "--help", "show this help");
}

// Parses the words after the command name. Null after a usage error was reported.
std::optional<Invocation> parse_arguments(const Command &command, int argc, char **argv,
                                          bool &help) {
  Invocation call;
  // --help wins wherever it stands, even after a mistake.
  for (int i = 0; i < argc && std::strcmp(argv[i], "--") != 0; ++i) {
    if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
      help = true;
      return call;
    }
  }
  bool options_done = false;
  for (int i = 0; i < argc; ++i) {
    const char *word = argv[i];
    const std::string_view text(word);
    if (options_done || text == "-" || text.empty() || text[0] != '-') {
      call.operands.push_back(word);
      continue;
    }
    if (text == "--") {
      options_done = true;
      continue;
    }
    const std::size_t equals = text.find('=');
    const std::string_view name = text.substr(0, equals);
    const OptionInfo *option = nullptr;
    for (const OptionInfo &candidate : kOptions) {
      if (candidate.name == name && (command.options & candidate.bit) != 0) option = &candidate;
    }
    if (option == nullptr) {
      usage_error(&command, "unknown option '" + std::string(name) + "'");
      return std::nullopt;
    }
    const char *value = nullptr;
    if (option->value == nullptr) {
      if (equals != std::string_view::npos) {
        usage_error(&command, "option '" + std::string(name) + "' takes no value");
        return std::nullopt;
      }
    } else if (equals != std::string_view::npos) {
      value = word + equals + 1;
    } else if (i + 1 < argc) {
      value = argv[++i];
    } else {
      usage_error(&command, "option '" + std::string(name) + "' needs a value");
      return std::nullopt;
    }
    switch (option->bit) {
      case kNow:
        call.now = vlauth_tool::parse_time(value);
        if (!call.now) {
          usage_error(&command, "--now takes seconds since the epoch, "
                                "YYYY-MM-DDTHH:MM:SSZ or YYYY-MM-DD, not '" +
                                    std::string(value) + "'");
          return std::nullopt;
        }
        break;
      case kPretty: call.pretty = true; break;
      case kDist: call.dist = value; break;
      case kMusic: call.music = value; break;
      case kAuth: call.auth = value; break;
      case kRedirect: call.redirect = value; break;
      case kPasswordFile: call.password_file = value; break;
    }
  }
  if (call.operands.size() < command.min_operands) {
    usage_error(&command, std::string("missing operand ") + command.operands);
    return std::nullopt;
  }
  if (call.operands.size() > command.max_operands) {
    usage_error(&command, "unexpected operand '" + std::string(call.operands.back()) + "'");
    return std::nullopt;
  }
  return call;
}

int run(int argc, char **argv) {
  if (argc < 2) {
    return usage_error(nullptr, "missing command");
  }
  const std::string_view first(argv[1]);
  if (first == "--help" || first == "-h" || first == "help") {
    if (first != "help" || argc < 3) {
      print_tool_help();
      return kSuccess;
    }
    const Command *topic = find_command(argv[2]);
    if (topic == nullptr) {
      return usage_error(nullptr, "unknown command '" + std::string(argv[2]) + "'");
    }
    print_command_help(*topic);
    return kSuccess;
  }
  if (first == "--version") return run_version(*find_command("version"), Invocation{});
  const Command *command = find_command(first);
  if (command == nullptr) {
    return usage_error(nullptr, "unknown command '" + std::string(first) + "'");
  }
  bool help = false;
  const std::optional<Invocation> call = parse_arguments(*command, argc - 2, argv + 2, help);
  if (help) {
    print_command_help(*command);
    return kSuccess;
  }
  if (!call) return kUsage;
  return command->run(*command, *call);
}

}  // namespace

int main(int argc, char **argv) {
  int status;
  try {
    status = run(argc, argv);
  } catch (const std::bad_alloc &) {
    return refuse("out of memory");
  }
  if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
    return refuse("cannot write to standard output");
  }
  return status;
}
