#include "text/list_form.hpp"

#include <algorithm>
#include <array>
#include <cstdint>

namespace vexal {
namespace {

struct CodePointRange {
  char32_t lo;
  char32_t hi;
};

constexpr CodePointRange kNonprintable[] = {
#include "text/nonprintable_table.inc"
};

constexpr char32_t kReplacement = 0xFFFD;

// Decodes one UTF-8 sequence at `pos`, advancing it. Malformed input yields
// U+FFFD for the offending byte, so any byte string can be shown.
char32_t next_code_point(std::string_view s, std::size_t& pos) {
  const auto byte = [&](std::size_t i) { return static_cast<std::uint8_t>(s[i]); };
  const std::uint8_t lead = byte(pos);
  std::size_t len = 0;
  char32_t cp = 0;
  char32_t min = 0;
  if (lead < 0x80) {
    ++pos;
    return lead;
  } else if ((lead & 0xE0) == 0xC0) {
    len = 2, cp = lead & 0x1F, min = 0x80;
  } else if ((lead & 0xF0) == 0xE0) {
    len = 3, cp = lead & 0x0F, min = 0x800;
  } else if ((lead & 0xF8) == 0xF0) {
    len = 4, cp = lead & 0x07, min = 0x10000;
  } else {
    ++pos;
    return kReplacement;
  }
  if (pos + len > s.size()) {
    ++pos;
    return kReplacement;
  }
  for (std::size_t i = 1; i < len; ++i) {
    if ((byte(pos + i) & 0xC0) != 0x80) {
      ++pos;
      return kReplacement;
    }
    cp = (cp << 6) | (byte(pos + i) & 0x3F);
  }
  if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
    ++pos;
    return kReplacement;
  }
  pos += len;
  return cp;
}

void append_utf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

void append_hex_escape(std::string& out, char32_t cp) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::array<char, 8> digits{};
  std::size_t n = 0;
  do {
    digits[n++] = kDigits[cp & 0xF];
    cp >>= 4;
  } while (cp != 0);
  out += "\\u{";
  while (n > 0) out += digits[--n];
  out += '}';
}

}  // namespace

bool is_nonprintable(char32_t cp) {
  const auto* it = std::upper_bound(std::begin(kNonprintable), std::end(kNonprintable), cp,
                                    [](char32_t c, const CodePointRange& r) { return c < r.lo; });
  return it != std::begin(kNonprintable) && cp <= std::prev(it)->hi;
}

std::string quoted_name(std::string_view name) {
  std::string out;
  out.reserve(name.size() + 2);
  out += '"';
  for (std::size_t pos = 0; pos < name.size();) {
    const char32_t cp = next_code_point(name, pos);
    switch (cp) {
      case U'"': out += "\\\""; break;
      case U'\\': out += "\\\\"; break;
      case U'\t': out += "\\t"; break;
      case U'\r': out += "\\r"; break;
      case U'\n': out += "\\n"; break;
      case U'\0': out += "\\0"; break;
      default:
        if (is_nonprintable(cp)) {
          append_hex_escape(out, cp);
        } else {
          append_utf8(out, cp);
        }
    }
  }
  out += '"';
  return out;
}

std::string list_form(std::span<const std::string> names) {
  std::string out = "[";
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (i > 0) out += ", ";
    out += quoted_name(names[i]);
  }
  out += ']';
  return out;
}

}  // namespace vexal
