// The fixture of the operations' tests: a platform of fakes set up by reset() before each test
// (and again wherever a test wants a fresh start), and after each test the check that every
// directory object the operation took was released.
#pragma once

#include <gtest/gtest.h>

#include "fake_platform.h"
#include "web_rules.h"

namespace kx::test {

using kxsim::Node;

class OperationTest : public ::testing::Test
{
protected:
    static constexpr int32_t kAccessDenied = static_cast<int32_t>(0x80070005);  // the status of a failing step

    virtual void reset() {}
    void SetUp() override { reset(); }
    void TearDown() override { EXPECT_EQ(directory.live_objects, 0) << "an object was not released"; }

    // The status of the failure a call raises, or 0.
    template <class F>
    static int32_t status_of(F&& call)
    {
        try {
            call();
        } catch (const Failure& failure) {
            return failure.status();
        }
        return 0;
    }

    // A stored property's value; empty when the node or the property is missing. A flag is
    // read as the store keeps it, as one bit of its flags property.
    static Variant value_of(const Node* node, const String& name)
    {
        const auto flag = kxsim::iis::flag_bit(name);
        const Variant* value = node ? node->property(flag ? flag->first : name) : nullptr;
        if (value && flag && value->holds<int32_t>())
            return Variant((value->as<int32_t>() & flag->second) != 0);
        return value ? *value : Variant();
    }

    FakePlatform fake;
    Platform& platform = fake.platform;
    SimulatedDirectory& directory = fake.directory;
};

}  // namespace kx::test
