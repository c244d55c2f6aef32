#pragma once

#include <span>
#include <string>
#include <string_view>

namespace vexal {

// A name in double quotes with quotes, backslashes, control characters and
// combining marks escaped, e.g. "a\"b" or "\u{301}".
[[nodiscard]] std::string quoted_name(std::string_view name);

// The text form of a list of names: ["close", "high"]; [] when empty.
[[nodiscard]] std::string list_form(std::span<const std::string> names);

// Whether the code point is written as \u{...} inside a quoted name.
[[nodiscard]] bool is_nonprintable(char32_t code_point);

}  // namespace vexal
