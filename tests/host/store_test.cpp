// The simulated store's text form.
#include <gtest/gtest.h>

#include "store.h"

namespace kxsim {
namespace {

TEST(Store, TextFormKeepsEveryNodePropertyTypeAndOrder)
{
    Tree tree;
    tree.root.add(L"IIsWebService", L"W3SVC").add(L"IIsWebServer", L"1");
    Node& odd = tree.find({L"W3SVC"})->add(L"IIsWebServer", L"01");
    odd.set(L"ServerComment", Variant(String(L"quote \" back\\slash \u00e9\u4e2d\ttab", 21)));
    odd.set(L"ServerSize", Variant(int32_t(-2147483647 - 1)));
    odd.set(L"LogType", Variant(int16_t(-1)));
    odd.set(L"AccessRead", Variant(false));
    odd.set(L"SecureBindings", Variant(Variant::List{}));
    tree.root.set(L"RefusedSteps", Variant(Variant::List{Variant(String(L"create-site"))}));  // the machine's own
    const std::string text = serialize(tree, "a store");
    const Tree back = parse(text);
    EXPECT_EQ(serialize(back, "a store"), text);
    const Node* site = const_cast<Tree&>(back).find({L"w3svc", L"01"});
    ASSERT_NE(site, nullptr);
    EXPECT_EQ(*site->property(L"servercomment"), *odd.property(L"ServerComment"));
    EXPECT_EQ(*site->property(L"ServerSize"), Variant(int32_t(-2147483647 - 1)));
    EXPECT_EQ(*site->property(L"LogType"), Variant(int16_t(-1)));
    EXPECT_EQ(*site->property(L"SecureBindings"), Variant(Variant::List{}));
    EXPECT_EQ(*back.root.property(L"RefusedSteps"), *tree.root.property(L"RefusedSteps"));
    // Children keep the order they were created in.
    const Node* web = const_cast<Tree&>(back).find({L"W3SVC"});
    ASSERT_EQ(web->children.size(), 2u);
    EXPECT_EQ(web->children[0]->name, L"1");
    EXPECT_EQ(web->children[1]->name, L"01");
    for (char c : text)
        EXPECT_TRUE(c == '\n' || (c >= 0x20 && c < 0x7F)) << "not plain text: " << int(c);
}

TEST(Store, ADamagedStoreNamesTheLineAndNeverComesOutEmpty)
{
    const char* damaged[] = {
        "node IIsWebService \"W3SVC\"\n  ServerComment string \"open\n",
        "node IIsWebServer \"W3SVC/1\"\n",
        "node IIsWebService \"W3SVC\"\n  LogType int16 70000\n",
        "node IIsWebService \"W3SVC\"\n  LogType float 1\n",
        "node IIsWebService \"W3SVC\"\nnode IIsWebService \"w3svc\"\n",
        "garbage\n",
        "node IIsWebService \"W3SVC\"\n  AccessRead bool yes\n",
    };
    for (const char* text : damaged) {
        try {
            parse(text);
            ADD_FAILURE() << "accepted: " << text;
        } catch (const DamagedStore& damage) {
            EXPECT_GE(damage.line, 1) << text;
            EXPECT_NE(std::string(damage.what()).find("line "), std::string::npos);
        }
    }
    EXPECT_NO_THROW(parse("# comment only\n\n"));
}

}  // namespace
}  // namespace kxsim
