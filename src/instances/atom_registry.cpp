#include "instances/atom_registry.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace korvel {

namespace {

using Table = AtomRegistry::Table;
using Owner = AtomRegistry::Owner;

constexpr const char* kFileName = "atoms";

std::vector<std::string> Split(const std::string& line, char separator)
{
    std::vector<std::string> fields;
    size_t pos = 0;
    for (;;) {
        const size_t end = line.find(separator, pos);
        fields.push_back(line.substr(pos, end == std::string::npos ? std::string::npos : end - pos));
        if (end == std::string::npos)
            return fields;
        pos = end + 1;
    }
}

bool ToNumber(const std::string& text, unsigned long long& value)
{
    if (text.empty() || text.size() > 19 ||
        !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return false;
    value = std::stoull(text);
    return true;
}

// One line per name: the name, a tab, the reference count. Each reference with an owner adds a
// line of its own that starts with a tab: the name, the process id, its start time and the boot
// id, tab-separated. Older Korvel versions skip those lines (they drop lines that start with a
// tab) and keep reading the counts. Lines that do not parse are dropped.
Table Parse(const std::string& content)
{
    Table table;
    std::vector<std::pair<QString, Owner>> owners;
    for (const std::string& line : Split(content, '\n')) {
        const std::vector<std::string> fields = Split(line, '\t');
        if (fields.size() == 5 && fields[0].empty() && !fields[1].empty()) {
            Owner owner;
            unsigned long long pid = 0;
            if (ToNumber(fields[2], pid) && pid > 0 && ToNumber(fields[3], owner.startTime)) {
                owner.pid = static_cast<long long>(pid);
                owner.boot = fields[4];
                owners.emplace_back(QString::fromStdString(fields[1]), owner);
            }
            continue;
        }
        const size_t tab = line.find('\t');
        if (tab == std::string::npos || tab == 0)
            continue;
        bool ok = false;
        const int count = QString::fromUtf8(line.substr(tab + 1)).trimmed().toInt(&ok);
        if (ok && count > 0)
            table[QString::fromUtf8(line.data(), static_cast<qsizetype>(tab))].count = count;
    }
    // An owner counts for a reference that exists: an older version may have deleted references
    // without knowing whose they were.
    for (auto& [name, owner] : owners) {
        auto it = table.find(name);
        if (it != table.end() && static_cast<int>(it->second.owners.size()) < it->second.count)
            it->second.owners.push_back(std::move(owner));
    }
    return table;
}

std::string Render(const Table& table)
{
    std::string out;
    for (const auto& [name, entry] : table) {
        const std::string text = name.toStdString();
        out += text + '\t' + std::to_string(entry.count) + '\n';
        for (const Owner& owner : entry.owners) {
            out += '\t';
            out += text;
            out += '\t';
            out += std::to_string(owner.pid);
            out += '\t';
            out += std::to_string(owner.startTime);
            out += '\t';
            out += owner.boot;
            out += '\n';
        }
    }
    return out;
}

bool ValidName(const QString& name)
{
    return !name.isEmpty() && !name.contains(QLatin1Char('\t')) && !name.contains(QLatin1Char('\n'));
}

QString ErrorText(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

// The first few KB of a file; `error` is set when it cannot be opened.
std::string ReadSmallFile(const char* path, int* error = nullptr)
{
    std::string content;
    const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
    if (error)
        *error = fd < 0 ? errno : 0;
    if (fd < 0)
        return content;
    char buffer[1024];
    ssize_t n = 0;
    while ((n = ::read(fd, buffer, sizeof buffer)) > 0 && content.size() < 4096)
        content.append(buffer, static_cast<size_t>(n));
    ::close(fd);
    return content;
}

// What /proc says of process `pid`: whether it exists (1), is gone (0) or cannot be told (-1);
// its state letter and start time.
int ProcessStat(long long pid, char& state, unsigned long long& startTime)
{
    const std::string path = "/proc/" + std::to_string(pid) + "/stat";
    int error = 0;
    const std::string stat = ReadSmallFile(path.c_str(), &error);
    if (error != 0)
        return error == ENOENT || error == ESRCH ? 0 : -1;
    // "pid (name) state ppid ...": the name may hold blanks and parentheses; the start time is the
    // 20th field after the name.
    const size_t close = stat.rfind(')');
    if (close == std::string::npos)
        return -1;
    const std::vector<std::string> fields = Split(stat.substr(close + 2), ' ');
    if (fields.size() < 20 || fields[0].empty() || !ToNumber(fields[19], startTime))
        return -1;
    state = fields[0][0];
    return 1;
}

bool Alive(const Owner& owner)
{
    const Owner& self = AtomRegistry::Self();
    if (owner == self)
        return true;
    if (!owner.boot.empty() && !self.boot.empty() && owner.boot != self.boot)
        return false; // recorded before the machine last started
    char state = 0;
    unsigned long long startTime = 0;
    const int found = ProcessStat(owner.pid, state, startTime);
    if (found < 0)
        return true; // cannot tell: the reservation stands
    if (found == 0 || state == 'Z' || state == 'X')
        return false;
    return self.startTime == 0 || startTime == owner.startTime; // else the id was given to another process
}

// Drops the references of `name` whose owner no longer runs; true when one was dropped.
bool Prune(Table& table, const QString& name)
{
    auto it = table.find(name);
    if (it == table.end())
        return false;
    std::vector<Owner>& owners = it->second.owners;
    const auto dead = std::stable_partition(owners.begin(), owners.end(), Alive);
    const int gone = static_cast<int>(owners.end() - dead);
    if (gone == 0)
        return false;
    owners.erase(dead, owners.end());
    it->second.count -= gone;
    if (it->second.count <= 0)
        table.erase(it);
    return true;
}

// The registry folder, created with mode 0700 when missing and used only when it is a real
// folder of this user that no other user may write; -1 with the reason in `why`.
int OpenFolder(const QString& folder, QString& why)
{
    const QByteArray path = QFile::encodeName(folder);
    struct stat st {};
    if (::lstat(path.constData(), &st) != 0) {
        if (errno != ENOENT) {
            why = QStringLiteral("cannot be examined (%1)").arg(ErrorText(errno));
            return -1;
        }
        const QString parent = QFileInfo(folder).path();
        QDir().mkpath(parent);
        if (::mkdir(path.constData(), 0700) != 0 && errno != EEXIST) {
            why = QStringLiteral("cannot be created (%1)").arg(ErrorText(errno));
            return -1;
        }
    }
    const int fd = ::open(path.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        if (::lstat(path.constData(), &st) == 0 && S_ISLNK(st.st_mode))
            why = QStringLiteral("a symbolic link");
        else if (error == ENOTDIR)
            why = QStringLiteral("not a folder");
        else
            why = QStringLiteral("cannot be opened (%1)").arg(ErrorText(error));
        return -1;
    }
    if (::fstat(fd, &st) != 0 || st.st_uid != ::geteuid()) {
        why = QStringLiteral("owned by uid %1").arg(st.st_uid);
    } else if (st.st_mode & (S_IWGRP | S_IWOTH)) {
        why = QStringLiteral("writable by other users");
    } else {
        return fd;
    }
    ::close(fd);
    return -1;
}

// The registry file in the folder `dir`, never through a link and never waiting: only a regular
// file of this user; -1 with the reason in `why`.
int OpenFile(int dir, QString& why)
{
    const int fd = ::openat(dir, kFileName, O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600);
    if (fd < 0) {
        if (errno == ELOOP)
            why = QStringLiteral("a symbolic link");
        else if (errno == EISDIR)
            why = QStringLiteral("not a regular file");
        else
            why = QStringLiteral("cannot be opened (%1)").arg(ErrorText(errno));
        return -1;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        why = QStringLiteral("not a regular file");
    } else if (st.st_uid != ::geteuid()) {
        why = QStringLiteral("owned by uid %1").arg(st.st_uid);
    } else {
        return fd;
    }
    ::close(fd);
    return -1;
}

QString Problem(const QString& path, const QString& why)
{
    return QStringLiteral("instance registry %1 not used: %2").arg(path, why);
}

} // namespace

const AtomRegistry::Owner& AtomRegistry::Self()
{
    static const Owner self = [] {
        Owner o;
        o.pid = ::getpid();
        char state = 0;
        if (ProcessStat(o.pid, state, o.startTime) != 1)
            o.startTime = 0;
        o.boot = ReadSmallFile("/proc/sys/kernel/random/boot_id");
        o.boot.erase(std::remove_if(o.boot.begin(), o.boot.end(), [](char c) { return c == '\n' || c == '\t'; }),
                     o.boot.end());
        return o;
    }();
    return self;
}

AtomRegistry::AtomRegistry(const QString& folder)
    : folder_(QDir::cleanPath(folder)), path_(QDir(folder_).filePath(QString::fromLatin1(kFileName)))
{
    QString why;
    const int dir = OpenFolder(folder_, why);
    if (dir < 0) {
        problem_ = Problem(folder_, why);
        return;
    }
    const int fd = OpenFile(dir, why);
    ::close(dir);
    if (fd < 0) {
        problem_ = Problem(path_, why);
        return;
    }
    ::close(fd);
    Self(); // known before the first reference is taken
}

QString AtomRegistry::DefaultFolder()
{
    const QString own = qEnvironmentVariable("KORVEL_ATOM_DIR");
    if (!own.isEmpty())
        return own;
    // The runtime folder of another user (sudo -E keeps the caller's) is not this user's.
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    struct stat st {};
    if (!runtime.isEmpty() && ::stat(QFile::encodeName(runtime).constData(), &st) == 0 && S_ISDIR(st.st_mode) &&
        st.st_uid == ::geteuid())
        return QDir(runtime).filePath(QStringLiteral("korvel"));
    return QDir(QDir::tempPath()).filePath(QStringLiteral("korvel-%1").arg(::getuid()));
}

// Runs `change` on the table under the file's exclusive lock; a table it changed is written back.
// `change` returns {result, changed}.
template <typename F> bool AtomRegistry::locked(F&& change) const
{
    if (!problem_.isEmpty())
        return false;
    QString why;
    const int dir = OpenFolder(folder_, why);
    if (dir < 0)
        return false;
    const int fd = OpenFile(dir, why);
    ::close(dir);
    if (fd < 0)
        return false;
    while (::flock(fd, LOCK_EX) != 0) {
        if (errno != EINTR) {
            ::close(fd);
            return false;
        }
    }
    std::string content;
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        content.append(buffer, static_cast<size_t>(n));
    }
    Table table = Parse(content);
    const auto [result, changed] = change(table);
    bool ok = result;
    if (changed) {
        const std::string out = Render(table);
        size_t written = 0;
        bool writtenOk = ::ftruncate(fd, 0) == 0;
        while (writtenOk && written < out.size()) {
            const ssize_t n = ::pwrite(fd, out.data() + written, out.size() - written, static_cast<off_t>(written));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0) {
                writtenOk = false;
                break;
            }
            written += static_cast<size_t>(n);
        }
        ok = ok && writtenOk;
    }
    ::close(fd); // releases the lock
    return ok;
}

