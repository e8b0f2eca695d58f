// The selected types of a scan and the reading of size figures and prefixes.
#include "TypeSelection.h"

#include <gtest/gtest.h>

#include <limits>

using namespace quorvex;

TEST(SelectedTypes, AllTypesGivesElevenEntriesWithPrefixAndFigure)
{
    const SelectedTypes all = SelectedTypes::AllTypes("FoundFile", 20480);
    ASSERT_EQ(all.Count(), 11u);
    EXPECT_EQ(all[0].token, "JPG");
    EXPECT_EQ(all[0].prefix, "FoundFileJPG");
    EXPECT_EQ(all[10].token, "CRW");
    EXPECT_EQ(all[10].prefix, "FoundFileCRW");
    EXPECT_EQ(all[10].maxSizeKb, 20480);
}

TEST(SelectedTypes, LookupsGiveTheFirstEntryOrEmptyAndZero)
{
    const SelectedTypes selection({{"BMP", "A", 10}, {"GIF", "B", 20}, {"BMP", "C", 30}});
    EXPECT_EQ(selection.PrefixOf("BMP"), "A");
    EXPECT_EQ(selection.MaxSizeKbOf("BMP"), 10);
    EXPECT_EQ(selection.PrefixOf("GIF"), "B");
    EXPECT_EQ(selection.PrefixOf("PNG"), "");
    EXPECT_EQ(selection.MaxSizeKbOf("PNG"), 0);
    EXPECT_EQ(selection.PrefixOf("bmp"), "");  // case-sensitive
}

TEST(SelectedTypes, RefusesMoreThanFortyEntries)
{
    EXPECT_NO_THROW(SelectedTypes(std::vector<TypeSelection>(40, {"BMP", "x", 1})));
    EXPECT_THROW(SelectedTypes(std::vector<TypeSelection>(41, {"BMP", "x", 1})), std::invalid_argument);
}

TEST(LeadingDecimalNumber, ReadsAsTheSizeCellsDo)
{
    EXPECT_EQ(LeadingDecimalNumber("20480"), 20480);
    EXPECT_EQ(LeadingDecimalNumber("300abc"), 300);
    EXPECT_EQ(LeadingDecimalNumber("  42"), 42);
    for (const char* blank : {"\t", "\n", "\r", "\v", "\f", " \t\f\v"})
        EXPECT_EQ(LeadingDecimalNumber(std::string(blank) + "42"), 42) << "after blank " << int(blank[0]);
    EXPECT_EQ(LeadingDecimalNumber("+7"), 7);
    EXPECT_EQ(LeadingDecimalNumber("-5"), -5);
    EXPECT_EQ(LeadingDecimalNumber("abc"), 0);
    EXPECT_EQ(LeadingDecimalNumber(""), 0);
    EXPECT_EQ(LeadingDecimalNumber("- 5"), 0);
    EXPECT_EQ(LeadingDecimalNumber("9223372036854775807"), std::numeric_limits<std::int64_t>::max());
    EXPECT_EQ(LeadingDecimalNumber("-9223372036854775808"), std::numeric_limits<std::int64_t>::min());
    EXPECT_EQ(LeadingDecimalNumber("99999999999999999999999"), std::numeric_limits<std::int64_t>::max());
    EXPECT_EQ(LeadingDecimalNumber("-99999999999999999999999"), std::numeric_limits<std::int64_t>::min());
}

TEST(PrefixHasIllegalCharacter, RefusesPathAndShellCharactersOnly)
{
    for (char c : std::string("/\\|*:?<>'"))
        EXPECT_TRUE(PrefixHasIllegalCharacter(std::string("ab") + c)) << c;
    EXPECT_FALSE(PrefixHasIllegalCharacter("Found\"File"));
    EXPECT_FALSE(PrefixHasIllegalCharacter("holiday 2026-"));
}
