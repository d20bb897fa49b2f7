#include <gtest/gtest.h>

#include <string>

#include "link/SettingsFile.h"

namespace quorvel {
namespace {

using namespace std::string_literals;

struct FieldsCase {
    const char* name;
    std::string content;
    bool ok;
    std::string port;
    std::string baud;
};

void PrintTo(const FieldsCase& c, std::ostream* os) { *os << c.name; }

class ParseSettingsFieldsTest : public ::testing::TestWithParam<FieldsCase> {};

TEST_P(ParseSettingsFieldsTest, TakesTheFirstTwoFields) {
    const FieldsCase& c = GetParam();
    std::string port = "untouched port";
    std::string baud = "untouched baud";
    EXPECT_EQ(ParseSettingsFields(c.content, port, baud), c.ok);
    EXPECT_EQ(port, c.ok ? c.port : "untouched port");
    EXPECT_EQ(baud, c.ok ? c.baud : "untouched baud");
}

const FieldsCase kCases[] = {
    {"Empty", "", false, "", ""},
    {"PortTextOnly", "COM 3", false, "", ""},
    {"PortTextAndComma", "COM 3,", false, "", ""},
    {"TheDefault", "COM 1,9600\r\n", true, "COM 1", "9600"},
    {"TwoLinesCrLf", "COM 3\r\n4800\r\n", true, "COM 3", "4800"},
    {"TwoLinesLf", "COM 3\n4800\n", true, "COM 3", "4800"},
    {"TwoLinesLoneCr", "COM 3\r4800", true, "COM 3", "4800"},
    {"CrLfIsOneSeparator", "COM 3\r\n\n4800", true, "COM 3", ""},
    {"CommaThenLineEnd", "COM 3,\r\n4800", true, "COM 3", ""},
    {"ThirdFieldIgnored", "COM 7,4800,115200\r\n", true, "COM 7", "4800"},
    {"LeadingBlanksSkipped", "   COM 7,  4800\r\n", true, "COM 7", "4800"},
    {"TrailingBlanksKept", "COM 7 ,4800 \r\n", true, "COM 7 ", "4800 "},
    {"QuotedFields", "\"COM 7\",\"4800\"\r\n", true, "COM 7", "4800"},
    {"QuotedFieldHoldsSeparators", "\"COM,\r\n7\",4800", true, "COM,\r\n7", "4800"},
    {"UnclosedQuoteInPort", "\"COM 7,4800\r\n", false, "", ""},
    {"UnclosedQuoteInBaudRunsToEnd", "COM 7,\"4800", true, "COM 7", "4800"},
    {"NulInsideField", "COM 7\0,4800\0\r\n"s, true, "COM 7\0"s, "4800\0"s},
    {"HighBytes", "\xff\xfe,\x80\x01\r\n", true, "\xff\xfe", "\x80\x01"},
};

INSTANTIATE_TEST_SUITE_P(Table, ParseSettingsFieldsTest, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace quorvel
