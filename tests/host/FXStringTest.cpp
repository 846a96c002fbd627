#include "host/FXString.h"

#include <gtest/gtest.h>

#include <string>

TEST(FXString, FormatsTextsLongerThanAnyFirstBuffer) {
    EXPECT_EQ("job 42 of [fs1]", FXString::Format("job %d of [%s]", 42, "fs1"));
    for (size_t uLength : {0u, 511u, 512u, 513u, 100000u}) {
        const std::string text(uLength, 'x');
        EXPECT_EQ("<" + text + ">", FXString::Format("<%s>", text.c_str())) << uLength;
    }
}

// One helper on one text: what the text becomes (null: unchanged) and what the
// helper answers (Remove*: 0; CompareLeftNoCase: the sign).
struct EditCase {
    char cHelper;
    std::string strText, strPart;
    const char* szAfter;
    int nAnswer;
};

const EditCase kEdits[] = {
    {'L', "/mnt/mnt/share", "/mnt", "/mnt/share", 0}, {'L', "/mnt/share", "/share", nullptr, 0},
    {'L', "/mnt/share", "", nullptr, 0},              {'L', "/mnt/share", "/MNT", nullptr, 0},
    {'R', "a.log.log", ".log", "a.log", 0},           {'R', "a.log", "a", nullptr, 0},
    {'R', "a.log", "longer than the text", nullptr, 0}, {'R', "a.log", "a.log", "", 0},
    {'P', "/MNT/Share/dir", "/mnt/share", "/fs1/share/dir", 1}, {'P', "/mnt/share/dir", "/dir", nullptr, 0},
    {'P', "/mnt/share", "", nullptr, 0},              {'P', "/mnt/share", "/mnt/share/more", nullptr, 0},
    {'M', "/mnt/share", "/mnt", nullptr, 1},          {'M', "/mnt/share", "", nullptr, 1},
    {'M', "/mnt", "/mnt", nullptr, 1},                {'M', "/mnt/share", "/MNT", nullptr, 0},
    {'M', "/mn", "/mnt", nullptr, 0},                 {'C', "ABCdef", "abc", nullptr, 0},
    {'C', "abc", "", nullptr, 0},                     {'C', "abc", "abd", nullptr, -1},
    {'C', "ABD", "abc", nullptr, 1},                  {'C', "ab", "abc", nullptr, -1},
    {'C', "[", "{", nullptr, -1},                     {'C', "\xC3\x84", "\xC3\xA4", nullptr, -1},
    {'C', "/mnt/share/Dir", "/mnt/share/dir", nullptr, 0}, {'C', "ABCDEFGH", "abcdefgz", nullptr, -1},
};

int Apply(char cHelper, std::string& text, const std::string& part) {
    switch (cHelper) {
        case 'L': FXString::RemoveLeft(text, part); return 0;
        case 'R': FXString::RemoveRight(text, part); return 0;
        case 'P': return FXString::ReplaceLeftNoCase(text, part, "/fs1/share");
        case 'M': return FXString::MatchLeft(text, part);
        default: {
            const int nOrder = FXString::CompareLeftNoCase(text, part);
            return (nOrder > 0) - (nOrder < 0);
        }
    }
}

TEST(FXString, EditsAndComparesOnlyAtTheGivenEnd) {
    for (const EditCase& row : kEdits) {
        SCOPED_TRACE(std::string(1, row.cHelper) + " [" + row.strText + "] [" + row.strPart + "]");
        std::string text = row.strText;
        EXPECT_EQ(row.nAnswer, Apply(row.cHelper, text, row.strPart));
        EXPECT_EQ(row.szAfter ? row.szAfter : row.strText, text);
    }
}
