#include "host/FXString.h"

#include <gtest/gtest.h>

#include <string>

TEST(FXStringFormat, FormatsShortAndLongTexts) {
    EXPECT_EQ("job 42 of [fs1]", FXString::Format("job %d of [%s]", 42, "fs1"));
    EXPECT_EQ("", FXString::Format("%s", ""));

    // Longer than any fixed buffer a formatter might start with.
    for (size_t uLength : {511u, 512u, 513u, 4096u, 100000u}) {
        const std::string longText(uLength, 'x');
        const std::string formatted = FXString::Format("<%s>", longText.c_str());
        ASSERT_EQ(uLength + 2, formatted.size()) << uLength;
        EXPECT_EQ("<" + longText + ">", formatted);
    }
}

TEST(FXStringRemove, RemovesOneOccurrenceAtTheGivenEnd) {
    std::string text = "/mnt/mnt/share";
    FXString::RemoveLeft(text, "/mnt");
    EXPECT_EQ("/mnt/share", text);
    FXString::RemoveLeft(text, "/share");
    EXPECT_EQ("/mnt/share", text);
    FXString::RemoveLeft(text, "");
    EXPECT_EQ("/mnt/share", text);
    FXString::RemoveLeft(text, "/MNT");
    EXPECT_EQ("/mnt/share", text);

    text = "a.log.log";
    FXString::RemoveRight(text, ".log");
    EXPECT_EQ("a.log", text);
    FXString::RemoveRight(text, "a");
    EXPECT_EQ("a.log", text);
    FXString::RemoveRight(text, "longer than the text");
    EXPECT_EQ("a.log", text);
    FXString::RemoveRight(text, "a.log");
    EXPECT_EQ("", text);
}

TEST(FXStringReplaceLeftNoCase, ReplacesOnlyALeadingMatch) {
    std::string text = "/MNT/Share/dir";
    EXPECT_TRUE(FXString::ReplaceLeftNoCase(text, "/mnt/share", "/fs1/share"));
    EXPECT_EQ("/fs1/share/dir", text);

    EXPECT_FALSE(FXString::ReplaceLeftNoCase(text, "/dir", "/x"));
    EXPECT_EQ("/fs1/share/dir", text);
    EXPECT_FALSE(FXString::ReplaceLeftNoCase(text, "", "/x"));
    EXPECT_EQ("/fs1/share/dir", text);
    EXPECT_FALSE(FXString::ReplaceLeftNoCase(text, "/fs1/share/dir/more", "/x"));
    EXPECT_EQ("/fs1/share/dir", text);
}

TEST(FXStringMatchLeft, IsCaseSensitive) {
    EXPECT_TRUE(FXString::MatchLeft("/mnt/share", "/mnt"));
    EXPECT_TRUE(FXString::MatchLeft("/mnt/share", ""));
    EXPECT_TRUE(FXString::MatchLeft("/mnt", "/mnt"));
    EXPECT_FALSE(FXString::MatchLeft("/mnt/share", "/MNT"));
    EXPECT_FALSE(FXString::MatchLeft("/mn", "/mnt"));
}

TEST(FXStringCompareLeftNoCase, FoldsAsciiLettersOnly) {
    EXPECT_EQ(0, FXString::CompareLeftNoCase("ABCdef", "abc"));
    EXPECT_EQ(0, FXString::CompareLeftNoCase("abc", ""));
    EXPECT_LT(FXString::CompareLeftNoCase("abc", "abd"), 0);
    EXPECT_GT(FXString::CompareLeftNoCase("ABD", "abc"), 0);
    // A shorter text sorts first.
    EXPECT_LT(FXString::CompareLeftNoCase("ab", "abc"), 0);
    // Non-letters are compared as they are.
    EXPECT_NE(0, FXString::CompareLeftNoCase("[", "{"));
    EXPECT_NE(0, FXString::CompareLeftNoCase("\xC3\x84", "\xC3\xA4"));
}
