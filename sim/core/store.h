// A simulated directory's store: an ordered tree of nodes with typed properties, kept as
// readable text. Names of nodes and properties are matched without regard to case; children
// keep the order in which they were created.
#pragma once

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "core/text.h"
#include "core/value.h"

namespace kxsim {

using kx::String;
using kx::Variant;

struct Node
{
    Node() = default;
    Node(const Node& other);  // a deep copy
    Node& operator=(const Node& other);
    Node(Node&&) = default;
    Node& operator=(Node&&) = default;

    String class_name;
    String name;
    std::vector<std::pair<String, Variant>> properties;  // in the order first written
    std::vector<std::unique_ptr<Node>> children;

    const Variant* property(const String& name) const;
    void set(const String& name, Variant value);
    Node* child(const String& name) const;  // null when missing
    Node& add(const String& class_name, const String& name);
    bool remove(const String& name);  // false when missing
};

// The store as text is damaged: where and why.
struct DamagedStore : std::runtime_error
{
    DamagedStore(int line, const std::string& what);
    int line;
};

// The root is the machine node; paths are its children's names down.
struct Tree
{
    Node root;
    Node* find(const std::vector<String>& path);
    const Node* find(const std::vector<String>& path) const;
};

Tree parse(const std::string& text);
// The text form, after a first comment line that says what the store is.
std::string serialize(const Tree& tree, const std::string& title);

inline bool same_name(const String& a, const String& b) { return kx::equal_ignoring_case(a, b); }
using kx::split_path;

}  // namespace kxsim
