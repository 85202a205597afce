#include "store.h"

#include <algorithm>
#include <cstdio>
#include <sstream>

namespace kxsim {

Node::Node(const Node& other) : class_name(other.class_name), name(other.name), properties(other.properties)
{
    children.reserve(other.children.size());
    for (const auto& child : other.children)
        children.push_back(std::make_unique<Node>(*child));
}

Node& Node::operator=(const Node& other)
{
    if (this != &other)
        *this = Node(other);
    return *this;
}

const Variant* Node::property(const String& name) const
{
    for (const auto& [key, value] : properties)
        if (same_name(key, name))
            return &value;
    return nullptr;
}

void Node::set(const String& name, Variant value)
{
    for (auto& [key, existing] : properties)
        if (same_name(key, name)) {
            existing = std::move(value);
            return;
        }
    properties.emplace_back(name, std::move(value));
}

Node* Node::child(const String& name) const
{
    for (const auto& c : children)
        if (same_name(c->name, name))
            return c.get();
    return nullptr;
}

Node& Node::add(const String& cls, const String& child_name)
{
    children.push_back(std::make_unique<Node>());
    children.back()->class_name = cls;
    children.back()->name = child_name;
    return *children.back();
}

bool Node::remove(const String& child_name)
{
    const auto found = std::find_if(children.begin(), children.end(),
                                    [&](const auto& c) { return same_name(c->name, child_name); });
    if (found == children.end())
        return false;
    children.erase(found);
    return true;
}

Node* Tree::find(const std::vector<String>& path)
{
    Node* node = &root;
    for (const String& part : path)
        if (!(node = node->child(part)))
            return nullptr;
    return node;
}

const Node* Tree::find(const std::vector<String>& path) const { return const_cast<Tree*>(this)->find(path); }

DamagedStore::DamagedStore(int at, const std::string& what)
    : std::runtime_error("line " + std::to_string(at) + ": " + what), line(at)
{
}

// --- text form ---------------------------------------------------------------------------
//
//   node IIsWebServer "W3SVC/1"
//     ServerComment string "Default Web Site"
//     ServerBindings list ":80:" ":8080:"
//     LogType int16 1
//     ServerSize int32 1
//     AccessRead bool true
//
// Text is ASCII; quotes, backslashes and anything outside printable ASCII are escaped.

namespace {

std::string quoted(const String& text)
{
    std::string out = "\"";
    for (wchar_t c : text) {
        if (c == L'"' || c == L'\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c >= 0x20 && c < 0x7F) {
            out += static_cast<char>(c);
        } else {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned>(c) & 0xFFFF);
            out += escape;
        }
    }
    return out + "\"";
}

std::string path_text(const std::vector<String>& path)
{
    String joined;
    for (const String& part : path)
        joined += (joined.empty() ? L"" : L"/") + part;
    return quoted(joined);
}

void write_properties(const Node& node, std::ostringstream& out)
{
    for (const auto& [name, value] : node.properties) {
        out << "  ";
        for (wchar_t c : name)
            out << static_cast<char>(c < 0x80 ? c : '?');
        if (value.holds<String>())
            out << " string " << quoted(value.as<String>());
        else if (value.holds<int16_t>())
            out << " int16 " << value.as<int16_t>();
        else if (value.holds<int32_t>())
            out << " int32 " << value.as<int32_t>();
        else if (value.holds<bool>())
            out << " bool " << (value.as<bool>() ? "true" : "false");
        else if (value.holds<Variant::List>()) {
            out << " list";
            for (const Variant& item : value.as<Variant::List>())
                out << " " << quoted(item.holds<String>() ? item.as<String>() : String());
        }
        out << "\n";
    }
}

void write_node(const Node& node, std::vector<String>& path, std::ostringstream& out)
{
    for (const auto& child : node.children) {
        path.push_back(child->name);
        out << "node ";
        for (wchar_t c : child->class_name)
            out << static_cast<char>(c < 0x80 ? c : '?');
        out << " " << path_text(path) << "\n";
        write_properties(*child, out);
        write_node(*child, path, out);
        path.pop_back();
    }
}

class LineReader
{
public:
    LineReader(const std::string& line, int number) : line_(line), number_(number) {}

