#include "mime/Encodings.h"

#include "core/Cp1252.h"

#include <array>
#include <cstdint>
#include <cstring>
#include <vector>

namespace postello {

namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";
constexpr char kBase64Alphabet[] =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

bool IsUpperHex(char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'); }

int UpperHexValue(char c) { return c <= '9' ? c - '0' : c - 'A' + 10; }

void AppendEscape(std::string& out, unsigned char c) {
  out += '=';
  out += kHexDigits[c >> 4];
  out += kHexDigits[c & 15];
}

bool IsHeaderSpecial(unsigned char c) {
  switch (c) {
  case '\t': case '\n': case '\r': case ' ': case '"': case '\'':
  case '(': case ')': case '<': case '>': case '?': case '_':
    return true;
  default:
    return false;
  }
}

// Cuts one encoded line into pieces of at most 71 characters plus a soft
// break; an escape is never split because the cut walks back over whole
// escapes.
void AppendCutLine(std::string& out, std::string_view line) {
  while (line.size() > 71) {
    std::size_t cut = line.size();
    while (cut > 71) {
      if (line[cut - 3] == '=' && IsUpperHex(line[cut - 2]) && IsUpperHex(line[cut - 1]))
        cut -= 3;
      else
        cut -= 1;
    }
    out.append(line.substr(0, cut));
    out += "=\r\n";
    line.remove_prefix(cut);
  }
  out.append(line);
  out += "\r\n";
}

// 12-bit value to two alphabet characters, so one lookup writes a pair.
struct TBase64Pairs {
  std::array<std::uint16_t, 4096> Pair{};
  TBase64Pairs() {
    for (int v = 0; v < 4096; ++v) {
      unsigned char hi = static_cast<unsigned char>(kBase64Alphabet[v >> 6]);
      unsigned char lo = static_cast<unsigned char>(kBase64Alphabet[v & 63]);
      // Stored in memory order so a plain 2-byte copy writes hi, then lo.
      char bytes[2] = {static_cast<char>(hi), static_cast<char>(lo)};
      std::uint16_t p;
      std::memcpy(&p, bytes, 2);
      Pair[v] = p;
    }
  }
};

const TBase64Pairs& Base64Pairs() {
  static const TBase64Pairs pairs;
  return pairs;
}

inline char* EncodeGroup(char* out, const unsigned char* in, const std::uint16_t* pairs) {
  std::uint32_t v = (std::uint32_t(in[0]) << 16) | (std::uint32_t(in[1]) << 8) | in[2];
  std::memcpy(out, &pairs[v >> 12], 2);
  std::memcpy(out + 2, &pairs[v & 4095], 2);
  return out + 4;
}

// Encodes `n` bytes (a whole number of lines, or the tail) at `out`;
// returns the end of what was written.
char* EncodeBase64Block(const unsigned char* in, std::size_t n, char* out) {
  const std::uint16_t* pairs = Base64Pairs().Pair.data();
  while (n >= 57) {
    for (int g = 0; g < 19; ++g) {
      out = EncodeGroup(out, in, pairs);
      in += 3;
    }
    *out++ = '\r';
    *out++ = '\n';
    n -= 57;
  }
  if (n == 0) return out;
  while (n >= 3) {
    out = EncodeGroup(out, in, pairs);
    in += 3;
    n -= 3;
  }
  if (n == 1) {
    *out++ = kBase64Alphabet[in[0] >> 2];
    *out++ = kBase64Alphabet[(in[0] & 3) << 4];
    *out++ = '=';
    *out++ = '=';
  } else if (n == 2) {
    *out++ = kBase64Alphabet[in[0] >> 2];
    *out++ = kBase64Alphabet[((in[0] & 3) << 4) | (in[1] >> 4)];
    *out++ = kBase64Alphabet[(in[1] & 15) << 2];
    *out++ = '=';
  }
  *out++ = '\r';
  *out++ = '\n';
  return out;
}

std::size_t Base64EncodedSize(std::size_t n) {
  std::size_t full = n / 57, rest = n % 57;
  std::size_t size = full * 78;
  if (rest) size += (rest + 2) / 3 * 4 + 2;
  return size;
}

constexpr int kPadMark = 64;   // "=" in a group; counts 64 where not zeroed
constexpr int kNoValue = -1;   // outside the alphabet

struct TBase64Values {
  std::array<int, 256> Value{};
  TBase64Values() {
    Value.fill(kNoValue);
    for (int i = 0; i < 64; ++i) Value[static_cast<unsigned char>(kBase64Alphabet[i])] = i;
    Value['='] = kPadMark;
  }
};

int UUValue(unsigned char c) {
  if (c == '`' || c == ' ') return 0;
  if (c >= 33 && c <= 95) return c - 32;
  return -1;
}

} // namespace

std::string EncodeQuotedPrintable(std::string_view text, bool headerMode) {
  const std::size_t n = text.size();
  std::string out;
  out.reserve(n + n / 8 + 8);
  for (std::size_t i = 0; i < n; ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    bool literal = c < 128 && c != '=' && (c >= 32 || c == '\t' || c == '\n' || c == '\r');
    if (literal && c == '\r') literal = i + 1 < n && text[i + 1] == '\n';
    if (literal && c == '\n') literal = i > 0 && text[i - 1] == '\r';
    if (literal && headerMode) literal = !IsHeaderSpecial(c);
    if (literal)
      out += static_cast<char>(c);
    else
      AppendEscape(out, c);

    // A blank or tab before a line end would be lost by mail transports.
    if (!headerMode && literal && c == '\n') {
      std::size_t cr = out.size() - 2;
      std::size_t start = cr;
      while (start > 0 && (out[start - 1] == ' ' || out[start - 1] == '\t')) --start;
      if (start < cr) {
        std::string run;
        for (std::size_t k = start; k < cr; ++k) AppendEscape(run, static_cast<unsigned char>(out[k]));
        out.replace(start, cr - start, run);
      }
    }
  }
  if (headerMode) return out;

  // Split at the CR LF pairs (the only line ends left; a final one does not
  // start another line), cut long lines, end every line with CR LF.
  std::string result;
  result.reserve(out.size() + out.size() / 35 + 2);
  std::string_view rest(out);
  while (!rest.empty()) {
    std::size_t end = rest.find("\r\n");
    if (end == std::string_view::npos) {
      AppendCutLine(result, rest);
      break;
    }
    AppendCutLine(result, rest.substr(0, end));
    rest.remove_prefix(end + 2);
  }
  return result;
}

std::string DecodeQuotedPrintable(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  std::size_t i = 0;
  const std::size_t n = text.size();
  while (i < n) {
    std::size_t eq = text.find('=', i);
    if (eq == std::string_view::npos) {
      out.append(text.substr(i));
      break;
    }
    out.append(text.substr(i, eq - i));
    if (n - eq - 1 < 2) break;
    const char a = text[eq + 1], b = text[eq + 2];
    if (!(a == '\r' && b == '\n') && IsUpperHex(a) && IsUpperHex(b))
      out += static_cast<char>(UpperHexValue(a) * 16 + UpperHexValue(b));
    i = eq + 3;
  }
  return out;
}

std::string EncodeHeaderWord(std::string_view text, std::string_view charset) {
  std::string q = EncodeQuotedPrintable(text, true);
  if (q == text) return q;
  // "=?" charset "?Q?" text "?=" within 75 characters; a charset too long
  // for that still gets one escape per word rather than none.
  constexpr std::size_t kMaxWord = 75;
  const std::size_t frame = charset.size() + 7;
  const std::size_t room = frame + 3 < kMaxWord ? kMaxWord - frame : 3;
  std::string words;
  words.reserve(q.size() + (q.size() / room + 1) * (frame + 1));
  std::size_t i = 0;
  while (i < q.size()) {
    // In header mode every "=" starts an escape of three characters.
    std::size_t end = i;
    while (end < q.size()) {
      const std::size_t step = q[end] == '=' ? 3 : 1;
      if (end + step - i > room) break;
      end += step;
    }
    if (!words.empty()) words += ' ';
    words += "=?";
    words += charset;
    words += "?Q?";
    words.append(q, i, end - i);
    words += "?=";
    i = end;
  }
  return words;
}

std::string_view Cp1252TextCharset(std::string_view text) {
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x80 && byte <= 0x9F && Cp1252ToUnicode(byte) != byte) return "windows-1252";
  }
  return "iso-8859-1";
}

