#include "kxdoc_roff.h"

#include <cctype>
#include <sstream>
#include <string_view>
#include <utility>

namespace kxdoc {
namespace {

struct Special {
  std::string_view utf8;
  const char* roff;
};

constexpr Special kSpecials[] = {{"\xE2\x80\x94", "\\(em"}, {"\xE2\x80\x93", "\\(en"}, {"\xE2\x86\x92", "\\(->"},
                                 {"\xE2\x80\x99", "'"},     {"\\", "\\e"},           {"-", "\\-"}};

struct Emphasis {
  std::string_view mark;
  const char* font;
};

constexpr Emphasis kEmphases[] = {{"**", "\\fB"}, {"`", "\\fB"}, {"*", "\\fI"}};

class Converter {
 public:
  explicit Converter(std::string version) : version_(std::move(version)) {}

  bool run(const std::string& markdown, std::string* roff, std::string* error) {
    std::istringstream in(markdown);
    std::string line;
    while (std::getline(in, line)) {
      ++lineNo_;
      if (!convertLine(line)) {
        *error = "line " + std::to_string(lineNo_) + ": " + error_;
        return false;
      }
    }
    if (inCode_) return fail(error, "unclosed code block");
    if (!titled_) return fail(error, "no \"# name - summary\" title");
    *roff = out_.str();
    return true;
  }

 private:
  static bool fail(std::string* error, const std::string& reason) {
    *error = reason;
    return false;
  }
  bool reject(const std::string& reason) {
    error_ = reason;
    return false;
  }

  bool convertLine(const std::string& line) {
    if (line.rfind("```", 0) == 0) return fence();
    if (inCode_) return codeLine(line);
    if (line.find_first_not_of(' ') == std::string::npos) return endParagraph();
    if (line.rfind("# ", 0) == 0) return title(line.substr(2));
    if (!titled_) return reject("the page must start with its title");
    if (line.rfind("## ", 0) == 0) return heading(".SH ", upper(line.substr(3)));
    if (line.rfind("### ", 0) == 0) return heading(".SS ", line.substr(4));
    if (line[0] == '|' || line[0] == '#' || line[0] == '>' || std::isdigit(static_cast<unsigned char>(line[0]))) {
      return reject("not in the man page subset: " + line);
    }
    if (line.rfind("- ", 0) == 0) return item(line.substr(2));
    return text(line);
  }

  bool endParagraph() {
    paragraphOpen_ = false;
    return true;
  }

  bool title(const std::string& rest) {
    if (titled_) return reject("a second title");
    const size_t dash = rest.find(" - ");
    const size_t emDash = rest.find(" \xE2\x80\x94 ");
    const size_t cut = dash != std::string::npos ? dash : emDash;
    if (cut == std::string::npos) return reject("the title reads \"# name - summary\"");
    const std::string name = rest.substr(0, cut);
    const std::string summary = rest.substr(rest.find(' ', cut + 1) + 1);
    out_ << ".TH " << upper(name) << " 1 \"\" \"Quarnel3 " << version_ << "\" \"Quarnel3 manual\"\n"
         << ".SH NAME\n" << escaped(name) << " \\- " << escaped(summary) << "\n";
    titled_ = true;
    return true;
  }

  bool heading(const char* macro, const std::string& name) {
    std::string line;
    if (!inline_(name, &line)) return false;
    out_ << macro << line << "\n";
    paragraphOpen_ = false;
    return true;
  }

  bool item(const std::string& rest) {
    out_ << ".IP \\(bu 2\n";
    paragraphOpen_ = true;
    return emit(rest);
  }

  bool text(const std::string& line) {
    if (!paragraphOpen_) out_ << ".PP\n";
    paragraphOpen_ = true;
    return emit(line.substr(line.find_first_not_of(' ')));
  }

  bool emit(const std::string& markdown) {
    std::string line;
    if (!inline_(markdown, &line)) return false;
    out_ << guarded(line) << "\n";
    return true;
  }

  bool fence() {
    inCode_ = !inCode_;
    out_ << (inCode_ ? ".PP\n.RS 4\n.nf\n" : ".fi\n.RE\n");
    paragraphOpen_ = false;
    return true;
  }

  bool codeLine(const std::string& line) {
    std::string converted;
    for (size_t i = 0; i < line.size();) {
      if (!appendCharacter(line, &i, &converted)) return false;
    }
    out_ << guarded(converted) << "\n";
    return true;
  }

  // Inline marks to font changes; their text escaped.
  bool inline_(const std::string& markdown, std::string* line) {
    for (size_t i = 0; i < markdown.size();) {
      if (markdown[i] == '[') {
        if (!link(markdown, &i, line)) return false;
        continue;
      }
      if (const Emphasis* mark = emphasisAt(markdown, i)) {
        if (!emphasis(markdown, *mark, &i, line)) return false;
        continue;
      }
      if (!appendCharacter(markdown, &i, line)) return false;
    }
    return true;
  }

  static const Emphasis* emphasisAt(const std::string& text, size_t i) {
    for (const Emphasis& e : kEmphases) {
      if (text.compare(i, e.mark.size(), e.mark) == 0) return &e;
    }
    return nullptr;
  }

  bool emphasis(const std::string& text, const Emphasis& mark, size_t* i, std::string* line) {
    const size_t start = *i + mark.mark.size();
    const size_t end = text.find(mark.mark, start);
    if (end == std::string::npos) return reject("an unclosed " + std::string(mark.mark));
    *line += mark.font;
    for (size_t j = start; j < end;) {
      if (!appendCharacter(text, &j, line)) return false;
    }
    *line += "\\fR";
    *i = end + mark.mark.size();
    return true;
  }

  // [text](target) keeps the text only.
  bool link(const std::string& text, size_t* i, std::string* line) {
    const size_t close = text.find(']', *i);
    const bool isLink = close != std::string::npos && text.compare(close, 2, "](") == 0;
    const size_t end = isLink ? text.find(')', close) : std::string::npos;
    if (end == std::string::npos) return appendCharacter(text, i, line);
    std::string inner;
    if (!inline_(text.substr(*i + 1, close - *i - 1), &inner)) return false;
    *line += inner;
    *i = end + 1;
    return true;
  }

  bool appendCharacter(const std::string& text, size_t* i, std::string* line) {
    for (const Special& s : kSpecials) {
      if (text.compare(*i, s.utf8.size(), s.utf8) == 0) {
        *line += s.roff;
        *i += s.utf8.size();
        return true;
      }
    }
    if (static_cast<unsigned char>(text[*i]) >= 0x80) return reject("a character beyond ASCII: " + text);
    *line += text[(*i)++];
    return true;
  }

  // A line starting with a control character would be read as a request.
  static std::string guarded(const std::string& line) {
    return !line.empty() && (line[0] == '.' || line[0] == '\'') ? "\\&" + line : line;
  }

  static std::string escaped(const std::string& text) {
    std::string out;
    for (char c : text) out += c == '-' ? std::string("\\-") : std::string(1, c);
    return out;
  }

  static std::string upper(std::string text) {
    for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
  }

  std::string version_;
  std::ostringstream out_;
  std::string error_;
  int lineNo_ = 0;
  bool titled_ = false;
  bool inCode_ = false;
  bool paragraphOpen_ = false;
};

}  // namespace

bool markdownToRoff(const std::string& markdown, const std::string& version, std::string* roff, std::string* error) {
  return Converter(version).run(markdown, roff, error);
}

}  // namespace kxdoc
