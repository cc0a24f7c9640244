// A manual page from a markdown page of the subset the docs use: a "# name -
// summary" title, "##" sections, "###" subsections, paragraphs, bullet lists
// ("- ", continued by indented lines), fenced code blocks and inline `code`,
// **bold**, *italic* and [links](target). Anything else (tables, numbered
// lists, other characters beyond ASCII than a few dashes and arrows) is an
// error, so that the page stays renderable.
#pragma once

#include <string>

namespace kxdoc {

// The page in man(7) form, section 1; false with the reason and line number
// in *error when the markdown leaves the subset.
bool markdownToRoff(const std::string& markdown, const std::string& version, std::string* roff, std::string* error);

}  // namespace kxdoc
