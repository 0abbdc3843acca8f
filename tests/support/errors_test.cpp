#include "support/errors.h"

#include <gtest/gtest.h>

namespace plim {
namespace {

TEST(Errors, PatternMatchFailureMessage) {
    PatternMatchFailure e("Matching:217|function betareduce");
    EXPECT_EQ(e.message(), "Matching:217: Non-exhaustive patterns in function betareduce\n");
}

TEST(Errors, UserAndInternalErrorsAreDifferentKinds) {
    // A user error keeps its text for the fatal report and is reported in the command loop as
    // a user error; an internal error is no user error at all.
    try {
        failUser("no program loaded");
        ADD_FAILURE();
    } catch (const UserError& e) {
        EXPECT_EQ(e.message(), "no program loaded");
        EXPECT_EQ(e.commandReport(), "user error\nReason: no program loaded");
    }
    try {
        failInternal("internal error: head of an empty list");
        ADD_FAILURE();
    } catch (const UserError&) {
        ADD_FAILURE();
    } catch (const InternalError& e) {
        EXPECT_EQ(e.message(), "internal error: head of an empty list");
    }
    try {
        patternFail(CodedFailure::BetaReduceLet);
        ADD_FAILURE();
    } catch (const InternalError& e) {
        EXPECT_EQ(e.message(), "Matching:217: Non-exhaustive patterns in function betareduce\n");
    }
    try {
        userError("expression has free variables");
        ADD_FAILURE();
    } catch (const UserError& e) {
        EXPECT_EQ(e.commandReport(), e.message());  // an input/output error prints as it is
    }
}

TEST(Errors, IoErrorPrintedForm) {
    IoErrorInfo missing;
    missing.kind = IoErrorKind::DoesNotExist;
    missing.action = "openFile";
    missing.reason = "No such file or directory";
    missing.fileName = "prog.p";
    EXPECT_EQ(printIoError(missing),
              "does not exist\nAction: openFile\nReason: No such file or directory\nFile: prog.p");

    IoErrorInfo eof;
    eof.kind = IoErrorKind::EndOfFile;
    eof.handle = "<stdin>";
    EXPECT_EQ(printIoError(eof), "end of file\nHandle: <stdin>");

    try {
        userError("expression has free variables");
    } catch (const IoError& e) {
        EXPECT_EQ(e.message(), "user error\nReason: expression has free variables");
        EXPECT_FALSE(e.isEndOfFile());
    }
}

TEST(Errors, SystemErrorFromErrno) {
    try {
        systemIoError(ENOENT, "openFile", "x.eq");
    } catch (const IoError& e) {
        EXPECT_EQ(e.info().kind, IoErrorKind::DoesNotExist);
        EXPECT_EQ(e.message().rfind("does not exist\nAction: openFile\nReason: ", 0), 0u);
    }
}

}  // namespace
}  // namespace plim
