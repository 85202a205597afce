// What a simulated directory does with its nodes, apart from COM: binding paths, reading and
// writing properties, creating, storing and deleting children, and each namespace's own rules
// (taken names, lists, initial flags, methods such as Start or Add). The stand-ins hand these
// out as COM objects; the operations' host tests call them through the directory port. No
// Windows here: statuses are numbers, values are kx::Variant, the tree comes from a TreeStore.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "store.h"

namespace kxsim {

// A failure as the directory service reports it: its status and description.
struct SimError
{
    int32_t status;
    String description;
};

// HRESULT_FROM_WIN32 of a system error code.
constexpr int32_t from_win32(uint32_t code) { return static_cast<int32_t>(0x80070000u | (code & 0xFFFFu)); }

inline constexpr int32_t kAccessDenied = from_win32(5);
inline constexpr int32_t kMemberNotFound = static_cast<int32_t>(0x80020003);   // DISP_E_MEMBERNOTFOUND
inline constexpr int32_t kBadParamCount = static_cast<int32_t>(0x8002000E);    // DISP_E_BADPARAMCOUNT
inline constexpr int32_t kInvalidPath = static_cast<int32_t>(0x80005000);      // E_ADS_BAD_PATHNAME
inline constexpr int32_t kUnknownObject = static_cast<int32_t>(0x80005004);    // E_ADS_UNKNOWN_OBJECT
inline constexpr int32_t kPropertyNotFound = static_cast<int32_t>(0x8000500D); // E_ADS_PROPERTY_NOT_FOUND

SimError member_not_found();
SimError property_not_found();
// Fails as a late-bound call with the wrong number of arguments does.
void expect(const std::vector<Variant>& args, std::size_t n);

// Where a directory's tree is kept: a file shared between processes, or memory.
class TreeStore
{
public:
    virtual ~TreeStore() = default;
    // The tree as it is now; it never changes under the caller.
    virtual std::shared_ptr<const Tree> load() const = 0;
    // Loads, changes and keeps the tree in one step; a change that throws leaves it as it was.
    virtual void update(const std::function<void(Tree&)>& change) const = 0;
};

// What an object knows of its node: a copy, taken when it was bound.
struct NodeData
{
    String class_name;
    std::vector<String> path;  // names as stored, below the machine node
    std::vector<std::pair<String, Variant>> properties;
};

// An ADsPath taken apart: the host and the names below the machine node, and the class that
// the path names, if it names one ("WinNT://host/bob,user").
struct Location
{
    String host;
    std::vector<String> names;
    String class_name;
};

// What a namespace's own method answers: a value, or the objects of a collection.
struct Reply
{
    Variant value;
    bool is_collection = false;
    std::vector<NodeData> members;
};

class Entry;

class Rules
{
public:
    virtual ~Rules() = default;

    virtual const wchar_t* scheme() const = 0;      // "IIS": paths begin "IIS://", the namespace is "IIS:"
    virtual const wchar_t* root_class() const = 0;  // the class of the machine node
    // Read afresh for every step: tests name another store per test.
    virtual std::shared_ptr<const TreeStore> store() const = 0;
    // The name of the computer the directory runs on.
    virtual String computer_name() const = 0;

    // Takes apart what follows "SCHEME://"; by default the host, then names between "/".
    virtual Location locate(const String& rest) const;
    // Whether a path's host is this machine: localhost, 127.0.0.1 or the computer's name.
    bool this_machine(const String& host) const;
    // The host the namespace object names when it lists this machine.
    virtual String machine_name() const { return L"LocalHost"; }
    virtual SimError unreachable(const String& host) const = 0;
    // A missing object, of the class that was asked for (empty: any).
    virtual SimError not_found(const String& class_name) const = 0;
    // A new object whose name is taken; refused when the object is stored (SetInfo), since
    // Create only prepares the object.
    virtual SimError already_exists(const String& class_name) const = 0;
    // Whether GetObject and Delete find a child only under its own class.
    virtual bool lookup_by_class() const { return false; }
    // The class as the store keeps it ("user" becomes "User").
    virtual String canonical_class(const String& class_name) const { return class_name; }
    // Whether a node of this name and class may be added to the container; may throw.
    virtual void admit(const Node& container, const String& class_name, const String& name) const;
    // What a new node holds before its first SetInfo.
    virtual void initialise(NodeData& data) const {}
    // Called under the store's lock before a child is deleted.
    virtual void on_delete(Tree& tree, const Node& container, const Node& child) const {}

