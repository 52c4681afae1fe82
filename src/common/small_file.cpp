#include "common/small_file.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace korvel {

std::string ReadSmallFile(const std::string& fileName, size_t limit, std::string_view what, std::string& content)
{
    content.clear();
    const auto tooLarge = [&](const std::string& size) {
        return "it is larger than " + std::string(what) + " can be (" + size + "at most " + std::to_string(limit) + ")";
    };
    const int fd = ::open(fileName.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return std::strerror(errno);
    struct stat info {};
    std::string error;
    if (::fstat(fd, &info) != 0) {
        error = std::strerror(errno);
    } else if (S_ISDIR(info.st_mode)) {
        error = "it is a folder";
    } else if (!S_ISREG(info.st_mode)) {
        error = "it is not a regular file";
    } else if (info.st_size > static_cast<off_t>(limit)) {
        error = tooLarge(std::to_string(info.st_size) + " bytes; ");
    }
    if (!error.empty()) {
        ::close(fd);
        return error;
    }
    // One byte more than allowed is asked for: a file that grew meanwhile is refused too.
    content.resize(limit + 1);
    size_t done = 0;
    while (done < content.size()) {
        const ssize_t n = ::read(fd, content.data() + done, content.size() - done);
        if (n > 0) {
            done += static_cast<size_t>(n);
        } else if (n == 0) {
            break;
        } else if (errno != EINTR) {
            error = std::strerror(errno);
            break;
        }
    }
    ::close(fd);
    if (error.empty() && done > limit)
        error = tooLarge("");
    content.resize(error.empty() ? done : 0);
    content.shrink_to_fit();
    return error;
}

} // namespace korvel
