#include "export/atomic_file.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>

#include "export/file_error.hpp"

namespace glyphway::export_ {

namespace {

// Pending output is handed to the kernel in chunks of this size.
constexpr std::size_t kFlushSize = std::size_t{1} << 20;

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

AtomicFile::AtomicFile(std::string target) : target_(std::move(target)) {
    resolved_ = resolve_link(target_);
    mode_t mode = 0666;  // narrowed by the umask, as for open()
    bool keep_mode = false;
    struct stat info {};
    if (::stat(resolved_.c_str(), &info) == 0) {
        if (S_ISDIR(info.st_mode)) throw FileError(EISDIR, target_);
        if (::access(resolved_.c_str(), W_OK) != 0) throw FileError(errno, target_);
        mode = info.st_mode & 07777;
        keep_mode = true;
    }
    const std::string base = resolved_ + ".tmp" + std::to_string(::getpid());
    for (int attempt = 0;; ++attempt) {
        temp_ = attempt == 0 ? base : base + "." + std::to_string(attempt);
        fd_ = ::open(temp_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd_ >= 0) break;
        // A stale temporary of an earlier crashed run under the same process
        // id: pick the next name rather than overwrite something unknown.
        if (errno == EEXIST && attempt < 100) continue;
        throw FileError(errno, target_);
    }
    if (keep_mode && ::fchmod(fd_, mode) != 0) {
        const int error = errno;
        discard();
        throw FileError(error, target_);
    }
    buffer_.reserve(kFlushSize + (kFlushSize >> 2));
}

AtomicFile::~AtomicFile() { discard(); }

void AtomicFile::write(std::string_view bytes) {
    buffer_ += bytes;
    flush_if_full();
}

void AtomicFile::flush_if_full() {
    if (buffer_.size() >= kFlushSize) flush();
}

void AtomicFile::flush() {
    const char* data = buffer_.data();
    std::size_t left = buffer_.size();
    while (left > 0) {
        const ssize_t n = ::write(fd_, data, left);
        if (n < 0) {
            if (errno == EINTR) continue;
            throw FileError(errno, target_);
        }
        data += n;
        left -= static_cast<std::size_t>(n);
    }
    buffer_.clear();
}

void AtomicFile::commit() {
    flush();
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0) {
        const int error = errno;
        ::unlink(temp_.c_str());
        temp_.clear();
        throw FileError(error, target_);
    }
    if (::rename(temp_.c_str(), resolved_.c_str()) != 0) {
        const int error = errno;
        ::unlink(temp_.c_str());
        temp_.clear();
        throw FileError(error, target_);
    }
    temp_.clear();
}

void AtomicFile::discard() noexcept {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    if (!temp_.empty()) {
        ::unlink(temp_.c_str());
        temp_.clear();
    }
}

}  // namespace glyphway::export_