    bool done()
    {
        skip();
        return at_ >= line_.size();
    }

    std::string word()
    {
        skip();
        const std::size_t start = at_;
        while (at_ < line_.size() && line_[at_] != ' ')
            ++at_;
        if (start == at_)
            fail("a word is missing");
        return line_.substr(start, at_ - start);
    }

    String text()
    {
        skip();
        if (at_ >= line_.size() || line_[at_] != '"')
            fail("a quoted text is missing");
        ++at_;
        String out;
        for (;;) {
            if (at_ >= line_.size())
                fail("a quoted text is not closed");
            const char c = line_[at_++];
            if (c == '"')
                return out;
            if (c != '\\') {
                out += static_cast<wchar_t>(static_cast<unsigned char>(c));
                continue;
            }
            if (at_ >= line_.size())
                fail("an escape is cut short");
            const char e = line_[at_++];
            if (e == '"' || e == '\\') {
                out += static_cast<wchar_t>(e);
            } else if (e == 'u' && at_ + 4 <= line_.size()) {
                unsigned code = 0;
                if (std::sscanf(line_.substr(at_, 4).c_str(), "%4x", &code) != 1)
                    fail("a bad \\u escape");
                out += static_cast<wchar_t>(code);
                at_ += 4;
            } else {
                fail("a bad escape");
            }
        }
    }

    long number(long low, long high)
    {
        const std::string w = word();
        char* end = nullptr;
        const long value = std::strtol(w.c_str(), &end, 10);
        if (*end || value < low || value > high)
            fail("a bad number " + w);
        return value;
    }

    [[noreturn]] void fail(const std::string& what) { throw DamagedStore(number_, what); }

private:
    void skip()
    {
        while (at_ < line_.size() && line_[at_] == ' ')
            ++at_;
    }

    const std::string& line_;
    int number_;
    std::size_t at_ = 0;
};

}  // namespace

Tree parse(const std::string& text)
{
    Tree tree;
    Node* current = &tree.root;  // properties before the first node are the machine's own
    std::istringstream in(text);
    std::string line;
    int number = 0;
    while (std::getline(in, line)) {
        ++number;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.empty() || line[0] == '#')
            continue;
        LineReader reader(line, number);
        if (line.compare(0, 5, "node ") == 0) {
            reader.word();
            const std::string cls = reader.word();
            std::vector<String> path = split_path(reader.text());
            if (!reader.done())
                reader.fail("unexpected text after the node");
            if (path.empty())
                reader.fail("a node without a path");
            const String name = path.back();
            path.pop_back();
            Node* parent = tree.find(path);
            if (!parent)
                reader.fail("a node before its parent");
            if (parent->child(name))
                reader.fail("a node twice");
            current = &parent->add(String(cls.begin(), cls.end()), name);
            continue;
        }
        if (line[0] != ' ')
            reader.fail("neither a node nor a property");
        const std::string name = reader.word(), type = reader.word();
        Variant value;
        if (type == "string")
            value = reader.text();
        else if (type == "int16")
            value = static_cast<int16_t>(reader.number(-32768, 32767));
        else if (type == "int32")
            value = static_cast<int32_t>(reader.number(-2147483647L - 1, 2147483647L));
        else if (type == "bool") {
            const std::string w = reader.word();
            if (w != "true" && w != "false")
                reader.fail("a bad boolean " + w);
            value = w == "true";
        } else if (type == "list") {
            Variant::List items;
            while (!reader.done())
                items.emplace_back(reader.text());
            value = std::move(items);
        } else {
            reader.fail("an unknown type " + type);
        }
        if (!reader.done())
            reader.fail("unexpected text after the value");
        current->set(String(name.begin(), name.end()), std::move(value));
    }
    return tree;
}

std::string serialize(const Tree& tree, const std::string& title)
{
    std::ostringstream out;
    out << "# " << title << "\n";
    write_properties(tree.root, out);
    std::vector<String> path;
    write_node(tree.root, path, out);
    return out.str();
}

}  // namespace kxsim
