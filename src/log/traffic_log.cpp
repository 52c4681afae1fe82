#include "log/traffic_log.h"

#include "net/event_loop.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace korvel {

namespace {

// Writes all of `text`; false on any failure (a full disk, a removed device).
bool WriteAll(int fd, const std::string& text)
{
    size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n > 0) {
            done += static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        return false;
    }
    return true;
}

} // namespace

TrafficLog::TrafficLog(std::function<uint32_t()> tick) : tick_(std::move(tick))
{
    if (!tick_)
        tick_ = TickCount;
    buffer_.reserve(4096);
}

void TrafficLog::setTick(std::function<uint32_t()> tick)
{
    std::lock_guard<std::mutex> lock(mutex_);
    tick_ = tick ? std::move(tick) : std::function<uint32_t()>(TickCount);
}

TrafficLog::~TrafficLog()
{
    std::lock_guard<std::mutex> lock(mutex_);
    closeFile();
}

bool TrafficLog::closeFile()
{
    recording_ = false;
    if (fd_ < 0)
        return true;
    const int fd = fd_;
    fd_ = -1;
    struct stat info {};
    lost_ = ::fstat(fd, &info) == 0 && info.st_nlink == 0;
    return ::close(fd) == 0;
}

bool TrafficLog::start(const std::string& path, const std::string& headerLine)
{
    std::lock_guard<std::mutex> lock(mutex_);
    closeFile();
    path_ = path;
    counters_ = LogCounters{};
    logged_ = 0;
    lost_ = false;
    // Create (or empty) the file, make sure it can be opened, then keep it open for appending.
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        return false;
    ::close(fd);
    // From here on a failure leaves no empty file behind (a full disk would gather one a session).
    auto fail = [this, &path] {
        closeFile();
        lost_ = false;
        ::unlink(path.c_str());
        return false;
    };
    fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return fail();
    ::close(fd);
    fd_ = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
    if (fd_ < 0)
        return fail();
    std::string text = headerLine;
    text.append(kLogLineEnd);
    text.append(kLogLineEnd);
    if (!WriteAll(fd_, text))
        return fail();
    whole_ = static_cast<off_t>(text.size());
    recording_ = true;
    return true;
}

bool TrafficLog::stop()
{
    std::lock_guard<std::mutex> lock(mutex_);
    counters_ = LogCounters{};
    logged_ = 0;
    return closeFile();
}

LogWrite TrafficLog::LogPacket(const LogPacketInput& packet)
{
    std::lock_guard<std::mutex> lock(mutex_);
    LogWrite out;
    if (!recording_ || fd_ < 0)
        return out;
    LogPacketInput input = packet;
    input.interpretive = interpretive_;
    buffer_.clear();
    AppendPacketLines(counters_, input, tick_(), buffer_);
    logged_ = counters_.LoggedPackets;
    if (WriteAll(fd_, buffer_)) {
        whole_ += static_cast<off_t>(buffer_.size());
    } else {
        // The file ends with its last whole block, not with part of this one. Then stop as the
        // Record button would; the server goes on serving.
        while (::ftruncate(fd_, whole_) != 0 && errno == EINTR) {
        }
        counters_ = LogCounters{};
        logged_ = 0;
        out.failed = true;
        out.closingFailed = !closeFile();
    }
    return out;
}

} // namespace korvel