std::string DecodeHeaderWords(std::string_view text) {
  std::size_t first = 0;
  while (first < text.size() && (text[first] == ' ' || text[first] == '\t')) ++first;
  std::size_t last = text.size();
  while (last > first && text[last - 1] == ' ') --last;
  const std::string_view s = text.substr(first, last - first);

  // Words are searched in the input only, each once: decoded text is never
  // searched again, even when it looks like an encoded word itself.
  std::string out;
  std::size_t from = 0;
  bool afterWord = false;
  for (;;) {
    const std::size_t start = s.find("=?", from);
    if (start == std::string_view::npos) break;
    const std::size_t charsetEnd = s.find('?', start + 2);
    if (charsetEnd == std::string_view::npos) break;
    std::size_t end = s.find("?=", charsetEnd + 1);
    if (end == std::string_view::npos) break;
    // An encoded text that begins with "=" makes "?=" appear right after the
    // encoding letter; the real end is the next "?" followed by "=".
    const std::size_t next = s.find('?', end + 1);
    if (next != std::string_view::npos && next + 1 < s.size() && s[next + 1] == '=') end = next;

    const std::string_view inner = s.substr(charsetEnd + 1, end - charsetEnd - 1);
    char kind = 'Q';
    if (inner.size() >= 2 && inner[1] == '?') {
      char letter = inner[0];
      if (letter >= 'a' && letter <= 'z') letter = static_cast<char>(letter - 'a' + 'A');
      if (letter == 'B' || letter == 'U') kind = letter;
    }
    const std::string_view encoded = inner.size() > 2 ? inner.substr(2) : std::string_view();

    const std::string_view between = s.substr(from, start - from);
    const bool onlySpace = between.find_first_not_of(" \t\r\n") == std::string_view::npos;
    if (!(afterWord && onlySpace)) out.append(between);
    afterWord = true;
    if (!encoded.empty()) {
      if (kind == 'Q') {
        std::string q(encoded);
        for (char& c : q)
          if (c == '_') c = ' ';
        out += DecodeQuotedPrintable(q);
      } else {
        std::string decoded = kind == 'B' ? DecodeBase64Text(encoded) : DecodeUULine(encoded);
        const std::size_t zero = decoded.find('\0');
        if (zero != std::string::npos) decoded.resize(zero);
        out += decoded;
      }
    }
    from = end + 2;
  }
  out.append(s.substr(from));
  return out;
}

