// The directory as the operations' host tests see it: the stand-ins' own rules for the web
// server's store and the account database, over trees in memory, behind the directory port;
// and a hook that can fail any single step.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "account_rules.h"
#include "core/failure.h"
#include "platform/directory/directory.h"
#include "scenes.h"
#include "web_rules.h"

namespace kx::test {

inline constexpr int32_t kPathNotFound = kxsim::from_win32(3);
inline constexpr int32_t kAlreadyExists = kxsim::from_win32(183);
inline constexpr int32_t kPropertyNotFound = kxsim::kPropertyNotFound;
inline constexpr int32_t kBadNetPath = kxsim::from_win32(53);
inline constexpr wchar_t kAccountsHost[] = L"HOST";

// A store kept in memory.
class MemoryStore final : public kxsim::TreeStore
{
public:
    explicit MemoryStore(kxsim::Tree tree) : tree_(std::make_shared<kxsim::Tree>(std::move(tree))) {}
    std::shared_ptr<const kxsim::Tree> load() const override { return tree_; }
    // Changes the tree in place (nodes a test holds stay valid), or not at all.
    void update(const std::function<void(kxsim::Tree&)>& change) const override;
    kxsim::Tree& tree() { return *tree_; }

private:
    std::shared_ptr<kxsim::Tree> tree_;
};

class SimulatedDirectory final : public directory::Directory
{
public:
    SimulatedDirectory();

    // The web server's store: a node below the node at a path ("W3SVC", "W3SVC/1"; "" is the
    // machine node), a site, and the node at a path (null when missing).
    kxsim::Node& add(const String& parent_path, const String& class_name, const String& name,
                     const std::vector<std::pair<String, Variant>>& properties = {});
    void add_site(const Site& site);
    kxsim::Node* find(const String& path);
    kxsim::Tree& web() { return web_store_->tree(); }

    // The account database of the computer kAccountsHost ("WinNT://HOST"): users and groups.
    kxsim::Node& add_account(const String& class_name, const String& name);
    kxsim::Node* account(const String& name);  // null when missing
    std::vector<String> members(const String& group);
    kxsim::Tree& accounts() { return account_store_->tree(); }

    // Called before every step an operation takes, with the step's name ("bind PATH",
    // "class", "name", "property NAME", "set_property NAME", "set_info", "children", "next",
    // "create CLASS NAME", "remove CLASS NAME", "child CLASS NAME", "call METHOD", ...).
    std::function<void(const std::string& step)> before;
    // From now on, fails the given step, counting from 1, with a status (in place of any
    // failure set before).
    void fail_at(const std::string& step, int occurrence = 1, int32_t status = kPathNotFound);

    std::vector<std::string> steps;  // every step taken
    int live_objects = 0;            // objects handed out and not yet released

    std::unique_ptr<directory::Object> bind(const String& path) override;
    std::unique_ptr<directory::Object> bind_with_credentials(const String& path, const String& user,
                                                             const String& password, int32_t flags) override;
    void step(const std::string& name);

private:
    class Web;
    class Accounts;
    std::shared_ptr<MemoryStore> web_store_, account_store_;
    std::unique_ptr<kxsim::Rules> web_rules_, account_rules_;
};

std::string narrow(const String& text);

}  // namespace kx::test
