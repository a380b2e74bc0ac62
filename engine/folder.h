// The folder a drive test works in. It is locked against other copies of the
// program and, on POSIX, held open: every step acts on this folder by its
// descriptor, so a path that comes to lead elsewhere (a volume unmounted
// lazily, a folder renamed) never moves a step, and nothing is checked by
// one name and done by another. Windows still works by path behind the same
// calls.
#pragma once

#include "engine/file_io.h"

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>

namespace sarnoval {

// How a name was moved: a true rename keeps the file's number; a second
// link, on a file system that numbers names (sshfs), may not.
enum class Moved { No, Renamed, Linked };

// Where the root of a drive refuses new files for lack of rights, as the
// root of C: does to anyone not elevated: the user's temporary folder, when
// it lies on the same volume, so the drive measured is still the one chosen.
std::optional<std::filesystem::path> StandInFolder(const std::filesystem::path& root);

class Folder {
public:
    explicit Folder(std::filesystem::path path);
    Folder(const Folder&) = delete;
    Folder& operator=(const Folder&) = delete;
    ~Folder();

    // Opened, and locked by this copy; not when another copy holds the lock.
    // Where the file system has no locks the lock is taken as held.
    bool Held() const { return held_; }
    // When not held: why, as a plain sentence.
    const std::string& WhyNotHeld() const { return whyNot_; }
    const std::filesystem::path& Path() const { return path_; }

    // A new regular file at name; fails when anything stands there.
    File Create(const char* name, IoTrace* trace) const;
    // The regular file at name for the read-back, no link followed.
    File OpenReadBack(const char* name, IoTrace* trace) const;
    // Whether name, no link followed, is the file id names.
    bool Holds(const char* name, const FileId& id) const;
    // Removes name only if it is still the file id names. True when it did.
    bool RemoveIfSame(const char* name, const FileId& id, IoTrace* trace) const;
    // Removes what stands at name if it provably is a file an earlier run of
    // the test left (see ExamineLeftover), judging its age by now, the file
    // system's clock. True when the name is free afterwards; anything else
    // there is left as it is, and why says why.
    bool ClearLeftover(const char* name, std::chrono::system_clock::time_point now,
                       std::string& why, IoTrace* trace) const;
    // The file system's clock, which on a share is the server's: the time it
    // stamps on a file made at name and removed at once. None when name is
    // taken or nothing can be made there.
    std::optional<std::chrono::system_clock::time_point> Now(const char* name) const;
    // Moves from, the file id names, to to, never replacing what stands at
    // to; id becomes the number the file has after the move (FAT may give
    // a file a new one as its name grows).
    Moved Rename(const char* from, const char* to, FileId& id, IoTrace* trace) const;

private:
    std::filesystem::path path_;
#ifdef _WIN32
    void* lock_ = nullptr; // a named object for the folder: it exists while held
#else
    int fd_ = -1;
#endif
    bool held_ = false;
    std::string whyNot_;
};

inline constexpr const char* kFolderBusy = "another copy of Sarnoval is testing this folder";

} // namespace sarnoval
