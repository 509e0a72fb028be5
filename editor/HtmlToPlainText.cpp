#include "editor/HtmlToPlainText.h"

#include "editor/AsciiCase.h"

namespace postello {
namespace {

class TPlainTextDeriver {
public:
  void Line(std::string_view line) {
    std::size_t i = 0;
    const std::size_t n = line.size();
    while (i < n) {
      if (FState == sOutside) {
        const std::size_t lt = line.find('<', i);
        if (lt == std::string_view::npos) {
          FCurrent.append(line, i);
          break;
        }
        FCurrent.append(line, i, lt - i);
        FTag.clear();
        FState = sInside;
        i = lt + 1;
      } else if (FState == sQuoted) {
        const std::size_t q = line.find('"', i);
        if (q == std::string_view::npos) {
          FTag.append(line, i);
          break;
        }
        FTag.append(line, i, q + 1 - i);
        FState = sInside;
        i = q + 1;
      } else {
        const std::size_t k = line.find_first_of("\">", i);
        if (k == std::string_view::npos) {
          FTag.append(line, i);
          break;
        }
        FTag.append(line, i, k - i);
        if (line[k] == '"') {
          FTag += '"';
          FState = sQuoted;
        } else {
          EndTag();
          FState = sOutside;
        }
        i = k + 1;
      }
    }
    // The line break of the HTML reads as a blank.
    if (!IsBlank(FCurrent)) FCurrent += ' ';
  }

  std::vector<std::string> Finish() {
    if (!FCurrent.empty()) Emit();
    return std::move(FOut);
  }

private:
  enum TState { sOutside, sInside, sQuoted };

  static bool IsBlank(const std::string& s) { return s.empty() || s == " "; }

  // True when the tag text is the name alone or holds name + " " anywhere.
  bool Names(std::string_view name, std::string_view nameBlank) const {
    return FTag == name || FTag.find(nameBlank) != std::string::npos;
  }

  void EndTag() {
    if (FTag.empty()) return;
    UpperAsciiInPlace(FTag);
    if (Names("BR", "BR ") || Names("P", "P ")) {
      Emit();
    } else if (Names("TR", "TR ") || Names("TD", "TD ")) {
      if (IsBlank(FCurrent)) {
        FCurrent.clear();
      } else {
        Emit();
      }
    } else if (Names("DIV", "DIV ")) {
      Emit();
    }
  }

  void Emit() {
    FOut.push_back(std::move(FCurrent));
    FCurrent.clear();
  }

  TState FState = sOutside;
  std::string FTag;
  std::string FCurrent;
  std::vector<std::string> FOut;
};

} // namespace

std::vector<std::string> HtmlToPlainText(const std::vector<std::string>& htmlLines) {
  TPlainTextDeriver d;
  for (const std::string& line : htmlLines) d.Line(line);
  return d.Finish();
}

std::vector<std::string> HtmlToPlainText(std::string_view htmlText) {
  TPlainTextDeriver d;
  std::size_t start = 0;
  while (start < htmlText.size()) {
    const std::size_t end = htmlText.find_first_of("\r\n", start);
    if (end == std::string_view::npos) {
      d.Line(htmlText.substr(start));
      break;
    }
    d.Line(htmlText.substr(start, end - start));
    start = end + 1;
    if (htmlText[end] == '\r' && start < htmlText.size() && htmlText[start] == '\n') ++start;
  }
  return d.Finish();
}

} // namespace postello
