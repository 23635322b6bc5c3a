// Times as people read them: ISO-8601 UTC stamps, durations such as "2 h 13 min", and the
// --now argument. The library takes seconds since the epoch; the tool speaks to people.
#ifndef VLAUTH_TOOL_TIME_TEXT_HPP
#define VLAUTH_TOOL_TIME_TEXT_HPP

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vlauth_tool {

// "2023-11-14T22:13:20Z" (proleptic Gregorian calendar, UTC). Years outside 0000..9999
// take a sign and as many digits as they need, so every int64_t has a text.
std::string iso8601_utc(std::int64_t seconds);

// The length of a span of time in its two largest units, the second left out when it is
// zero: "45 s", "1 min 30 s", "2 h 13 min", "3 days", "1 day 4 h", "76 years 5 days".
// A year counts 365 days.
std::string duration_text(std::uint64_t seconds);

// `to - from` as an unsigned magnitude, whatever the two values.
std::uint64_t distance(std::int64_t from, std::int64_t to);

// A time given on the command line: seconds since the epoch ("1700000000", "-5"), a UTC
// stamp "YYYY-MM-DDTHH:MM:SSZ", or a date "YYYY-MM-DD" (its midnight, UTC). Nothing
// when the text is none of these or out of range.
std::optional<std::int64_t> parse_time(std::string_view text);

}  // namespace vlauth_tool

#endif