bool AtomRegistry::add(const QString& name)
{
    if (!ValidName(name))
        return false;
    return locked([&](Table& table) {
        ++table[name].count;
        return std::pair{true, true};
    });
}

bool AtomRegistry::addOwned(const QString& name)
{
    if (!ValidName(name))
        return false;
    return locked([&](Table& table) {
        Entry& entry = table[name];
        ++entry.count;
        entry.owners.push_back(Self());
        return std::pair{true, true};
    });
}

bool AtomRegistry::find(const QString& name) const
{
    return locked([&](Table& table) {
        const bool pruned = Prune(table, name);
        return std::pair{table.count(name) > 0, pruned};
    });
}

bool AtomRegistry::deleteOne(const QString& name)
{
    return locked([&](Table& table) {
        const bool pruned = Prune(table, name);
        auto it = table.find(name);
        if (it == table.end())
            return std::pair{false, pruned};
        Entry& entry = it->second;
        --entry.count;
        const auto own = std::find(entry.owners.begin(), entry.owners.end(), Self());
        if (own != entry.owners.end())
            entry.owners.erase(own);
        else if (static_cast<int>(entry.owners.size()) > entry.count) // no reference without an owner left
            entry.owners.erase(entry.owners.begin());
        if (entry.count <= 0)
            table.erase(it);
        return std::pair{true, true};
    });
}

