// The one family of errors that plim raises.  Every error carries the exact text that the
// fatal-error report prints for it after "Fail: ".
//
//   PlimError                  the base of the family
//     UserError                an error that the user's input provoked: inside a command the
//                              command loop prints commandReport() and goes on with the state
//                              from before the command
//       InputError             raised with a message ("no program loaded"), reported as
//                              "user error\nReason: " and the message
//       IoError                an input/output error, reported in its multi-line form
//     InternalError            a condition that cannot arise in a correct run: it ends the
//                              program with the fatal-error report
//       PatternMatchFailure    a case that a function has no equation for, given in coded form
//                              "Module:line|function name"
//
// No error is caught to stand for an ordinary answer: a function that may have no answer
// returns an optional.
#pragma once

#include "support/coded_failures.h"

#include <optional>
#include <stdexcept>
#include <string>

namespace plim {

// Base of the family: message() is the text printed after "Fail: ".
class PlimError : public std::exception {
public:
    explicit PlimError(std::string message) : message_(std::move(message)) {}
    const std::string& message() const noexcept { return message_; }
    const char* what() const noexcept override { return message_.c_str(); }

private:
    std::string message_;
};

class UserError : public PlimError {
public:
    using PlimError::PlimError;
    // The text that the command loop prints for the error.
    virtual std::string commandReport() const = 0;
};

class InputError : public UserError {
public:
    using UserError::UserError;
    std::string commandReport() const override;
};

class InternalError : public PlimError {
public:
    using PlimError::PlimError;
};

// The coded text "Matching:217|function betareduce" gives the message
// "Matching:217: Non-exhaustive patterns in function betareduce\n".
class PatternMatchFailure : public InternalError {
public:
    explicit PatternMatchFailure(const std::string& coded);
    const std::string& coded() const noexcept { return coded_; }

private:
    std::string coded_;
};

// The kinds of input/output error, each printed as its own text.
enum class IoErrorKind {
    AlreadyExists,
    DoesNotExist,
    ResourceBusy,
    ResourceExhausted,
    EndOfFile,
    IllegalOperation,
    PermissionDenied,
    UserError,
    Other,
};

const char* ioErrorKindText(IoErrorKind kind);

struct IoErrorInfo {
    IoErrorKind kind = IoErrorKind::UserError;
    std::string action;                   // printed only when not empty
    std::optional<std::string> handle;    // printed when present
    std::string reason;                   // printed only when not empty
    std::optional<std::string> fileName;  // printed when present
};

// The printed form: the kind's text, then "\nAction: ", "\nHandle: ", "\nReason: " and
// "\nFile: " lines for the parts that are present, in that order.
std::string printIoError(const IoErrorInfo& info);

class IoError : public UserError {
public:
    explicit IoError(IoErrorInfo info) : UserError(printIoError(info)), info_(std::move(info)) {}
    std::string commandReport() const override { return message(); }
    const IoErrorInfo& info() const noexcept { return info_; }
    bool isEndOfFile() const noexcept { return info_.kind == IoErrorKind::EndOfFile; }

private:
    IoErrorInfo info_;
};

// A write to the standard output that failed.  The transcript is lost from there on, so no
// part of the program handles it (it is no PlimError): it ends the run, and main reports its
// printed form on the standard error.
class OutputError : public std::exception {
public:
    explicit OutputError(IoErrorInfo info) : message_(printIoError(info)) {}
    const std::string& message() const noexcept { return message_; }
    const char* what() const noexcept override { return message_.c_str(); }

private:
    std::string message_;
};

// Raises the user error of the message: something the user asked cannot be done.
[[noreturn]] void failUser(const std::string& message);
// Raises the internal error of the message.
[[noreturn]] void failInternal(const std::string& message);
// Raises the pattern-match failure of the coded location in the table of coded failures.
[[noreturn]] void patternFail(CodedFailure which);
// Raises a user error whose reason is the given text (printed as "user error\nReason: ...").
[[noreturn]] void userError(const std::string& reason);
// Raises the output error of a failed `action` ("hPutStr", "hFlush") on the standard output.
[[noreturn]] void outputFailure(int errnoValue, const std::string& action);
// Raises the input/output error that the operating system reported (errno) for a file.
[[noreturn]] void systemIoError(int errnoValue, const std::string& action, const std::string& fileName);

}  // namespace plim
