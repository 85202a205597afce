// Directory objects as the operations reach them: the web server's configuration store
// (IIS:), the local account database (WinNT:) and LDAP servers (LDAP:). Method, property and
// path names are matched without regard to case, as the directory service does. Every call
// either succeeds or throws a Failure with the service's status.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "core/value.h"

namespace kx::directory {

class Object;

// Walks the direct children of a container, each once, in the store's order.
class Children
{
public:
    virtual ~Children() = default;
    // The next child, or null at the end.
    virtual std::unique_ptr<Object> next() = 0;
};

class Object
{
public:
    virtual ~Object() = default;

    virtual String name() = 0;
    virtual String class_name() = 0;

    // Property read and write by name (object.Property). A multi-valued property reads as a
    // list with lower bound 0; a written value is held until set_info.
    virtual Variant property(const String& name) = 0;
    virtual void set_property(const String& name, const Variant& value) = 0;

    // Get and Put by name; get_info reloads the object from the store, set_info commits it.
    virtual Variant get(const String& name) = 0;
    virtual void put(const String& name, const Variant& value) = 0;
    virtual void get_info() = 0;
    virtual void set_info() = 0;

    // Container operations.
    virtual std::unique_ptr<Children> children() = 0;
    virtual void set_filter(const std::vector<String>& classes) = 0;
    virtual std::unique_ptr<Object> create(const String& class_name, const String& name) = 0;
    virtual void remove(const String& class_name, const String& name) = 0;
    virtual std::unique_ptr<Object> child(const String& class_name, const String& relative_name) = 0;

    // A method of the object by name: Start, Stop, AppDelete, SetPassword, Add, Remove.
    virtual Variant call(const String& method, const std::vector<Variant>& args = {}) = 0;

    // On a namespace object ("LDAP:"): the object at a path, bound with credentials.
    virtual std::unique_ptr<Object> open_ds_object(const String& path, const String& user, const String& password,
                                                   int32_t flags) = 0;
};

class Directory
{
public:
    virtual ~Directory() = default;
    // The object at an ADsPath.
    virtual std::unique_ptr<Object> bind(const String& path) = 0;
    // The object at an ADsPath, opened with credentials on its namespace object.
    virtual std::unique_ptr<Object> bind_with_credentials(const String& path, const String& user,
                                                          const String& password, int32_t flags) = 0;
};

// Visits every direct child of a container in the store's order.
template <class Visit>
void for_each_child(Object& container, Visit&& visit)
{
    auto walk = container.children();
    while (auto child = walk->next())
        visit(*child);
}

}  // namespace kx::directory