void EncodeBase64Stream(std::string_view source, std::string& destination) {
  destination.clear();
  destination.resize(Base64EncodedSize(source.size()));
  char* out = destination.data();
  char* end = EncodeBase64Block(reinterpret_cast<const unsigned char*>(source.data()),
                                source.size(), out);
  destination.resize(static_cast<std::size_t>(end - out));
}

void EncodeBase64Stream(std::istream& source, std::string& destination) {
  destination.clear();
  source.clear();
  source.seekg(0, std::ios::beg);
  char block[2280];
  char lines[40 * 78];
  for (;;) {
    source.read(block, sizeof block);
    std::streamsize got = source.gcount();
    if (got <= 0) break;
    char* end = EncodeBase64Block(reinterpret_cast<const unsigned char*>(block),
                                  static_cast<std::size_t>(got), lines);
    destination.append(lines, static_cast<std::size_t>(end - lines));
    if (got < static_cast<std::streamsize>(sizeof block)) break;
  }
}

std::string DecodeBase64Text(std::string_view text) {
  static const TBase64Values table;
  std::string out;
  out.reserve(text.size() / 4 * 3);
  int held[4] = {0, 0, 0, 0};
  int pos = 0;
  for (char ch : text) {
    int v = table.Value[static_cast<unsigned char>(ch)];
    if (v != kNoValue) held[pos] = v;
    if (++pos < 4) continue;
    pos = 0;
    int a = held[0], b = held[1], c = held[2], d = held[3];
    int count = 3;
    if (a == kPadMark) count = 0;
    if (c == kPadMark) {
      c = 0;
      d = 0;
      count = 1;
    }
    if (d == kPadMark) {
      d = 0;
      count = 2;
    }
    const char bytes[3] = {static_cast<char>((a * 4 + b / 16) % 256),
                           static_cast<char>(((b % 16) * 16 + c / 4) % 256),
                           static_cast<char>(((c % 4) * 64 + d) % 256)};
    out.append(bytes, static_cast<std::size_t>(count));
  }
  return out;
}

std::string DecodeUULine(std::string_view line) {
  if (line.empty()) return {};
  std::vector<int> values;
  values.reserve(line.size());
  for (char ch : line) {
    int v = UUValue(static_cast<unsigned char>(ch));
    if (v < 0) return {}; // UUCODE message format error
    values.push_back(v);
  }
  const std::size_t count = static_cast<std::size_t>(values[0]) > 45 ? 45 : values[0];
  std::size_t chars = values.size() - 1;
  if (values[0] == 45 || chars > 60) chars = 60;

  std::string out;
  std::uint32_t bits = 0;
  int held = 0;
  for (std::size_t k = 1; k <= chars && out.size() < count; ++k) {
    int v = k < values.size() ? values[k] : 0;
    bits = (bits << 6) | static_cast<std::uint32_t>(v);
    held += 6;
    if (held >= 8) {
      held -= 8;
      out += static_cast<char>((bits >> held) & 0xFF);
    }
  }
  if (out.size() < count && held > 0) out += static_cast<char>((bits << (8 - held)) & 0xFF);
  if (out.size() < count) out.append(count - out.size(), '\0');
  return out;
}

std::string NextLine(std::string_view text, int& position) {
  std::size_t start = position > 0 ? static_cast<std::size_t>(position - 1) : 0;
  if (start >= text.size()) {
    position = -1;
    return {};
  }
  std::size_t lf = text.find("\r\n", start);
  if (lf == std::string_view::npos) {
    position = -1;
    return std::string(text.substr(start));
  }
  position = static_cast<int>(lf + 2 + 1);
  return std::string(text.substr(start, lf + 2 - start));
}

std::string PadLeft(std::string_view text, std::size_t width, std::string_view pad) {
  std::string s = TrimLeadingBlanks(text);
  if (s.size() > width) return s.substr(s.size() - width);
  if (pad.empty()) return s;
  while (s.size() < width) s.insert(0, pad);
  return s;
}

std::string TrimLeadingBlanks(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  return std::string(text.substr(i));
}

} // namespace postello
