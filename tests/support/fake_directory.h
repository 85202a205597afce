// An in-memory directory service for the operations' tests: a tree of nodes that behaves as
// the configuration store does for what the operations rely on, and a hook that can fail any
// single step.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "core/failure.h"
#include "platform/directory/directory.h"

namespace kx::test {

inline constexpr int32_t kPathNotFound = static_cast<int32_t>(0x80070003);
inline constexpr int32_t kAlreadyExists = static_cast<int32_t>(0x800700B7);
inline constexpr int32_t kPropertyNotFound = static_cast<int32_t>(0x8000500D);
inline constexpr int32_t kBadNetPath = static_cast<int32_t>(0x80070035);
inline constexpr wchar_t kAccountsHost[] = L"HOST";

struct Node
{
    String class_name;
    String name;
    std::map<String, Variant> properties;  // names in lower case
    std::vector<std::shared_ptr<Node>> children;
    bool started = false;
    std::vector<String> calls;  // methods called on the node, with their first text argument, in order
};

class FakeDirectory final : public directory::Directory
{
public:
    FakeDirectory();

    // Adds a node below the node at a path ("W3SVC", "W3SVC/1"; "" is the machine node).
    Node& add(const String& parent_path, const String& class_name, const String& name,
              std::map<String, Variant> properties = {});
    Node* find(const String& path);  // null when missing

    // The account database of the computer kAccountsHost ("WinNT://HOST"): users and groups.
    Node& add_account(const String& class_name, const String& name);
    Node* account(const String& name);  // null when missing

    // A web service with sites: {number, description, bindings}.
    void add_site(const String& number, const String& description, std::vector<String> bindings = {L":80:"},
                  std::vector<String> secure = {});

    // Called before every step an operation takes, with the step's name ("bind PATH",
    // "class", "name", "property NAME", "set_property NAME", "set_info", "children", "next",
    // "create CLASS NAME", "remove CLASS NAME", "child CLASS NAME", "call METHOD", ...).
    std::function<void(const std::string& step)> before;
    // Fails the given step, counting from 1, with a status.
    void fail_at(const std::string& step, int occurrence = 1, int32_t status = kPathNotFound);

    std::vector<std::string> steps;  // every step taken
    int live_objects = 0;            // objects handed out and not yet released

    std::unique_ptr<directory::Object> bind(const String& path) override;
    std::unique_ptr<directory::Object> bind_with_credentials(const String& path, const String& user,
                                                             const String& password, int32_t flags) override;

    void step(const std::string& name);
    std::shared_ptr<Node> root;
    std::shared_ptr<Node> accounts;

private:
    std::map<std::string, int> counts_;
};

// A single string written to these properties is stored as a list of one.
bool multi_valued(const String& property);

std::string narrow(const String& text);

}  // namespace kx::test
