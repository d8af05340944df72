#include "JsonCheck.h"

#include <string>
#include <vector>

namespace qz::evmon::fuzz {

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

int HexValue(char c) {
  if (IsDigit(c)) return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// A cursor over the text. Every Read* returns false on a grammar fault and
// then leaves the position anywhere.
class Scanner {
 public:
  explicit Scanner(std::string_view text) : text(text) {}

  void SkipBlanks() {
    while (at < text.size() && IsBlank(text[at])) ++at;
  }
  bool AtEnd() const { return at == text.size(); }
  char Peek() const { return at < text.size() ? text[at] : '\0'; }
  bool Take(char c) {
    if (Peek() != c || AtEnd()) return false;
    ++at;
    return true;
  }
  bool TakeWord(std::string_view word) {
    if (text.substr(at, word.size()) != word) return false;
    at += word.size();
    return true;
  }

  // A string after its opening quote; `decoded` gets its ASCII content, any
  // other character as '\x80'.
  bool ReadString(std::string& decoded) {
    while (!AtEnd()) {
      const auto c = static_cast<unsigned char>(text[at++]);
      if (c == '"') return true;
      if (c < 0x20) return false;
      if (c != '\\') {
        decoded.push_back(c < 0x80 ? static_cast<char>(c) : '\x80');
        continue;
      }
      const char escape = Peek();
      ++at;
      switch (escape) {
        case '"':
        case '\\':
        case '/':
          decoded.push_back(escape);
          break;
        case 'b':
          decoded.push_back('\b');
          break;
        case 'f':
          decoded.push_back('\f');
          break;
        case 'n':
          decoded.push_back('\n');
          break;
        case 'r':
          decoded.push_back('\r');
          break;
        case 't':
          decoded.push_back('\t');
          break;
        case 'u': {
          int code = 0;
          for (int digit = 0; digit < 4; ++digit) {
            const int value = HexValue(Peek());
            if (AtEnd() || value < 0) return false;
            code = code * 16 + value;
            ++at;
          }
          if (code >= 0xD800 && code <= 0xDFFF) parserMayDiffer = true;
          decoded.push_back(code < 0x80 ? static_cast<char>(code) : '\x80');
          break;
        }
        default:
          return false;
      }
    }
    return false;
  }

  bool ReadNumber() {
    parserMayDiffer = true;
    Take('-');
    if (Take('0')) {
    } else if (IsDigit(Peek()) && !AtEnd()) {
      while (IsDigit(Peek()) && !AtEnd()) ++at;
    } else {
      return false;
    }
    if (Take('.')) {
      if (!IsDigit(Peek()) || AtEnd()) return false;
      while (IsDigit(Peek()) && !AtEnd()) ++at;
    }
    if (Take('e') || Take('E')) {
      if (!Take('+')) Take('-');
      if (!IsDigit(Peek()) || AtEnd()) return false;
      while (IsDigit(Peek()) && !AtEnd()) ++at;
    }
    return true;
  }

  bool parserMayDiffer = false;

 private:
  std::string_view text;
  std::size_t at = 0;
};

// One value, nesting kept on an explicit stack so no depth exhausts ours.
bool ReadValue(Scanner& scan) {
  std::vector<char> open;  // '[' or '{' of each container entered
  std::string ignored;
  for (;;) {
    scan.SkipBlanks();
    // A value.
    if (scan.Take('{')) {
      scan.SkipBlanks();
      if (!scan.Take('}')) {
        open.push_back('{');
        if (!scan.Take('"') || !scan.ReadString(ignored)) return false;
        scan.SkipBlanks();
        if (!scan.Take(':')) return false;
        continue;
      }
    } else if (scan.Take('[')) {
      scan.SkipBlanks();
      if (!scan.Take(']')) {
        open.push_back('[');
        continue;
      }
    } else if (scan.Take('"')) {
      if (!scan.ReadString(ignored)) return false;
    } else if (scan.Peek() == '-' || IsDigit(scan.Peek())) {
      if (scan.AtEnd() || !scan.ReadNumber()) return false;
    } else if (!scan.TakeWord("true") && !scan.TakeWord("false") && !scan.TakeWord("null")) {
      return false;
    }
    // What follows a complete value: commas and closings.
    for (;;) {
      if (open.empty()) return true;
      scan.SkipBlanks();
      if (scan.Take(',')) {
        if (open.back() == '{') {
          scan.SkipBlanks();
          if (!scan.Take('"') || !scan.ReadString(ignored)) return false;
          scan.SkipBlanks();
          if (!scan.Take(':')) return false;
        }
        break;
      }
      if (!scan.Take(open.back() == '{' ? '}' : ']')) return false;
      open.pop_back();
    }
  }
}

}  // namespace

JsonVerdict CheckJson(std::string_view text) {
  Scanner scan(text);
  JsonVerdict verdict;
  verdict.valid = ReadValue(scan);
  scan.SkipBlanks();
  verdict.valid = verdict.valid && scan.AtEnd();
  verdict.parserMayDiffer = scan.parserMayDiffer;
  return verdict;
}

std::optional<bool> RuleDocumentFlag(std::string_view text) {
  Scanner scan(text);
  std::string name;
  scan.SkipBlanks();
  if (!scan.Take('{')) return std::nullopt;
  scan.SkipBlanks();
  if (!scan.Take('"') || !scan.ReadString(name) || name != "enabled") return std::nullopt;
  scan.SkipBlanks();
  if (!scan.Take(':')) return std::nullopt;
  scan.SkipBlanks();
  const bool flag = scan.TakeWord("true");
  if (!flag && !scan.TakeWord("false")) return std::nullopt;
  scan.SkipBlanks();
  if (!scan.Take('}')) return std::nullopt;
  scan.SkipBlanks();
  if (!scan.AtEnd()) return std::nullopt;
  return flag;
}

}  // namespace qz::evmon::fuzz
