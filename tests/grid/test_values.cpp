// The rules below the grid's filter and sort: case folding, the filter row's wildcards, and the
// server's text forms of dates and timestamps.
#include "platform/grid/values.h"

#include <gtest/gtest.h>

using namespace qv::grid;

namespace {

struct LikeCase {
    const char* value;
    const char* typed;
    bool match;
};

// Typed text and value both folded, as the grid compares them.
TEST(FilterPattern, BeginsWithAndWildcards) {
    const LikeCase cases[] = {
        {"Ștefan Pop", "ȘTEF", true},
        {"ȘTEFAN", "ștefan", true},
        {"Ștefan", "stefan", false},          // accents are letters of their own
        {"ŢARA", "ţara", true},               // cedilla forms fold by case too
        {"ŢARA", "țara", false},              // ... and stay apart from the comma forms
        {"Ăâî", "ĂÂÎ", true},
        {"abcdef", "bcd", false},             // begins with, not contains
        {"abcdef", "%bcd", true},
        {"abcdef", "%%bcd", true},
        {"abcdef", "a%d", true},
        {"abcdef", "a%x", false},
        {"ăbc", "_bc", true},                 // "_" is one character, not one byte
        {"ăbc", "__bc", false},
        {"aXbXc", "%x%c", true},              // "%" gives back what a later part needs
        {"aab", "%ab", true},
        {"", "%", true},
        {"", "_", false},
        {"ab", "ab%", true},
    };
    for (const LikeCase& c : cases) {
        SCOPED_TRACE(std::string(c.value) + " / " + c.typed);
        EXPECT_EQ(TextPattern(folded(std::string_view(c.typed))).matches(folded(std::string_view(c.value))), c.match);
    }
}

TEST(FilterPattern, InvalidUtf8IsComparedAsBytes) {
    const std::string bad = "a\xC3(z";   // a lead byte without its continuation
    EXPECT_EQ(folded(std::string_view(bad)), bad);
    EXPECT_TRUE(likeMatch(bad, "a_(z"));
}

TEST(ServerText, TimestampsOrderAndCompareAsTheUserSeesThem) {
    const auto base = parseIsoTimestamp("2025-07-01 09:15:00");
    ASSERT_TRUE(base.has_value());
    EXPECT_EQ(*base, dayNumber(2025, 7, 1) * kMicrosPerDay + (9 * 3600 + 15 * 60) * kMicrosPerSecond);
    EXPECT_EQ(parseIsoTimestamp("2025-07-01 09:15:00.25"), *base + 250000);
    EXPECT_EQ(parseIsoTimestamp("2025-07-01 09:15:00+03"), *base);   // the session's zone, as shown
    EXPECT_LT(*parseIsoTimestamp("0044-03-15 12:00:00 BC"), *parseIsoTimestamp("0001-01-01 00:00:00"));
    EXPECT_LT(*parseIsoTimestamp("-infinity"), *base);
    EXPECT_GT(*parseIsoTimestamp("infinity"), *base);
    EXPECT_FALSE(parseIsoTimestamp("01.07.2025").has_value());
    EXPECT_EQ(parseIsoDate("1970-01-01"), 0);
    EXPECT_EQ(parseIsoDate("2000-03-01"), dayNumber(QDate(2000, 3, 1)));
    EXPECT_EQ(dateOfDayNumber(*parseIsoDate("2024-02-29")), QDate(2024, 2, 29));
}

TEST(ServerText, NumbersAcceptWhatUsersType) {
    EXPECT_EQ(parseInt64(" 9223372036854775807 "), INT64_MAX);   // 19 digits, exact
    EXPECT_FALSE(parseInt64("12a").has_value());
    EXPECT_EQ(parseDouble("10,5"), 10.5);
    EXPECT_EQ(parseDouble("+7"), 7.0);
    EXPECT_FALSE(parseDouble("").has_value());
}

}  // namespace
