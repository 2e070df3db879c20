#include "export/file_error.hpp"

#include <cstring>

namespace glyphway::export_ {

FileError::FileError(int error_number, std::string path)
    : FileError(error_number, std::move(path), std::strerror(error_number)) {}

FileError::FileError(int error_number, std::string path, const std::string& reason)
    : std::runtime_error(reason + ": '" + path + "'"),
      error_number_(error_number),
      path_(std::move(path)),
      reason_(reason) {}

}  // namespace glyphway::export_
