// Automation objects created by their ProgID and called late bound, by name: the Winsock
// control and the data objects that the port probe and the database operations drive. Every
// call either succeeds or throws a Failure with the object's status and description.
#pragma once

#include <memory>
#include <vector>

#include "core/value.h"

namespace kx::automation {

class Object
{
public:
    virtual ~Object() = default;
    virtual Variant get(const String& property) = 0;
    virtual void put(const String& property, const Variant& value) = 0;
    // Sets a property to another object by reference (Set o.Property = other).
    virtual void put_object(const String& property, Object& value) = 0;
    virtual Variant call(const String& method, const std::vector<Variant>& args = {}) = 0;
};

class Automation
{
public:
    virtual ~Automation() = default;
    // A new object of the class that the ProgID names.
    virtual std::unique_ptr<Object> create(const String& progid) = 0;
};

}  // namespace kx::automation
