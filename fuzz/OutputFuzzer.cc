// Fuzzes the output document: for any list of byte-string names (the input
// split at 0xFF 0xFE pairs, so names may hold any byte) the text is the
// documented escaping, byte for byte, and where every name is valid UTF-8 it
// parses back to exactly those names, in that order.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include <rapidjson/document.h>

#include "FuzzSupport.h"
#include "RuleDump.h"

namespace {

using qz::evmon::fuzz::Require;

// The escaping as the user's guide tells it, one byte at a time.
std::string Escaped(std::string_view name) {
  std::string text;
  for (const char c : name) {
    const auto byte = static_cast<unsigned char>(c);
    static const std::string_view kShort[] = {"\\b", "\\t", "\\n", "", "\\f", "\\r"};
    if (c == '"' || c == '\\') {
      text += '\\';
      text += c;
    } else if (byte >= 0x08 && byte <= 0x0D && !kShort[byte - 0x08].empty()) {
      text += kShort[byte - 0x08];
    } else if (byte < 0x20) {
      static const char kHex[] = "0123456789ABCDEF";
      text += "\\u00";
      text += kHex[byte >> 4];
      text += kHex[byte & 0xF];
    } else {
      text += c;
    }
  }
  return text;
}

// RFC 3629: no overlong forms, no surrogates, nothing above U+10FFFF.
bool IsValidUtf8(std::string_view text) {
  for (std::size_t at = 0; at < text.size();) {
    const auto lead = static_cast<unsigned char>(text[at]);
    std::size_t length;
    std::uint32_t code;
    if (lead < 0x80) {
      ++at;
      continue;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
      length = 2, code = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      length = 3, code = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      length = 4, code = lead & 0x07;
    } else {
      return false;
    }
    if (at + length > text.size()) return false;
    for (std::size_t i = 1; i < length; ++i) {
      const auto next = static_cast<unsigned char>(text[at + i]);
      if ((next & 0xC0) != 0x80) return false;
      code = code << 6 | (next & 0x3F);
    }
    const std::uint32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
    if (code < least[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return false;
    at += length;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  std::vector<std::string_view> names;
  for (std::size_t start = 0;;) {
    const std::size_t end = input.find("\xFF\xFE", start);
    names.push_back(input.substr(start, end - start));
    if (end == std::string_view::npos) break;
    start = end + 2;
  }

  qz::evmon::OutputDocument document;
  std::string expected = "{";
  for (std::size_t i = 0; i < names.size(); ++i) {
    const bool enabled = names[i].size() % 2 == 0;
    document.Add(names[i], enabled);
    expected += (i == 0 ? "\"" : ",\"") + Escaped(names[i]) + (enabled ? "\":true" : "\":false");
  }
  expected += "}\n";
  const std::string_view text = document.Finish();
  Require(text == expected);

  // Read back without an encoding check, every name comes back whole.
  rapidjson::Document parsed;
  parsed.Parse<rapidjson::kParseStopWhenDoneFlag>(text.data(), text.size());
  Require(!parsed.HasParseError() && parsed.IsObject() && parsed.MemberCount() == names.size());
  std::size_t i = 0;
  for (const auto& member : parsed.GetObject()) {
    Require(std::string_view(member.name.GetString(), member.name.GetStringLength()) == names[i]);
    Require(member.value.GetBool() == (names[i].size() % 2 == 0));
    ++i;
  }
  // And valid UTF-8 names make a valid UTF-8 document.
  bool allValid = true;
  for (const std::string_view name : names) allValid = allValid && IsValidUtf8(name);
  if (allValid) {
    rapidjson::Document strict;
    strict.Parse<rapidjson::kParseValidateEncodingFlag>(text.data(), text.size());
    Require(!strict.HasParseError());
  }
  return 0;
}
