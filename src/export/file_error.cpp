#include "export/file_error.hpp"

#include <cstring>

namespace glyphway::export_ {

FileError::FileError(int error_number, std::string path)
    : std::runtime_error(std::string(std::strerror(error_number)) + ": '" + path + "'"),
      error_number_(error_number),
      path_(std::move(path)) {}

}  // namespace glyphway::export_
