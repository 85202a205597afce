#include <gtest/gtest.h>

#include <fstream>
#include <set>
#include <string>

#include "frame/catalogue.h"
#include "frame/operation_binding.h"

namespace kx {
namespace {

TEST(Catalogue, HoldsFiftyOneClassesEachWithAMemberOfItsName)
{
    const auto& library = catalogue::library();
    EXPECT_STREQ(library.name, "Kestrix");
    EXPECT_EQ(library.classes.size(), 51u);
    std::set<std::string> names;
    for (const auto& cls : library.classes) {
        names.insert(cls.name);
        ASSERT_FALSE(cls.members.empty()) << cls.name;
        EXPECT_NE(catalogue::find_member(cls, cls.name), nullptr) << cls.name;
    }
    EXPECT_EQ(names.size(), 51u);
}

TEST(Catalogue, EveryMemberIsBuiltAndFitsItsEntry)
{
    for (const auto& cls : catalogue::library().classes)
        for (const auto& member : cls.members)
            EXPECT_NE(operations::find(cls.name, member.name), nullptr) << cls.name << "." << member.name;
    for (const auto& operation : operations::all()) {
        const auto* cls = catalogue::find_class(operation.cls);
        ASSERT_NE(cls, nullptr) << operation.cls;
        const auto* member = catalogue::find_member(*cls, operation.member);
        ASSERT_NE(member, nullptr) << operation.member;
        EXPECT_STREQ(member->name, operation.member);
        EXPECT_TRUE(operations::fits(operation, *member)) << operation.cls << "." << operation.member;
    }
}

// Stand-ins for a written parameter (binding must see the non-const reference) and for a
// parameter of another type.
int32_t writes_second(Platform&, const String&, String&) { return 0; }
int32_t counts_second(Platform&, const String&, int32_t) { return 0; }

TEST(Catalogue, FitRefusesAWrittenParameterThatTheCataloguePassesByValueOrOneOfAnotherType)
{
    constexpr auto operation = operations::bind<&writes_second>("portscan", "portscan");
    const auto& portscan = *catalogue::find_class("portscan");
    EXPECT_FALSE(operations::fits(operation, portscan.members[0]));  // Port goes in by value
    EXPECT_FALSE(operations::fits(operations::bind<&counts_second>("portscan", "portscan"), portscan.members[0]));
    EXPECT_TRUE(operation.params[1].writes);
    EXPECT_FALSE(operation.params[0].writes);
}

// The reference describes exactly the classes and members of the catalogue: a section for
// each class, and one for each member in a class that has several.
TEST(Reference, DescribesEveryClassAndMemberAndNothingElse)
{
    std::ifstream in(KX_REFERENCE);
    ASSERT_TRUE(in) << KX_REFERENCE;
    std::set<std::string> described, expected;
    std::string line, current;
    while (std::getline(in, line)) {
        if (line.rfind("## ", 0) == 0)
            described.insert(current = line.substr(3));
        else if (line.rfind("### ", 0) == 0)
            described.insert(current + "." + line.substr(4));
    }
    for (const auto& cls : catalogue::library().classes) {
        expected.insert(cls.name);
        if (cls.members.size() > 1)
            for (const auto& member : cls.members)
                expected.insert(std::string(cls.name) + "." + member.name);
    }
    EXPECT_EQ(described, expected);
}

}  // namespace
}  // namespace kx
