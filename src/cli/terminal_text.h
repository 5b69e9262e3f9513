// Text the command line prints to a terminal: file names quoted and control characters escaped,
// so no name can move the cursor, retitle the terminal or forge a line of output.
#pragma once

#include <string>
#include <string_view>

namespace qv::cli {

// The name as it is when every character is printable UTF-8; otherwise quoted in the shell's
// escape style, as GNU tools quote names: 'a'$'\n''b', with control characters, invalid bytes,
// line separators and bidirectional controls written as escapes ($'\033', $'\377').
std::string QuoteFileName(std::string_view name);

// The text with every character QuoteFileName would escape written as a C escape (\n, \033,
// \377), and the names given (where they appear as they are) quoted by QuoteFileName.
std::string TerminalSafe(std::string_view text, std::initializer_list<std::string_view> names = {});

}  // namespace qv::cli
