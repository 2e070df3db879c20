#pragma once
// What an output path names, and so how it may be written.
//
// Every writer (OBJ, CSV, the label table, the preview picture) asks this
// first, so they all refuse the same targets and treat the ones they accept
// alike:
//   - no file yet, or a regular file: written to a temporary beside it and
//     renamed over it, so a reader never sees half a file; an existing file
//     keeps its permission bits, a new one gets 0666 less the umask;
//   - a character device (/dev/null, a terminal) or a FIFO: written in place,
//     since renaming over it would replace the device node or the pipe that
//     someone reads with a plain file;
//   - a directory, a socket or a block device: refused.
// An existing target that the caller may not write to is refused, whatever
// its kind, before any byte is written. A symbolic link is followed.
#include <sys/types.h>

#include <stdexcept>
#include <string>

namespace glyphway::export_ {

// An output path that no file system call can take as it is (one with a
// NUL byte would silently name a shorter path).
class OutputPathError : public std::invalid_argument {
public:
    OutputPathError(const std::string& reason, std::string path);
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

enum class TargetKind {
    replaced,  // a regular file or none yet: temporary + rename
    in_place,  // a character device or a FIFO: opened and written directly
};

struct OutputTarget {
    std::string path;      // as given, for messages
    std::string resolved;  // where the bytes land (the target of a link)
    TargetKind kind = TargetKind::replaced;
    bool exists = false;
    mode_t mode = 0;  // permission bits of an existing file
};

// Throws OutputPathError or FileError (errno and the path as given).
OutputTarget inspect_output_target(const std::string& path);

}  // namespace glyphway::export_
