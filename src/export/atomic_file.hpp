#pragma once
// An output file that appears complete or not at all.
//
// The content goes to a temporary file beside the target and is renamed
// over the target only by commit(). A writer that fails part way (a missing
// road line, a font that cannot be read, a full disk) therefore leaves no
// truncated OBJ or CSV behind and an earlier file at the target untouched;
// the temporary is removed when the object is destroyed uncommitted.
//
// What open() would refuse is refused up front, before any work: a target
// that is a directory, an existing target that is not writable, a folder
// that does not exist. A target that is a symbolic link is written through
// the link, and an existing target keeps its permission bits.
#include <string>
#include <string_view>

namespace glyphway::export_ {

class AtomicFile {
public:
    explicit AtomicFile(std::string target);  // throws FileError
    ~AtomicFile();
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    void write(std::string_view bytes);

    // Appends to the pending buffer directly; flushed once it grows large.
    std::string& buffer() { return buffer_; }
    void flush_if_full();

    // Writes what is pending, closes the temporary and renames it onto the
    // target. Throws FileError; the target is then untouched.
    void commit();

    const std::string& target() const { return target_; }
    const std::string& temporary() const { return temp_; }

private:
    void flush();
    void discard() noexcept;

    std::string target_;    // as given, for error messages
    std::string resolved_;  // where the file lands (the target of a link)
    std::string temp_;
    int fd_ = -1;
    std::string buffer_;
};

}  // namespace glyphway::export_
