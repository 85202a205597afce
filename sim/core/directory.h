// Simulated directory providers: objects bound from ADsPaths over a store, handed out as COM
// objects that implement IADs, IADsContainer and IDispatch by name. What all providers share
// lives here; each namespace states its own rules (paths, statuses, extra methods) in a
// Rules object of its own.
#pragma once

#include <windows.h>
#include <oaidl.h>

#include <functional>
#include <memory>
#include <vector>

#include "object.h"
#include "store_file.h"

namespace kxsim {

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

// The view of one bound object that a namespace's own methods work on.
class NodeContext
{
public:
    virtual ~NodeContext() = default;
    virtual const String& host() const = 0;
    virtual const NodeData& data() const = 0;
    // Changes the stored node under the store's lock; the object's view follows.
    virtual void change_stored(const std::function<void(Tree&, Node&)>& change) = 0;
    // An enumerable collection of the objects at these nodes.
    virtual IDispatch* collection(std::vector<NodeData> members) = 0;
};

class Rules
{
public:
    virtual ~Rules() = default;

    virtual const wchar_t* scheme() const = 0;      // "IIS": paths begin "IIS://", the namespace is "IIS:"
    virtual const wchar_t* root_class() const = 0;  // the class of the machine node
    virtual StoreFile store() const = 0;  // read afresh: tests name another store per test

    // Takes apart what follows "SCHEME://"; by default the host, then names between "/".
    virtual Location locate(const String& rest) const;
    // Whether a path's host is this machine: localhost, 127.0.0.1 or the computer's name.
    virtual bool this_machine(const String& host) const;
    // The host the namespace object names when it lists this machine.
    virtual String machine_name() const { return L"LocalHost"; }
    virtual SimError unreachable(const String& host) const = 0;
    // A missing object, of the class that was asked for (empty: any).
    virtual SimError not_found(const String& class_name) const = 0;
    // A new object whose name is taken.
    virtual SimError already_exists(const String& class_name) const = 0;
    // Whether Create already refuses a taken name (else only SetInfo does).
    virtual bool refuses_taken_name_at_create() const { return true; }
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

    // Properties that hold a list: a single value written to one becomes a list of one.
    virtual bool multi_valued(const String& property) const { return false; }
    // Properties that the store keeps but no caller may read.
    virtual bool hidden(const String& property) const { return false; }

    // Methods beyond IADs and IADsContainer, by name; call throws for one the object lacks.
    virtual std::vector<const wchar_t*> methods() const { return {}; }
    virtual void call(NodeContext& node, const String& method, const Arguments& args, VARIANT& out) const;
};

// The object at an ADsPath, with one reference.
HRESULT open_path(const Rules& rules, const String& path, IDispatch** object);

// The namespace object ("IIS:"), which opens objects for ADsOpenObject and OpenDSObject.
HRESULT make_namespace(const Rules& rules, REFIID riid, void** object);

// The status of a missing property.
SimError property_not_found();

// The root's list of the steps that the simulated server refuses (create-site, add-member, ...).
inline constexpr wchar_t kRefusedSteps[] = L"RefusedSteps";

}  // namespace kxsim
