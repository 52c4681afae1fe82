// A per-user registry of reference-counted names shared by all running instances of Korvel: a
// name that is added again gains a reference, a deletion removes one reference, and the name is
// gone with its last reference. It lives in one small file; every operation holds an exclusive
// lock on it, so concurrent instances never corrupt it.
//
// A reference may name the process that holds it (its process id, start time and boot): such a
// reference counts only while that process runs, so a killed instance never blocks its port. A
// reference without an owner (the flash names, or one written by an older Korvel) outlives a
// crashed instance until it is deleted.
//
// The registry is used only in a real folder of this user that no other user may write, in a
// regular file of this user; otherwise it is not used at all (problem() says why) and every
// operation answers as an empty registry that cannot be written.
#pragma once

#include <QString>
#include <map>
#include <vector>

namespace korvel {

class AtomRegistry {
  public:
    // The registry file in `folder` (created with mode 0700 when missing; an existing folder's mode
    // is never changed).
    explicit AtomRegistry(const QString& folder);
    AtomRegistry(const AtomRegistry&) = delete;
    AtomRegistry& operator=(const AtomRegistry&) = delete;
    // KORVEL_ATOM_DIR, else $XDG_RUNTIME_DIR/korvel (when that folder is this user's), else
    // korvel-<uid> in the temporary folder.
    static QString DefaultFolder();

    // Empty when the registry is used, else the one-line reason why it is not
    // ("instance registry /tmp/korvel-0 not used: owned by uid 65534").
    QString problem() const { return problem_; }
    bool usable() const { return problem_.isEmpty(); }

    // Adds one reference without an owner; false when the registry cannot be written.
    bool add(const QString& name);
    // Adds one reference held by this process.
    bool addOwned(const QString& name);
    bool find(const QString& name) const;
    // Deletes one reference (this process's own first); false when the name does not exist (the
    // failure a caller counts).
    bool deleteOne(const QString& name);
    // Under one lock: adds a reference held by this process to the first of `names` that does not
    // exist and returns its index; -1 when every one exists (or the registry is not usable). The
    // process id of a running holder of names[0] goes to `firstHolder` (0: none known).
    int addFirstMissing(const std::vector<QString>& names, long long* firstHolder = nullptr);
    // Deletes every reference this process holds (also when it ends without its shutdown).
    void deleteOwnReferences();
    // Every name with its reference count (a snapshot).
    std::map<QString, int> names() const;

    QString filePath() const { return path_; }

    struct Owner {
        long long pid = 0;
        unsigned long long startTime = 0; // clock ticks after boot, as /proc/<pid>/stat has it
        std::string boot;                 // the kernel's boot id
        bool operator==(const Owner&) const = default;
    };
    struct Entry {
        int count = 0;
        std::vector<Owner> owners; // at most `count`; the rest have no owner
    };
    using Table = std::map<QString, Entry>;
    // This process as an owner.
    static const Owner& Self();

  private:
    template <typename F> bool locked(F&& change) const;
    QString folder_;
    QString path_;
    QString problem_;
};

} // namespace korvel
