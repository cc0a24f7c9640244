// Script lines split into words as a POSIX shell splits them: blanks separate
// words; 'single quotes' keep everything; "double quotes" keep blanks and
// expand $NAME and ${NAME}; a backslash escapes the next character (in
// double quotes only before $ ` " \); an unquoted # at the start of a word
// begins a comment. An unquoted expansion that comes out empty leaves no word.
#pragma once

#include <string>
#include <vector>

namespace kxcli {

struct Word {
  std::string text;
  // Written without quotes, escapes or expansions: the bare word `null`
  // passes a null text.
  bool bare = true;
};

// False (with the reason) for an unterminated quote or a backslash at the end.
bool splitWords(const std::string& line, std::vector<Word>* words, std::string* error);

}  // namespace kxcli