    // The step that storing a new node of the class is, for a refusal (empty: none refuses it).
    virtual String step_of(const String& class_name) const { return {}; }
    // Throws access denied when the simulated server's configuration refuses the step: the
    // list kRefusedSteps on the store's root, as a locked-down server would refuse it.
    void refuse(const Tree& tree, const String& step) const;

    // Called under the store's lock when a new node is first stored, with the values held for
    // it; may check them, change them, or throw as the provider refuses the new object.
    virtual void on_first_store(const Tree& tree, const NodeData& data,
                                std::vector<std::pair<String, Variant>>& pending) const {}

    // Reads that a locked-down server refuses to a caller without rights: the step's name, and
    // whether reading the node at that path is such a read (binding it, finding it with
    // GetObject, meeting it in a walk).
    virtual String read_step() const { return {}; }
    virtual bool guarded_read(const std::vector<String>& path) const { return false; }
    void refuse_read(const Tree& tree, const std::vector<String>& path) const;

    // Properties that hold a list: a single value written to one becomes a list of one.
    virtual bool multi_valued(const String& property) const { return false; }
    // Properties that the store keeps but no caller may read (the simulated server's own
    // records on the root among them).
    virtual bool hidden(const String& property) const;
    // A property that is one bit of another ("AccessRead" of "AccessFlags"): its name and bit.
    virtual std::optional<std::pair<String, int32_t>> flag_of(const String& property) const { return std::nullopt; }

    // Methods beyond IADs and IADsContainer, by name; call throws for one the object lacks.
    virtual std::vector<const wchar_t*> methods() const { return {}; }
    virtual Reply call(Entry& node, const String& method, const std::vector<Variant>& args) const;
};

// One bound object: its node as it was read, the changes not yet stored, and its filter. Every
// step reads or changes the store afresh.
class Entry
{
public:
    Entry(const Rules& rules, String host, NodeData data, bool stored);

    const Rules& rules() const { return rules_; }
    const String& host() const { return host_; }
    const NodeData& data() const { return data_; }
    String name() const;
    String class_name() const;
    String ads_path(std::size_t depth) const;
    String ads_path() const { return ads_path(data_.path.size()); }
    String parent() const;
    String schema() const;

    Variant read(const String& name) const;
    Variant read_as_list(const String& name) const;
    // A written value as the store keeps it, held until set_info.
    void write(const String& name, Variant value);
    // A value held for set_info that no caller could write (a namespace's own, such as a
    // password given before the object was first stored).
    void hold(const String& name, Variant value);
    bool stored() const { return stored_; }
    const std::vector<String>& filter() const { return filter_; }
    void set_filter(const Variant& classes);

    void get_info();
    void set_info();
    // The index-th child that the filter lets through, read from the store as it is now
    // (nothing past the last). Walks read by index, as the configuration store's EnumKeys
    // does: a child deleted during a walk shifts the rest down, and the walk skips one.
    // A walk passes its cursor so that the next index continues where the last one stopped
    // while the store has not changed there, instead of counting again from the first child.
    struct Cursor
    {
        std::shared_ptr<const Tree> tree;
        const Node* child = nullptr;
        std::size_t index = 0, position = 0;
    };
    std::optional<NodeData> child_at(std::size_t index, Cursor* cursor = nullptr) const;
    NodeData get_object(const String& cls, const String& relative) const;
    // A new child, not stored before its set_info.
    Entry create(const String& cls, const String& relative) const;
    void remove(const String& cls, const String& relative);
    // Changes the stored node under the store's lock; the object's view follows.
    void change_stored(const std::function<void(Tree&, Node&)>& change);
    Reply call(const String& method, const std::vector<Variant>& args);

private:
    const Rules& rules_;
    String host_;
    NodeData data_;
    bool stored_;
    std::vector<std::pair<String, Variant>> pending_;
    std::vector<String> filter_;
};

// The object at an ADsPath.
Entry open_entry(const Rules& rules, const String& path);

// The root's list of the steps that the simulated server refuses (create-site, add-member, ...).
inline constexpr wchar_t kRefusedSteps[] = L"RefusedSteps";

}  // namespace kxsim
