// A per-user registry of reference-counted names shared by all running instances of Korvel: a
// name that is added again gains a reference, a deletion removes one reference, and the name is
// gone with its last reference. It lives in one small file; every operation holds an exclusive
// lock on it, so concurrent instances never corrupt it. It outlives a crashed instance.
#pragma once

#include <QString>
#include <map>

namespace korvel {

class AtomRegistry {
  public:
    // The registry file in `folder` (created with mode 0700 when missing).
    explicit AtomRegistry(const QString& folder);
    // KORVEL_ATOM_DIR, else $XDG_RUNTIME_DIR/korvel, else a per-user folder in the temporary folder.
    static QString DefaultFolder();

    // Adds one reference; false when the registry cannot be written.
    bool add(const QString& name);
    bool find(const QString& name) const;
    // Deletes one reference; false when the name does not exist (the failure a caller counts).
    bool deleteOne(const QString& name);
    // Every name with its reference count (a snapshot).
    std::map<QString, int> names() const;

    QString filePath() const { return path_; }

  private:
    template <typename F> bool locked(F&& change) const;
    QString path_;
};

} // namespace korvel
