// A store's file: written whole under an inter-process lock and atomically (a temporary file,
// then a replace that goes through to the disk), so that a process killed while saving leaves
// the previous or the new store, never a torn one. Each process keeps the tree it parsed last
// and reads the file again only when the file has changed since (another process wrote it):
// a walk of a thousand children costs one look at the file, not a thousand reads of it.
// Windows only.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>

#include "object.h"
#include "store.h"

namespace kxsim {

// A failure of the store, with the status the directory service reports it with.
using StoreError = SimError;

class StoreFile final : public TreeStore
{
public:
    // The path an environment variable names, else the fallback.
    static String path_from(const wchar_t* variable, const wchar_t* fallback);

    // title: what the store holds, for its first line and for messages.
    StoreFile(String path, std::string title, HRESULT missing_status);

    // The whole tree as the file holds it now; StoreError when it is missing or damaged. The
    // tree is shared with other readers of this process and never changes. Takes no lock.
    std::shared_ptr<const Tree> load() const override;
    // Loads, changes and saves the tree in one locked step; a StoreError (or any exception)
    // thrown by the change leaves the file as it was.
    void update(const std::function<void(Tree&)>& change) const override;
    // Replaces the store (also a missing or damaged one) with this tree.
    void replace(const Tree& tree) const;

    const String& path() const { return path_; }

private:
    class Lock;
    void save_unlocked(const Tree& tree) const;

    String path_;
    std::string title_;
    HRESULT missing_status_;
};

}  // namespace kxsim
