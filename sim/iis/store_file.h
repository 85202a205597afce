// The store's file: read and written whole under an inter-process lock; written atomically
// (a temporary file, then a replace that goes through to the disk), so that a process killed
// while saving leaves the previous or the new store, never a torn one. Windows only.
#pragma once

#include <windows.h>

#include <functional>

#include "store.h"

namespace kxsim {

// A failure of the store, with the status the directory service reports it with.
struct StoreError
{
    HRESULT status;
    String description;
};

class StoreFile
{
public:
    // The store named by KX_SIM_IIS_STORE, else C:\kxsim\iis.store.
    static String default_path();

    explicit StoreFile(String path = default_path());

    // The whole tree; StoreError when the file is missing or damaged.
    Tree load() const;
    // Loads, changes and saves the tree in one locked step; a StoreError thrown by the
    // change leaves the file as it was.
    void update(const std::function<void(Tree&)>& change) const;
    // Replaces the store (also a missing or damaged one) with this tree.
    void replace(const Tree& tree) const;

    const String& path() const { return path_; }

private:
    class Lock;
    Tree load_unlocked() const;
    void save_unlocked(const Tree& tree) const;

    String path_;
};

}  // namespace kxsim
