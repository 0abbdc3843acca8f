#include "support/errors.h"

#include <cerrno>
#include <cstring>

namespace plim {

namespace {

std::string patternMessage(const std::string& coded) {
    const auto bar = coded.find('|');
    const std::string where = coded.substr(0, bar);
    const std::string what = bar == std::string::npos ? std::string() : coded.substr(bar + 1);
    return where + ": Non-exhaustive patterns in " + what + "\n";
}

IoErrorKind kindOfErrno(int e) {
    switch (e) {
    case EEXIST: return IoErrorKind::AlreadyExists;
    case ENOENT:
    case ENOTDIR: return IoErrorKind::DoesNotExist;
    case EBUSY:
    case ETXTBSY: return IoErrorKind::ResourceBusy;
    case ENOMEM:
    case ENOSPC:
    case EMFILE:
    case ENFILE: return IoErrorKind::ResourceExhausted;
    case EACCES:
    case EPERM:
    case EROFS: return IoErrorKind::PermissionDenied;
    case EISDIR:
    case EBADF:
    case EINVAL: return IoErrorKind::IllegalOperation;
    default: return IoErrorKind::Other;
    }
}

}  // namespace

PatternMatchFailure::PatternMatchFailure(const std::string& coded)
    : InternalError(patternMessage(coded)), coded_(coded) {}

const char* ioErrorKindText(IoErrorKind kind) {
    switch (kind) {
    case IoErrorKind::AlreadyExists: return "already exists";
    case IoErrorKind::DoesNotExist: return "does not exist";
    case IoErrorKind::ResourceBusy: return "resource busy";
    case IoErrorKind::ResourceExhausted: return "resource exhausted";
    case IoErrorKind::EndOfFile: return "end of file";
    case IoErrorKind::IllegalOperation: return "illegal operation";
    case IoErrorKind::PermissionDenied: return "permission denied";
    case IoErrorKind::UserError: return "user error";
    case IoErrorKind::Other: return "failed";
    }
    return "failed";
}

std::string printIoError(const IoErrorInfo& info) {
    std::string out = ioErrorKindText(info.kind);
    if (!info.action.empty()) out += "\nAction: " + info.action;
    if (info.handle) out += "\nHandle: " + *info.handle;
    if (!info.reason.empty()) out += "\nReason: " + info.reason;
    if (info.fileName) out += "\nFile: " + *info.fileName;
    return out;
}

std::string InputError::commandReport() const {
    IoErrorInfo info;
    info.kind = IoErrorKind::UserError;
    info.reason = message();
    return printIoError(info);
}

void failUser(const std::string& message) { throw InputError(message); }

void failInternal(const std::string& message) { throw InternalError(message); }

void patternFail(CodedFailure which) { throw PatternMatchFailure(std::string(codedText(which))); }

void userError(const std::string& reason) {
    IoErrorInfo info;
    info.kind = IoErrorKind::UserError;
    info.reason = reason;
    throw IoError(std::move(info));
}

void outputFailure(int errnoValue, const std::string& action) {
    IoErrorInfo info;
    info.kind = kindOfErrno(errnoValue);
    info.action = action;
    info.handle = "<stdout>";
    info.reason = std::strerror(errnoValue);
    throw OutputError(std::move(info));
}

void systemIoError(int errnoValue, const std::string& action, const std::string& fileName) {
    IoErrorInfo info;
    info.kind = kindOfErrno(errnoValue);
    info.action = action;
    info.reason = std::strerror(errnoValue);
    info.fileName = fileName;
    throw IoError(std::move(info));
}

}  // namespace plim
