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
    {"OnlyBlanks", "   \t ", false, "", ""},
    {"PortTextOnly", "COM 3", false, "", ""},
    {"PortTextOnlyWithLineEnd", "COM 3\r\n", false, "", ""},
    {"PortTextAndComma", "COM 3,", false, "", ""},
    {"PortTextCommaBlanks", "COM 3,   ", false, "", ""},
    {"LineEndAlone", "\r\n", false, "", ""},
    {"CommaAlone", ",", false, "", ""},
    {"TheDefault", "COM 1,9600\r\n", true, "COM 1", "9600"},
    {"NoFinalLineEnd", "COM 1,9600", true, "COM 1", "9600"},
    {"TwoLinesCrLf", "COM 3\r\n4800\r\n", true, "COM 3", "4800"},
    {"TwoLinesLf", "COM 3\n4800\n", true, "COM 3", "4800"},
    {"TwoLinesLoneCr", "COM 3\r4800", true, "COM 3", "4800"},
    {"CrLfIsOneSeparator", "COM 3\r\n\n4800", true, "COM 3", ""},
    {"LfCrIsTwoSeparators", "COM 3\n\r4800", true, "COM 3", ""},
    {"CommaThenLineEnd", "COM 3,\r\n4800", true, "COM 3", ""},
    {"TwoEmptyLines", "\r\n\r\n", true, "", ""},
    {"ThirdFieldIgnored", "COM 7,4800,115200\r\n", true, "COM 7", "4800"},
    {"FurtherLinesIgnored", "COM 7,4800\r\nCOM 9,1200\r\ngarbage", true, "COM 7", "4800"},
    {"LeadingBlanksSkipped", "   COM 7,  4800\r\n", true, "COM 7", "4800"},
    {"LeadingTabsSkipped", "\tCOM 7,\t 4800", true, "COM 7", "4800"},
    {"TrailingBlanksKept", "COM 7 ,4800 \r\n", true, "COM 7 ", "4800 "},
    {"QuotedFields", "\"COM 7\",\"4800\"\r\n", true, "COM 7", "4800"},
    {"QuotedFieldHoldsSeparators", "\"COM,\r\n7\",4800", true, "COM,\r\n7", "4800"},
    {"AfterClosingQuoteIgnored", "\"COM 7\" junk,\"4800\"x\r\n", true, "COM 7", "4800"},
    {"BlanksBeforeQuote", "  \"COM 7\",4800", true, "COM 7", "4800"},
    {"QuoteInsideIsPlain", "COM \"7\",4800", true, "COM \"7\"", "4800"},
    {"EmptyQuotes", "\"\",\"\"", true, "", ""},
    {"UnclosedQuoteInPort", "\"COM 7,4800\r\n", false, "", ""},
    {"UnclosedQuoteInBaudRunsToEnd", "COM 7,\"4800", true, "COM 7", "4800"},
    {"NulInsideField", "COM 7\0,4800\0\r\n"s, true, "COM 7\0"s, "4800\0"s},
    {"NulsOnly", std::string(1000, '\0'), false, "", ""},
    {"HighBytes", "\xff\xfe,\x80\x01\r\n", true, "\xff\xfe", "\x80\x01"},
};

INSTANTIATE_TEST_SUITE_P(Table, ParseSettingsFieldsTest, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ParseSettingsFieldsLarge, TenMegabytesWithoutSeparatorFails) {
    std::string port;
    std::string baud;
    EXPECT_FALSE(ParseSettingsFields(std::string(10 << 20, 'A'), port, baud));
}

TEST(ParseSettingsFieldsLarge, TenMegabytesOfBinaryNeverCrashes) {
    std::string content(10 << 20, '\0');
    unsigned state = 12345;
    for (char& c : content) {
        state = state * 1103515245u + 12345u;
        c = static_cast<char>(state >> 24);
    }
    std::string port;
    std::string baud;
    // Random bytes hold commas and line ends early on, so two fields are found.
    EXPECT_TRUE(ParseSettingsFields(content, port, baud));
    EXPECT_LT(port.size() + baud.size(), content.size());
}

}  // namespace
}  // namespace quorvel
