// Text helpers: message formatting and locale-free number conversion.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>

namespace qv {

// Replaces each "%s" or "%d" of format, left to right, by the next argument; "%N$s" or "%N$d"
// (N 1 to 9) by the Nth argument, as a translation that puts the arguments in another order
// writes them; "%%" gives "%". Missing arguments leave the directive as it stands.
std::string FormatText(std::string_view format, std::initializer_list<std::string_view> args);

// Decimal text of a number, independent of the locale.
std::string IntToStr(std::int64_t value);

// Decimal integer in the whole text (optional sign, no blanks); nullopt when it is not one
// or does not fit 32 bits.
std::optional<std::int32_t> ParseInt32(std::string_view text);

// A number of bytes written as digits, optionally followed by K, M or G (either case; powers of
// 1024): "1048576", "64k", "512M", "2G". Nothing for any other text, zero, or a size past 2^63.
std::optional<std::uint64_t> ParseByteSize(std::string_view text);

// ParseInt32, or fallback when the text is not an integer.
std::int32_t StrToIntDef(std::string_view text, std::int32_t fallback);

// ASCII letters lower-cased; other bytes (UTF-8 sequences included) unchanged.
std::string LowerCaseAscii(std::string_view text);

// Whether two texts are equal with ASCII letters compared regardless of case (other bytes must
// match exactly), as keys and section names of settings files compare.
bool EqualsNoCase(std::string_view a, std::string_view b);

// Text without leading and trailing blanks (space, tab, CR, LF).
std::string_view Trim(std::string_view text);

}  // namespace qv
