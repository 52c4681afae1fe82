#include "shell/atom_registry.h"

#include <QDir>
#include <cerrno>
#include <fcntl.h>
#include <string>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace korvel {

namespace {

using NameTable = std::map<QString, int>;

// One line per name: the name, a tab, the reference count. Lines that do not parse are dropped.
NameTable Parse(const std::string& content)
{
    NameTable table;
    size_t pos = 0;
    while (pos < content.size()) {
        size_t end = content.find('\n', pos);
        if (end == std::string::npos)
            end = content.size();
        const std::string line = content.substr(pos, end - pos);
        pos = end + 1;
        const size_t tab = line.find('\t');
        if (tab == std::string::npos || tab == 0)
            continue;
        const QString name = QString::fromUtf8(line.data(), static_cast<qsizetype>(tab));
        bool ok = false;
        const int count = QString::fromUtf8(line.substr(tab + 1)).trimmed().toInt(&ok);
        if (ok && count > 0)
            table[name] = count;
    }
    return table;
}

std::string Render(const NameTable& table)
{
    std::string out;
    for (const auto& [name, count] : table) {
        out += name.toStdString();
        out += '\t';
        out += std::to_string(count);
        out += '\n';
    }
    return out;
}

bool ValidName(const QString& name)
{
    return !name.isEmpty() && !name.contains(QLatin1Char('\t')) && !name.contains(QLatin1Char('\n'));
}

} // namespace

AtomRegistry::AtomRegistry(const QString& folder)
{
    QDir().mkpath(folder);
    ::chmod(QFile::encodeName(folder).constData(), 0700);
    path_ = QDir(folder).filePath(QStringLiteral("atoms"));
}

QString AtomRegistry::DefaultFolder()
{
    const QString own = qEnvironmentVariable("KORVEL_ATOM_DIR");
    if (!own.isEmpty())
        return own;
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && QDir(runtime).exists())
        return QDir(runtime).filePath(QStringLiteral("korvel"));
    return QDir(QDir::tempPath()).filePath(QStringLiteral("korvel-%1").arg(::getuid()));
}

// Runs `change` on the table under the file's exclusive lock; a table it changed is written back.
// `change` returns {result, changed}.
template <typename F> bool AtomRegistry::locked(F&& change) const
{
    const QByteArray file = QFile::encodeName(path_);
    const int fd = ::open(file.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
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
    NameTable table = Parse(content);
    const auto [result, changed] = change(table);
    bool ok = result;
    if (changed) {
        const std::string out = Render(table);
        size_t written = 0;
        if (::ftruncate(fd, 0) != 0)
            ok = false;
        while (ok && written < out.size()) {
            const ssize_t n = ::pwrite(fd, out.data() + written, out.size() - written, static_cast<off_t>(written));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0) {
                ok = false;
                break;
            }
            written += static_cast<size_t>(n);
        }
    }
    ::close(fd); // releases the lock
    return ok;
}

bool AtomRegistry::add(const QString& name)
{
    if (!ValidName(name))
        return false;
    return locked([&](NameTable& table) {
        ++table[name];
        return std::pair{true, true};
    });
}

bool AtomRegistry::find(const QString& name) const
{
    return locked([&](NameTable& table) { return std::pair{table.count(name) > 0, false}; });
}

bool AtomRegistry::deleteOne(const QString& name)
{
    return locked([&](NameTable& table) {
        auto it = table.find(name);
        if (it == table.end())
            return std::pair{false, false};
        if (--it->second <= 0)
            table.erase(it);
        return std::pair{true, true};
    });
}

std::map<QString, int> AtomRegistry::names() const
{
    NameTable snapshot;
    locked([&](NameTable& table) {
        snapshot = table;
        return std::pair{true, false};
    });
    return snapshot;
}

} // namespace korvel
