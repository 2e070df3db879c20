#include "export/output_target.hpp"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>

#include "export/file_error.hpp"

namespace glyphway::export_ {

namespace {

// The file a path names once symbolic links are followed; the path itself
// when it is not a link or its target does not exist yet (open() would then
// create the link's target, a rename creates the file in place of the link).
std::string resolve_link(const std::string& path) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return path;
    char resolved[PATH_MAX];
    if (::realpath(path.c_str(), resolved) == nullptr) return path;
    return resolved;
}

}  // namespace

OutputPathError::OutputPathError(const std::string& reason, std::string path)
    : std::invalid_argument(reason), path_(std::move(path)) {}

OutputTarget inspect_output_target(const std::string& path) {
    if (path.find('\0') != std::string::npos) {
        throw OutputPathError("the output path contains a NUL character", path);
    }
    OutputTarget target;
    target.path = path;
    target.resolved = resolve_link(path);
    struct stat info {};
    // A path that cannot be looked at (a missing folder, one that may not be
    // searched) is left to the open() of the temporary, which says why.
    if (::stat(target.resolved.c_str(), &info) != 0) return target;
    const mode_t type = info.st_mode & S_IFMT;
    if (type == S_IFDIR) throw FileError(EISDIR, path);
    if (type == S_IFSOCK) throw FileError(ENXIO, path, "Is a socket, not a file");
    // Writing there would overwrite a file system or a disk.
    if (type == S_IFBLK) throw FileError(EINVAL, path, "Is a block device, not a file");
    if (::access(target.resolved.c_str(), W_OK) != 0) throw FileError(errno, path);
    target.exists = true;
    target.mode = info.st_mode & 07777;
    target.kind = type == S_IFCHR || type == S_IFIFO ? TargetKind::in_place : TargetKind::replaced;
    return target;
}

}  // namespace glyphway::export_
