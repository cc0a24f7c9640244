// kxdoc: the generated parts of the documentation.
//   kxdoc reference HEADER OUTPUT   the method and event reference
//   kxdoc check HEADER FILE         fails when FILE is not what `reference` writes
//   kxdoc man MARKDOWN VERSION OUTPUT   a manual page from a markdown page
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "kxdoc_enums.h"
#include "kxdoc_reference.h"
#include "kxdoc_roff.h"

namespace {

constexpr const char* kUsage =
    "usage: kxdoc reference HEADER OUTPUT | kxdoc check HEADER FILE | kxdoc man MARKDOWN VERSION OUTPUT\n";

bool readFile(const std::string& path, std::string* text) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::ostringstream content;
  content << in.rdbuf();
  *text = content.str();
  return true;
}

bool writeFile(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary);
  out << text;
  return static_cast<bool>(out.flush());
}

int failed(const std::string& message) {
  std::fprintf(stderr, "kxdoc: %s\n", message.c_str());
  return 1;
}

bool reference(const std::string& headerPath, std::string* text, std::string* error) {
  std::string header;
  if (!readFile(headerPath, &header)) {
    *error = "cannot read " + headerPath;
    return false;
  }
  return kxdoc::writeReference(kxdoc::readEnumerations(header), text, error);
}

int writeReference(const std::string& header, const std::string& output) {
  std::string text, error;
  if (!reference(header, &text, &error)) return failed(error);
  return writeFile(output, text) ? 0 : failed("cannot write " + output);
}

int checkReference(const std::string& header, const std::string& file) {
  std::string expected, present, error;
  if (!reference(header, &expected, &error)) return failed(error);
  if (readFile(file, &present) && present == expected) return 0;
  return failed(file + " is out of date: run cmake --build build --target kxdoc_reference and commit it");
}

int writeManPage(const std::string& markdownPath, const std::string& version, const std::string& output) {
  std::string markdown, roff, error;
  if (!readFile(markdownPath, &markdown)) return failed("cannot read " + markdownPath);
  if (!kxdoc::markdownToRoff(markdown, version, &roff, &error)) return failed(markdownPath + ": " + error);
  return writeFile(output, roff) ? 0 : failed("cannot write " + output);
}

}  // namespace

int main(int argc, char** argv) {
  const std::string mode = argc > 1 ? argv[1] : "";
  if (mode == "reference" && argc == 4) return writeReference(argv[2], argv[3]);
  if (mode == "check" && argc == 4) return checkReference(argv[2], argv[3]);
  if (mode == "man" && argc == 5) return writeManPage(argv[2], argv[3], argv[4]);
  std::fputs(kUsage, stderr);
  return 2;
}
