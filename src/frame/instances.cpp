// The generated instance classes, one per catalogue class.
#include "frame/instance.h"
#include "interfaces.h"

namespace kx::frame {
namespace {

using InstanceMaker = IUnknown* (*)();

#include "classes.inc"

}  // namespace

IUnknown* make_instance(std::size_t class_index)
{
    if (class_index >= std::size(instance_makers))
        return nullptr;
    return instance_makers[class_index]();
}

}  // namespace kx::frame
