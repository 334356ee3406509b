#include "office/error.h"

namespace office {

const char* describe(ErrorCode code) {
    switch (code) {
        case ErrorCode::InvalidArgument:
            return "invalid argument";
        case ErrorCode::IndexOutOfRange:
            return "index out of range";
        case ErrorCode::TypeMismatch:
            return "type mismatch";
        case ErrorCode::FileNotFound:
            return "file not found";
        case ErrorCode::FileAccess:
            return "file access error";
        case ErrorCode::ObjectRequired:
            return "object required";
        case ErrorCode::NoSuchMember:
            return "object does not support this property or method";
        case ErrorCode::OutOfSheet:
            return "cell beyond the worksheet";
        case ErrorCode::NotADocument:
            return "not a document of this kind";
        case ErrorCode::LegacyFormat:
            return "legacy binary format";
        case ErrorCode::Encrypted:
            return "encrypted document";
        case ErrorCode::CorruptPart:
            return "corrupt part";
        case ErrorCode::ObjectClosed:
            return "object closed";
        case ErrorCode::NotSupported:
            return "not supported";
        case ErrorCode::ReadOnly:
            return "read-only";
        case ErrorCode::TooLarge:
            return "too large";
        case ErrorCode::WriteFailed:
            return "write failed";
    }
    return "unknown error";
}

Error::Error(ErrorCode code, const std::string& text)
    : std::runtime_error(text), code_(code), text_(text) {}

}  // namespace office