int AtomRegistry::addFirstMissing(const std::vector<QString>& names, long long* firstHolder)
{
    if (firstHolder)
        *firstHolder = 0;
    int added = -1;
    locked([&](Table& table) {
        bool changed = false;
        for (size_t i = 0; i < names.size(); ++i) {
            if (!ValidName(names[i]))
                continue;
            changed = Prune(table, names[i]) || changed;
            auto it = table.find(names[i]);
            if (it == table.end()) {
                Entry& entry = table[names[i]];
                entry.count = 1;
                entry.owners.push_back(Self());
                added = static_cast<int>(i);
                return std::pair{true, true};
            }
            if (i == 0 && firstHolder && !it->second.owners.empty())
                *firstHolder = it->second.owners.front().pid;
        }
        return std::pair{true, changed};
    });
    return added;
}

void AtomRegistry::deleteOwnReferences()
{
    locked([&](Table& table) {
        bool changed = false;
        for (auto it = table.begin(); it != table.end();) {
            Entry& entry = it->second;
            const auto mine = std::remove(entry.owners.begin(), entry.owners.end(), Self());
            const int count = static_cast<int>(entry.owners.end() - mine);
            entry.owners.erase(mine, entry.owners.end());
            entry.count -= count;
            changed = changed || count > 0;
            it = entry.count <= 0 ? table.erase(it) : std::next(it);
        }
        return std::pair{true, changed};
    });
}

std::map<QString, int> AtomRegistry::names() const
{
    std::map<QString, int> snapshot;
    locked([&](Table& table) {
        bool changed = false;
        std::vector<QString> all;
        for (const auto& entry : table)
            all.push_back(entry.first);
        for (const QString& name : all)
            changed = Prune(table, name) || changed;
        for (const auto& [name, entry] : table)
            snapshot[name] = entry.count;
        return std::pair{true, changed};
    });
    return snapshot;
}

} // namespace korvel
