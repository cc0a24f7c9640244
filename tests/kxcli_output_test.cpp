// kxcli's output values: numbers that read back exactly, dates rounded to the
// second, JSON strings, null for what has no value, and the text format's
// columns.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <random>

#include "kxcli_output.h"

namespace {

using kxcli::Value;

TEST(KxcliOutput, NumbersAreTheShortestTextThatReadsBackTheSameDouble) {
  struct Case {
    double value;
    const char* text;
  } cases[] = {
      {0, "0"},
      {-0.0, "-0"},
      {1.5, "1.5"},
      {100000, "100000"},
      {-250.49, "-250.49"},
      {0.1 + 0.2, "0.30000000000000004"},
      {160.20999999999998, "160.20999999999998"},
      {123456789012, "123456789012"},
      {1e20, "100000000000000000000"},
      {1e21, "1e+21"},
      {1.5e300, "1.5e+300"},
      {0.000001, "0.000001"},
      {1e-7, "1e-7"},
      {-2.5e-10, "-2.5e-10"},
      {std::numeric_limits<double>::denorm_min(), "5e-324"},
      {std::numeric_limits<double>::max(), "1.7976931348623157e+308"},
  };
  for (const Case& c : cases) EXPECT_EQ(kxcli::formatNumber(c.value), c.text);

  std::mt19937_64 random(7);
  for (int i = 0; i < 100000; ++i) {
    uint64_t bits = random();
    double value;
    std::memcpy(&value, &bits, sizeof value);
    if (!std::isfinite(value)) continue;
    const std::string text = kxcli::formatNumber(value);
    ASSERT_EQ(std::strtod(text.c_str(), nullptr), value) << text;
  }
}

TEST(KxcliOutput, ValuesWithoutAnAnswerPrintAsNull) {
  const kxcli::Line line = {{"event", Value::text("E")},
                            {"nan", Value::number(std::nan(""))},
                            {"inf", Value::number(-INFINITY)},
                            {"text", Value::null()},
                            {"date", Value::date(std::nan(""))},
                            {"far", Value::date(1e9)}};
  EXPECT_EQ(kxcli::toJson(line), R"({"event":"E","nan":null,"inf":null,"text":null,"date":null,"far":null})");
}

TEST(KxcliOutput, DatesPrintRoundedToTheNearestSecond) {
  const double second = 1.0 / 86400;
  struct Case {
    double date;
    const char* text;
  } cases[] = {
      {0, "1899-12-30T00:00:00"},
      {40968.43767361, "2012-02-29T10:30:15"},
      {40968 + 86399.6 * second, "2012-03-01T00:00:00"},
      {-1.25, "1899-12-29T06:00:00"},
      {2958465.99999, "9999-12-31T23:59:59"},
  };
  for (const Case& c : cases) EXPECT_EQ(kxcli::formatDate(c.date), c.text) << c.date;
}

TEST(KxcliOutput, JsonLinesKeepOrderTypesAndEscapes) {
  const kxcli::Line line = {{"call", Value::text("X")},
                            {"hresult", Value::integer(-2147467259)},
                            {"flag", Value::boolean(true)},
                            {"text", Value::text("a\"b\\c\n\t\x01 Сбер")},
                            {"when", Value::date(0)},
                            {"result", Value::integers({3, 0, 137, 4293})}};
  EXPECT_EQ(kxcli::toJson(line),
            R"({"call":"X","hresult":-2147467259,"flag":true,"text":"a\"b\\c\n\t\u0001 Сбер",)"
            R"("when":"1899-12-30T00:00:00","result":[3,0,137,4293]})");
}

TEST(KxcliOutput, TextLinesFallIntoColumnsPerKindOfLine) {
  std::FILE* out = std::tmpfile();
  kxcli::Printer printer(kxcli::Format::kText, out);
  printer.print({{"event", Value::text("AddTick")}, {"symbol", Value::text("SBERBANK")}, {"price", Value::number(1)}});
  printer.print({{"event", Value::text("AddTick")}, {"symbol", Value::text("Сбер")}, {"price", Value::number(2.5)}});
  printer.print({{"event", Value::text("AVeryLongEventName")}, {"reason", Value::null()}});
  printer.close();
  printer.print({{"event", Value::text("Late")}});
  std::rewind(out);
  char buffer[512] = {};
  const size_t n = std::fread(buffer, 1, sizeof buffer - 1, out);
  std::fclose(out);
  EXPECT_EQ(std::string(buffer, n),
            "AddTick         symbol=SBERBANK  price=1\n"
            "AddTick         symbol=Сбер      price=2.5\n"
            "AVeryLongEventName  reason=null\n");
}

}  // namespace
