#include "export/output_file.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>

#include "export/file_error.hpp"

namespace glyphway::export_ {

namespace {

// Pending output is handed to the kernel in chunks of this size.
constexpr std::size_t kFlushSize = std::size_t{1} << 20;

std::atomic<unsigned long long> commits{0};

}  // namespace

OutputFile::OutputFile(std::string target) : target_(inspect_output_target(target)) {
    if (target_.kind == TargetKind::in_place) {
        open_in_place();
    } else {
        open_temporary();
    }
    buffer_.reserve(kFlushSize + (kFlushSize >> 2));
}

void OutputFile::open_temporary() {
    const std::string base = target_.resolved + ".tmp" + std::to_string(::getpid());
    for (int attempt = 0;; ++attempt) {
        temp_ = attempt == 0 ? base : base + "." + std::to_string(attempt);
        // 0666 narrowed by the umask: a new target gets what open() gives.
        fd_ = ::open(temp_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd_ >= 0) break;
        const int error = errno;
        temp_.clear();
        // A stale temporary of an earlier crashed run under the same process
        // id: pick the next name rather than overwrite something unknown.
        if (error == EEXIST && attempt < 100) continue;
        throw FileError(error, target_.path);
    }
    if (target_.exists && ::fchmod(fd_, target_.mode) != 0) {
        const int error = errno;
        discard();
        throw FileError(error, target_.path);
    }
}

void OutputFile::open_in_place() {
    // Non-blocking first: a FIFO nobody reads would otherwise hold open()
    // forever; with O_NONBLOCK it fails at once with ENXIO.
    fd_ = ::open(target_.resolved.c_str(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd_ < 0) {
        const int error = errno;
        if (error == ENXIO) throw FileError(error, target_.path, "No process reads the FIFO");
        throw FileError(error, target_.path);
    }
    // The writes themselves wait for a slow reader like any other writer's.
    const int flags = ::fcntl(fd_, F_GETFL);
    if (flags < 0 || ::fcntl(fd_, F_SETFL, flags & ~O_NONBLOCK) != 0) {
        const int error = errno;
        discard();
        throw FileError(error, target_.path);
    }
}

OutputFile::~OutputFile() { discard(); }

void OutputFile::write(std::string_view bytes) {
    buffer_ += bytes;
    flush_if_full();
}

void OutputFile::flush_if_full() {
    if (TerminationGuard::requested()) throw Terminated();
    if (buffer_.size() >= kFlushSize) flush();
}

void OutputFile::flush() {
    const char* data = buffer_.data();
    std::size_t left = buffer_.size();
    while (left > 0) {
        if (TerminationGuard::requested()) throw Terminated();
        const ssize_t n = ::write(fd_, data, left);
        if (n < 0) {
            if (errno == EINTR) continue;
            throw FileError(errno, target_.path);
        }
        data += n;
        left -= static_cast<std::size_t>(n);
    }
    buffer_.clear();
}

void OutputFile::commit() {
    flush();
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0) {
        const int error = errno;
        discard();
        throw FileError(error, target_.path);
    }
    if (!temp_.empty() && ::rename(temp_.c_str(), target_.resolved.c_str()) != 0) {
        const int error = errno;
        discard();
        throw FileError(error, target_.path);
    }
    temp_.clear();
    commits.fetch_add(1, std::memory_order_relaxed);
}

void OutputFile::discard() noexcept {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    if (!temp_.empty()) {
        ::unlink(temp_.c_str());
        temp_.clear();
    }
}

unsigned long long committed_output_count() { return commits.load(std::memory_order_relaxed); }

void write_output_file(const std::string& path, std::string_view bytes) {
    OutputFile file(path);
    std::string_view left = bytes;
    // In chunks, so that a SIGTERM during a large write is noticed between them.
    while (!left.empty()) {
        const std::size_t n = std::min(left.size(), kFlushSize);
        file.write(left.substr(0, n));
        left.remove_prefix(n);
    }
    file.commit();
}

}  // namespace glyphway::export_
