#include "host/FXString.h"

#include <gtest/gtest.h>

#include <string>

TEST(FXString, FormatsTextsLongerThanAnyFirstBuffer) {
    for (size_t uLength : {0u, 511u, 512u, 513u, 100000u}) {
        const std::string text(uLength, 'x');
        EXPECT_EQ("<" + text + ">", FXString::Format("<%s>", text.c_str())) << uLength;
    }
}

// One helper on one text: what the text becomes (null: unchanged) and what the
// helper answers (RemoveLeft: 0; CompareLeftNoCase: the sign). RemoveRight and
// ReplaceLeftNoCase have no caller.
const struct {
    char cHelper;
    std::string strText, strPart;
    const char* szAfter;
    int nAnswer;
} kEdits[] = {
    {'L', "/mnt/mnt/share", "/mnt", "/mnt/share", 0},
    {'L', "/mnt/share", "/share", nullptr, 0},
    {'L', "/mnt/share", "/MNT", nullptr, 0},
    {'M', "/mnt/share", "/mnt", nullptr, 1},
    {'M', "/mnt/share", "", nullptr, 1},
    {'M', "/mnt", "/mnt", nullptr, 1},
    {'M', "/mnt/share", "/MNT", nullptr, 0},
    {'M', "/mn", "/mnt", nullptr, 0},
    {'C', "ABCdef", "abc", nullptr, 0},
    {'C', "abc", "", nullptr, 0},
    {'C', "abc", "abd", nullptr, -1},
    {'C', "ABD", "abc", nullptr, 1},
    {'C', "ab", "abc", nullptr, -1},
    {'C', "[", "{", nullptr, -1},
    {'C', "\xC3\x84", "\xC3\xA4", nullptr, -1},
};

TEST(FXString, EditsAndComparesOnlyAtTheGivenEnd) {
    for (const auto& row : kEdits) {
        SCOPED_TRACE(std::string(1, row.cHelper) + " [" + row.strText + "] [" + row.strPart + "]");
        std::string text = row.strText;
        const int nOrder = row.cHelper == 'C' ? FXString::CompareLeftNoCase(text, row.strPart) : 0;
        if (row.cHelper == 'L') FXString::RemoveLeft(text, row.strPart);
        EXPECT_EQ(row.nAnswer,
                  row.cHelper == 'M' ? FXString::MatchLeft(text, row.strPart) : (nOrder > 0) - (nOrder < 0));
        EXPECT_EQ(row.szAfter ? row.szAfter : row.strText, text);
    }
}
