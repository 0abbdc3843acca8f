// The one family of errors that plim raises.  Every error carries the exact text that the
// fatal-error report or the command loop prints for it.
//
//   MessageError       an error raised with a message ("no program loaded")
//   PatternMatchFailure a case that a function has no equation for, given in coded form
//                      "Module:line|function name"
//   IoError            an input/output or user error, printed in its multi-line form
#pragma once

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

class MessageError : public PlimError {
public:
    explicit MessageError(std::string message) : PlimError(std::move(message)) {}
};

// The coded text "Matching:217|function betareduce" gives the message
// "Matching:217: Non-exhaustive patterns in function betareduce\n".
class PatternMatchFailure : public PlimError {
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

class IoError : public PlimError {
public:
    explicit IoError(IoErrorInfo info) : PlimError(printIoError(info)), info_(std::move(info)) {}
    const IoErrorInfo& info() const noexcept { return info_; }
    bool isEndOfFile() const noexcept { return info_.kind == IoErrorKind::EndOfFile; }

private:
    IoErrorInfo info_;
};

// Raises an error with a message.
[[noreturn]] void failWith(const std::string& message);
// Raises the pattern-match failure of the coded location "Module:line|function name".
[[noreturn]] void patternFail(const std::string& coded);
// Raises a user error whose reason is the given text (printed as "user error\nReason: ...").
[[noreturn]] void userError(const std::string& reason);
// Raises the input/output error that the operating system reported (errno) for a file.
[[noreturn]] void systemIoError(int errnoValue, const std::string& action, const std::string& fileName);

}  // namespace plim
