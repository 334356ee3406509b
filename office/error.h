#pragma once

#include <stdexcept>
#include <string>

namespace office {

// The codes an office operation fails with. Callers branch on the code, never on the text.
// Where the automation model has a well-known number for the same failure, that number is used.
enum class ErrorCode : int {
    InvalidArgument = 5,  // an argument outside its range (a bad address, a bad constant)
    IndexOutOfRange = 9,  // a collection index or name that does not exist
    TypeMismatch = 13,    // an object taken as a kind that it is not
    FileNotFound = 53,    // the file or a folder on its path does not exist
    FileAccess = 75,      // the path is a folder, or cannot be read or written
    ObjectRequired = 91,  // an operation on none (a null reference)
    NoSuchMember = 438,   // a property or method asked for by name that the object lacks
    OutOfSheet = 1004,    // a cell beyond the worksheet's last row or column
    NotADocument = 2001,  // not a package, or a package without the expected document
    LegacyFormat = 2002,  // a legacy binary document (.xls, .ppt, binary OLE object)
    Encrypted = 2003,     // a password-protected document
    CorruptPart = 2004,   // a part that cannot be parsed, or a relationship that points nowhere
    ObjectClosed = 2005,  // the document was closed or its application quit
    NotSupported = 2006,  // a document feature that the host cannot fill or write
    ReadOnly = 2007,      // Save on a presentation opened read-only or untitled
    TooLarge = 2008,      // a package whose entries would expand beyond the sane limit
    WriteFailed = 2009,   // the output could not be written; the earlier file is intact
};

// A short, stable name for a code ("type mismatch", "file not found", ...).
const char* describe(ErrorCode code);

// The one exception type of the office host: a numeric code and a text that names the file,
// the part and the problem, e.g. "report.pptx: ppt/charts/chart3.xml: end tag mismatch at
// offset 812".
class Error : public std::runtime_error {
public:
    Error(ErrorCode code, const std::string& text);

    ErrorCode code() const noexcept { return code_; }
    int number() const noexcept { return static_cast<int>(code_); }
    const std::string& text() const noexcept { return text_; }

private:
    ErrorCode code_;
    std::string text_;
};

}  // namespace office
