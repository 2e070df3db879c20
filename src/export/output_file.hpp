#pragma once
// An output file, written the way its target allows (see output_target.hpp).
//
// A regular file (or none yet) appears complete or not at all: the content
// goes to a temporary file beside the target and is renamed over it only by
// commit(). A writer that fails part way (a missing road line, a font that
// cannot be read, a full disk, a SIGTERM) therefore leaves no truncated OBJ
// or CSV behind and an earlier file at the target untouched; the temporary
// is removed when the object is destroyed uncommitted. A character device or
// a FIFO is written in place, and what was written before a failure stays
// written there.
//
// What the target would refuse is refused up front, before any work (see
// inspect_output_target).
#include <string>
#include <string_view>

#include "export/output_target.hpp"
#include "export/termination_guard.hpp"

namespace glyphway::export_ {

class OutputFile {
public:
    explicit OutputFile(std::string target);  // throws FileError, OutputPathError
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    void write(std::string_view bytes);

    // Appends to the pending buffer directly; flushed once it grows large.
    // Throws Terminated once a SIGTERM arrived.
    std::string& buffer() { return buffer_; }
    void flush_if_full();

    // Writes what is pending, closes the file and, for a replaced target,
    // renames the temporary onto it. Throws FileError; a replaced target is
    // then untouched.
    void commit();

    const std::string& target() const { return target_.path; }
    // Empty for a target written in place.
    const std::string& temporary() const { return temp_; }

private:
    void open_temporary();
    void open_in_place();
    void flush();
    void discard() noexcept;

    // Declared first so that it goes last, after discard() removed the
    // temporary: its destructor may end the process.
    TerminationGuard termination_;
    OutputTarget target_;
    std::string temp_;
    int fd_ = -1;
    std::string buffer_;
};

// The number of OutputFile commits in this process so far: a caller can tell
// "a file was written" apart from "nothing was" even where the target (a
// device, a FIFO) shows no change.
unsigned long long committed_output_count();

// `bytes` as the whole content of `path`, the way OutputFile writes.
void write_output_file(const std::string& path, std::string_view bytes);

}  // namespace glyphway::export_
