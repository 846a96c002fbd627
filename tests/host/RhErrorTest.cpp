#include "host/RhError.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "host/ErrorCategory.h"

namespace {

// Fixed places, so the expected texts do not follow this file's layout.
const FXCodeLocation kInner{"Inner.cpp", "int Open()", 10};
const FXCodeLocation kOuter{"Outer.cpp", "void Scan()", 20};

CRhError Failure() {
    return FXErrorUtil::ErrorWin32(kInner, ERROR_INSTALL_FAILURE_CODE, "cannot open [%s]", "/mnt/a");
}

struct ChainCase {
    const char* szName;
    std::function<CRhError()> fnMake;
    unsigned int uCode;  // 0: not an error
    std::string strMessage, strPlain, strVerbose;
};

const std::string kOpen = "cannot open [/mnt/a]";
const std::string kOpenVerbose = "Inner.cpp:10 int Open(): error 1627 (0x65B): ";
const ChainCase kChains[] = {
    {"push and text on success", [] { return CRhError::Success().Push(kOuter, "passing") << "note"; }, 0,
     "passing note", "Success", "Success"},
    {"int", [] { return FXErrorUtil::ErrorInt(kInner, -5, "errno %d", 5); }, 4294967291u, "errno 5",
     "errno 5 [error 4294967291 (0xFFFFFFFB)]",
     "Inner.cpp:10 int Open(): error 4294967291 (0xFFFFFFFB): errno 5"},
    {"location pushed through a copy",
     [] {
         CRhError error = Failure();
         CRhError(error).Push(kOuter);
         return error;
     },
     1627, kOpen, kOpen + " [error 1627 (0x65B)] <- void Scan()",
     kOpenVerbose + kOpen + "\nOuter.cpp:20 void Scan()"},
    {"texts on both entries",
     [] {
         CRhError error = Failure();
         error << "path" << std::string("share1");
         error.Push(kOuter, "share [%s] of %u", "docs", 7u) << "outer";
         return error;
     },
     1627, kOpen + " path share1",
     kOpen + " path share1 [error 1627 (0x65B)] <- void Scan(): share [docs] of 7 outer",
     kOpenVerbose + kOpen + " path share1\nOuter.cpp:20 void Scan(): share [docs] of 7 outer"},
    {"null text", [] { return Failure() << static_cast<const char*>(nullptr) << "after"; }, 1627,
     kOpen + "  after", kOpen + "  after [error 1627 (0x65B)]", kOpenVerbose + kOpen + "  after"},
};

}  // namespace

TEST(RhError, ChainReportsItsInnermostCauseAndEveryLayer) {
    for (const ChainCase& row : kChains) {
        SCOPED_TRACE(row.szName);
        const CRhError error = row.fnMake();
        EXPECT_EQ(row.uCode != 0, error.IsError());
        EXPECT_EQ(row.uCode, error.GetCode());
        EXPECT_EQ(row.strMessage, error.GetMessage());
        EXPECT_EQ(row.strPlain, error.AsString());
        EXPECT_EQ(row.strVerbose, error.AsString(eErrorOutputVerbose));
    }
}

TEST(RhError, RegressionLocationTextsOutliveTheModuleThatMadeThem) {
    std::string file = "Plugin.cpp", function = "void Plugin()";
    const CRhError error = CRhError::Make({file.c_str(), function.c_str(), 5}, -1, 1, "gone");
    file.assign(file.size(), 'x');
    function.assign(function.size(), 'x');
    EXPECT_EQ("Plugin.cpp:5 void Plugin(): error 1 (0x1): gone", error.AsString(eErrorOutputVerbose));
}

// The category rests on the texts the kit lists as stable, in the REST
// client's messages only; the innermost HTTP status decides.
TEST(RhError, ClassificationTellsTheCausesAHostActsOnApart) {
    const struct {
        const char *szText, *szName;
        EErrorCategory eCategory;
    } kCases[] = {
        {"", "none", eCategoryNone},
        {"get_mount_target failed: HTTP 401: no", "authentication", eCategoryAuthentication},
        {"get_mount_target failed: u: SSL: no alternative certificate subject name matches", "certificate",
         eCategoryCertificate},
        {"get_mount_target failed: u: Could not resolve host: fs9", "unreachable", eCategoryUnreachable},
        {"[get_mount_target failed: HTTP 404] <- get_mount_target failed: HTTP 500", "not found",
         eCategoryNotFound},
        {"create_partner_server failed: HTTP 409: exists", "refused", eCategoryRefused},
        {"get_mount_target failed: HTTP 500: internal", "other", eCategoryOther},
        {"get_mount_target failed: HTTP 4011, HTTP 401", "other", eCategoryOther},
        {"open [/Could not resolve host: a/b failed: HTTP 401/get_mount_target failed: HTTP 404]", "other",
         eCategoryOther},
    };
    for (const auto& row : kCases) {
        SCOPED_TRACE(row.szText);
        EXPECT_EQ(row.eCategory, ClassifyError(std::string(row.szText)));
        EXPECT_STREQ(row.szName, ErrorCategoryName(row.eCategory));
        const CRhError chain = FXErrorUtil::ErrorWin32(kInner, 1627, "%s", row.szText).Push(kOuter);
        EXPECT_EQ(row.eCategory == eCategoryNone ? eCategoryOther : row.eCategory, ClassifyError(chain));
    }
    EXPECT_EQ(eCategoryNone, ClassifyError(CRhError::Success()));
}
