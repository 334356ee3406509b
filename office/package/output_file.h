#pragma once

// The file a package is saved into before it takes the target's place. Where the system can
// (Linux, O_TMPFILE) it has no name until it is complete, so a save that is killed half-way
// leaves nothing behind; elsewhere it is a hidden file beside the target whose name carries
// the saving process's id, and a later save removes such files of processes that are gone.

#include <zip.h>

#include <sys/types.h>

#include <cstddef>
#include <string>
#include <vector>

namespace office::package::detail {

class OutputFile {
public:
    // Fails with WriteFailed, naming the target's file name, when the target is a folder or a
    // read-only file (platform::isReadOnlyFile), or when no file can be made in its folder.
    explicit OutputFile(const std::string& target);
    ~OutputFile();  // without commit: the file is gone and the target as it was
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // A zip source that writes into the file, for zip_open_from_source; the archive that is
    // opened on it owns it. Null, with error set, when it cannot be made.
    zip_source_t* source(zip_error_t* error);

    // The system's reason for the last failed write into the file ("No space left on
    // device"); empty when none failed.
    std::string systemFailure() const;

    // Gives the file the target's permissions (0644 for a new target), makes it durable and
    // puts it in the target's place. Fails with WriteFailed; the target is then as it was.
    void commit();

    // The hidden names of unfinished saves into target, of this process or another.
    static bool isTemporaryOf(const std::string& fileName, const std::string& targetName);

    struct Writer;  // internal: the state behind source()

private:
    void removeStaleTemporaries() const;
    void makeNamed();
    void linkInto(const std::string& path);

    std::string target_;
    std::string name_;    // the target's file name, for messages
    std::string folder_;  // the target's folder
    std::string path_;    // the named file; empty while the file has no name
    int fd_ = -1;
    bool committed_ = false;
    zip_error_t error_{};  // the last failure of the zip source
    int systemError_ = 0;  // errno of the last failed write
    // Written bytes not yet handed to the system: they belong at bufferStart_ of the file, and
    // the next write goes to cursor_ in them. end_ is where the file's bytes end.
    std::vector<char> buffer_;
    off_t bufferStart_ = 0;
    std::size_t cursor_ = 0;
    off_t end_ = 0;
    friend struct Writer;
};

}  // namespace office::package::detail
