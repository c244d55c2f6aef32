#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "error.hpp"
#include "text/list_form.hpp"

namespace vexal {
namespace {

TEST(VexalError, DisplayTexts) {
  EXPECT_EQ(VexalError::invalid_input("window must be non-zero").display(),
            "Invalid input: window must be non-zero");
  EXPECT_EQ(VexalError::invalid_config("features must not be empty").display(),
            "Invalid configuration: features must not be empty");
  EXPECT_EQ(VexalError::cyclic_dependency().display(), "Cyclic dependency detected among features");
  EXPECT_EQ(VexalError::duplicate_output_key("sma", 0, 2).display(),
            "Duplicate output key 'sma': produced by index 0 and 2");
  EXPECT_EQ(VexalError::duplicate_output_key("x", 12345678901, 7).display(),
            "Duplicate output key 'x': produced by index 12345678901 and 7");
  EXPECT_EQ(VexalError::missing_input_column({"close", "high"}).display(),
            R"(Missing input column(s): ["close", "high"])");
  EXPECT_EQ(VexalError::missing_input_column({}).display(), "Missing input column(s): []");
}

TEST(VexalError, KeyIsInsertedUnchangedWhileListNamesAreEscaped) {
  EXPECT_EQ(VexalError::duplicate_output_key("a\"b", 1, 3).display(),
            "Duplicate output key 'a\"b': produced by index 1 and 3");
  EXPECT_EQ(VexalError::missing_input_column({"a\"b"}).display(), R"(Missing input column(s): ["a\"b"])");
}

TEST(VexalError, DebugFormNamesTheVariant) {
  EXPECT_EQ(VexalError::invalid_input("x").debug(), R"(InvalidInput { msg: "x" })");
  EXPECT_EQ(VexalError::cyclic_dependency().debug(), "CyclicDependency");
  EXPECT_TRUE(VexalError::cyclic_dependency().is<VexalError::CyclicDependency>());
}

struct EscapeCase {
  std::string name;
  std::string shown;
};

class ListFormEscapes : public ::testing::TestWithParam<EscapeCase> {};

TEST_P(ListFormEscapes, QuotesAndEscapes) { EXPECT_EQ(quoted_name(GetParam().name), GetParam().shown); }

INSTANTIATE_TEST_SUITE_P(
    Names, ListFormEscapes,
    ::testing::Values(EscapeCase{"close", "\"close\""}, EscapeCase{"", "\"\""},
                      EscapeCase{"a\"b", R"("a\"b")"}, EscapeCase{"a\\b", R"("a\\b")"},
                      EscapeCase{"\t\r\n", R"("\t\r\n")"}, EscapeCase{std::string("a\0b", 3), R"("a\0b")"},
                      EscapeCase{"it's", R"("it's")"}, EscapeCase{"\x01\x1f\x7f", R"("\u{1}\u{1f}\u{7f}")"},
                      EscapeCase{"e\xcc\x81", R"("e\u{301}")"},                  // combining acute accent
                      EscapeCase{"\xcc\x81", R"("\u{301}")"},                    // a mark at the start
                      EscapeCase{"\xc2\xa0", R"("\u{a0}")"},                     // no-break space (Zs)
                      EscapeCase{"a b", "\"a b\""},                              // U+0020 is printable
                      EscapeCase{"\xe2\x80\xa8", R"("\u{2028}")"},               // line separator (Zl)
                      EscapeCase{"\xe2\x80\x8b", R"("\u{200b}")"},               // zero-width space (Cf)
                      EscapeCase{"\xef\xbb\xbf", R"("\u{feff}")"},               // byte order mark (Cf)
                      EscapeCase{"\xee\x80\x80", R"("\u{e000}")"},               // private use (Co)
                      EscapeCase{"\xf4\x8f\xbf\xbf", R"("\u{10ffff}")"},         // unassigned (Cn)
                      EscapeCase{"\xe2\x80\x8d", R"("\u{200d}")"},               // zero-width joiner
                      EscapeCase{"\xf0\x9f\x98\x80", "\"\xf0\x9f\x98\x80\""},    // emoji shown as is
                      EscapeCase{"\xc3\xa9t\xc3\xa9", "\"\xc3\xa9t\xc3\xa9\""},  // precomposed letters
                      EscapeCase{"\xe6\x97\xa5\xe6\x9c\xac", "\"\xe6\x97\xa5\xe6\x9c\xac\""}));

TEST(ListForm, JoinsWithCommaAndBlank) {
  const std::vector<std::string> names = {"close", "a\"b", "x"};
  EXPECT_EQ(list_form(names), R"(["close", "a\"b", "x"])");
  EXPECT_EQ(list_form(std::vector<std::string>{}), "[]");
}

TEST(ListForm, TableAgreesWithKnownCategories) {
  EXPECT_FALSE(is_nonprintable(U'A'));
  EXPECT_FALSE(is_nonprintable(U' '));
  EXPECT_TRUE(is_nonprintable(0x3000));   // ideographic space
  EXPECT_TRUE(is_nonprintable(0xD800));   // surrogate
  EXPECT_TRUE(is_nonprintable(0xE0100));  // variation selector: grapheme extend
  EXPECT_FALSE(is_nonprintable(0x4E00));  // CJK ideograph range
  EXPECT_TRUE(is_nonprintable(0x0378));   // unassigned in Greek block
}

}  // namespace
}  // namespace vexal
