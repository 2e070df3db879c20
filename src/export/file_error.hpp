#pragma once
// A failed file-system call while writing an output file: the errno value
// and the path the caller asked for (not the temporary it was writing), so
// the host can raise the same OSError an open() of that path would. A
// refusal that no system call made (a socket as the target) carries its own
// wording in place of strerror()'s.
#include <stdexcept>
#include <string>

namespace glyphway::export_ {

class FileError : public std::runtime_error {
public:
    FileError(int error_number, std::string path);
    FileError(int error_number, std::string path, const std::string& reason);
    int error_number() const { return error_number_; }
    const std::string& path() const { return path_; }
    // strerror() of the number, or the refusal's own wording.
    const std::string& reason() const { return reason_; }

private:
    int error_number_;
    std::string path_;
    std::string reason_;
};

}  // namespace glyphway::export_
