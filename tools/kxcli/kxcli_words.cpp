#include "kxcli_words.h"

#include <cctype>
#include <cstdlib>
#include <string_view>

namespace kxcli {
namespace {

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
bool isNameStart(char c) { return std::isalpha(static_cast<unsigned char>(c)) || c == '_'; }
bool escapableInDoubleQuotes(char c) { return std::string_view("$`\"\\").find(c) != std::string_view::npos; }
bool isNameChar(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; }

class Splitter {
 public:
  Splitter(const std::string& line, std::vector<Word>* words) : line_(line), words_(words) {}

  bool run(std::string* error) {
    while (pos_ < line_.size()) {
      const char c = line_[pos_];
      if (isBlank(c)) {
        finishWord();
        ++pos_;
      } else if (c == '#' && !inWord_) {
        break;
      } else if (c == '\'') {
        if (!singleQuoted(error)) return false;
      } else if (c == '"') {
        if (!doubleQuoted(error)) return false;
      } else if (c == '\\') {
        if (pos_ + 1 >= line_.size()) return fail(error, "a backslash ends the line");
        quoted();
        current_.text += line_[pos_ + 1];
        pos_ += 2;
      } else if (c == '$') {
        expand(false);
      } else {
        start();
        current_.text += c;
        ++pos_;
      }
    }
    finishWord();
    return true;
  }

 private:
  static bool fail(std::string* error, const char* reason) {
    if (error) *error = reason;
    return false;
  }

  void start() { inWord_ = true; }
  void quoted() {
    start();
    current_.bare = false;
    keep_ = true;  // quotes make a word even when empty
  }

  void finishWord() {
    if (inWord_ && (keep_ || !current_.text.empty())) words_->push_back(current_);
    current_ = Word{};
    inWord_ = false;
    keep_ = false;
  }

  bool singleQuoted(std::string* error) {
    quoted();
    const size_t end = line_.find('\'', pos_ + 1);
    if (end == std::string::npos) return fail(error, "unterminated single quote");
    current_.text.append(line_, pos_ + 1, end - pos_ - 1);
    pos_ = end + 1;
    return true;
  }

  bool doubleQuoted(std::string* error) {
    quoted();
    ++pos_;
    while (pos_ < line_.size() && line_[pos_] != '"') {
      const char c = line_[pos_];
      if (c == '\\' && pos_ + 1 < line_.size() && escapableInDoubleQuotes(line_[pos_ + 1])) {
        current_.text += line_[pos_ + 1];
        pos_ += 2;
      } else if (c == '$') {
        expand(true);
      } else {
        current_.text += c;
        ++pos_;
      }
    }
    if (pos_ >= line_.size()) return fail(error, "unterminated double quote");
    ++pos_;
    return true;
  }

  // $NAME or ${NAME} from the environment; a lone $ stays itself.
  void expand(bool inQuotes) {
    start();
    size_t nameStart = pos_ + 1;
    size_t nameEnd = nameStart;
    size_t after = nameStart;
    if (nameStart < line_.size() && line_[nameStart] == '{') {
      const size_t close = line_.find('}', nameStart + 1);
      if (close != std::string::npos) {
        nameEnd = close;
        after = close + 1;
        ++nameStart;
      }
    } else if (nameStart < line_.size() && isNameStart(line_[nameStart])) {
      while (nameEnd < line_.size() && isNameChar(line_[nameEnd])) ++nameEnd;
      after = nameEnd;
    }
    if (nameEnd == nameStart) {
      current_.text += '$';
      ++pos_;
      return;
    }
    current_.bare = false;
    if (inQuotes) keep_ = true;
    const char* value = std::getenv(line_.substr(nameStart, nameEnd - nameStart).c_str());
    if (value) current_.text += value;
    pos_ = after;
  }

  const std::string& line_;
  std::vector<Word>* words_;
  size_t pos_ = 0;
  Word current_;
  bool inWord_ = false;
  bool keep_ = false;
};

}  // namespace

bool splitWords(const std::string& line, std::vector<Word>* words, std::string* error) {
  words->clear();
  return Splitter(line, words).run(error);
}

}  // namespace kxcli
