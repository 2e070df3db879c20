#pragma once
// A failed file-system call while writing an output file: the errno value
// and the path the caller asked for (not the temporary it was writing), so
// the host can raise the same OSError an open() of that path would.
#include <stdexcept>
#include <string>

namespace glyphway::export_ {

class FileError : public std::runtime_error {
public:
    FileError(int error_number, std::string path);
    int error_number() const { return error_number_; }
    const std::string& path() const { return path_; }

private:
    int error_number_;
    std::string path_;
};

}  // namespace glyphway::export_
