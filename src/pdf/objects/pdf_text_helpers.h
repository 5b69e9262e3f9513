// Text helpers of the PDF writer: name escaping, string forms, number and date texts.
#pragma once

#include <string>
#include <string_view>

namespace qv {

class TCodePage;
class TStream;

// Writes the bytes of text, nothing else.
void WriteTextToStream(TStream &stream, std::string_view text);

// The escaped value of a name without its slash: bytes below 0x21, above 0x7E and
// # % ( ) / < > [ ] { } become "#" and two upper-case hex digits.
std::string EscapeName(std::string_view name);

// The written form of a text: the literal form "(...)" with the eight escapes, or the Unicode
// hex form "<FEFF001B656E001B...>" when the code page finds a multi-byte character in it.
std::string PdfTextForm(std::string_view text, const TCodePage &code_page);

// Two-decimal number text of page content: trunc(v x 100 + 0.5) / 100 in the general format.
std::string FormatReal(float value);

// General decimal form of a real: at most 15 significant digits, no trailing zeros, no decimal
// point for integral values, "." whatever the locale.
std::string PdfRealText(double value);

// "D:" and the local date and time of this moment as 14 digits (YYYYMMDDHHMMSS).
std::string PdfDate();

}  // namespace qv
