#include "oauth/OAuthJson.h"

#include "core/Cp1252.h"

namespace postello {

namespace {

class TJsonReader {
public:
  explicit TJsonReader(std::string_view text) : FText(text) {}

  bool Object(std::map<std::string, std::string>* out, int depth) {
    if (depth > 32 || !Take('{')) return false;
    Blanks();
    if (Take('}')) return true;
    for (;;) {
      Blanks();
      std::string name;
      if (!String(name)) return false;
      Blanks();
      if (!Take(':')) return false;
      Blanks();
      std::string value;
      if (!Value(value, depth)) return false;
      if (out != nullptr) out->emplace(std::move(name), std::move(value));
      Blanks();
      if (Take('}')) return true;
      if (!Take(',')) return false;
    }
  }

  bool AtEnd() {
    Blanks();
    return FPos == FText.size();
  }

private:
  bool Value(std::string& value, int depth) {
    if (FPos >= FText.size()) return false;
    const char c = FText[FPos];
    if (c == '"') return String(value);
    if (c == '{') return Object(nullptr, depth + 1);
    if (c == '[') return Array(depth + 1);
    if (Word("true") || Word("false") || Word("null")) {
      value = FLastWord;
      return true;
    }
    return Number(value);
  }

  bool Array(int depth) {
    if (depth > 32 || !Take('[')) return false;
    Blanks();
    if (Take(']')) return true;
    for (;;) {
      Blanks();
      std::string ignored;
      if (!Value(ignored, depth)) return false;
      Blanks();
      if (Take(']')) return true;
      if (!Take(',')) return false;
    }
  }

  bool Word(std::string_view word) {
    if (FText.substr(FPos, word.size()) != word) return false;
    FPos += word.size();
    FLastWord = std::string(word);
    return true;
  }

  bool Number(std::string& value) {
    const size_t start = FPos;
    if (FPos < FText.size() && FText[FPos] == '-') ++FPos;
    const size_t digits = FPos;
    while (FPos < FText.size() && FText[FPos] >= '0' && FText[FPos] <= '9') ++FPos;
    if (FPos == digits) return false;
    if (FPos < FText.size() && FText[FPos] == '.') {
      ++FPos;
      const size_t frac = FPos;
      while (FPos < FText.size() && FText[FPos] >= '0' && FText[FPos] <= '9') ++FPos;
      if (FPos == frac) return false;
    }
    if (FPos < FText.size() && (FText[FPos] == 'e' || FText[FPos] == 'E')) {
      ++FPos;
      if (FPos < FText.size() && (FText[FPos] == '+' || FText[FPos] == '-')) ++FPos;
      const size_t exp = FPos;
      while (FPos < FText.size() && FText[FPos] >= '0' && FText[FPos] <= '9') ++FPos;
      if (FPos == exp) return false;
    }
    value = std::string(FText.substr(start, FPos - start));
    return true;
  }

  bool Hex4(unsigned& value) {
    if (FPos + 4 > FText.size()) return false;
    value = 0;
    for (int i = 0; i < 4; ++i) {
      const char c = FText[FPos++];
      value <<= 4;
      if (c >= '0' && c <= '9') value |= static_cast<unsigned>(c - '0');
      else if (c >= 'a' && c <= 'f') value |= static_cast<unsigned>(c - 'a' + 10);
      else if (c >= 'A' && c <= 'F') value |= static_cast<unsigned>(c - 'A' + 10);
      else return false;
    }
    return true;
  }

  bool String(std::string& out) {
    if (!Take('"')) return false;
    for (;;) {
      if (FPos >= FText.size()) return false;
      const char c = FText[FPos++];
      if (c == '"') return true;
      if (static_cast<unsigned char>(c) < 0x20) return false;
      if (c != '\\') {
        out += c;
        continue;
      }
      if (FPos >= FText.size()) return false;
      const char e = FText[FPos++];
      switch (e) {
        case '"': out += '"'; break;
        case '\\': out += '\\'; break;
        case '/': out += '/'; break;
        case 'b': out += '\b'; break;
        case 'f': out += '\f'; break;
        case 'n': out += '\n'; break;
        case 'r': out += '\r'; break;
        case 't': out += '\t'; break;
        case 'u': {
          unsigned cp = 0;
          if (!Hex4(cp)) return false;
          if (cp >= 0xD800 && cp < 0xDC00) {
            unsigned low = 0;
            if (FText.substr(FPos, 2) != "\\u") return false;
            FPos += 2;
            if (!Hex4(low) || low < 0xDC00 || low >= 0xE000) return false;
            cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
          } else if (cp >= 0xDC00 && cp < 0xE000) {
            return false;
          }
          AppendUtf8(out, cp);
          break;
        }
        default: return false;
      }
    }
  }

  void Blanks() {
    while (FPos < FText.size() &&
           (FText[FPos] == ' ' || FText[FPos] == '\t' || FText[FPos] == '\n' || FText[FPos] == '\r'))
      ++FPos;
  }

  bool Take(char c) {
    if (FPos < FText.size() && FText[FPos] == c) {
      ++FPos;
      return true;
    }
    return false;
  }

  std::string_view FText;
  size_t FPos = 0;
  std::string FLastWord;
};

} // namespace

std::optional<std::map<std::string, std::string>> ParseJsonObject(std::string_view text) {
  // A byte order mark is not JSON, but some servers send one.
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  TJsonReader reader(text);
  std::map<std::string, std::string> out;
  reader.AtEnd();  // leading blanks
  if (!reader.Object(&out, 0) || !reader.AtEnd()) return std::nullopt;
  return out;
}

} // namespace postello
