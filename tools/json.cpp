#include "json.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace kx::json {

const Value* Value::member(const std::u16string& name) const
{
    if (const Object* object = std::get_if<Object>(&data))
        for (const auto& [key, value] : *object)
            if (key == name)
                return &value;
    return nullptr;
}

std::u16string from_utf8(const std::string& utf8)
{
    std::u16string out;
    for (std::size_t i = 0; i < utf8.size();) {
        const unsigned char c = utf8[i];
        int extra = c < 0x80 ? 0 : (c >> 5) == 6 ? 1 : (c >> 4) == 14 ? 2 : (c >> 3) == 30 ? 3 : -1;
        if (extra < 0 || i + extra > utf8.size() - 1)
            throw SyntaxError("invalid UTF-8");
        char32_t code = extra == 0 ? c : c & (0x3F >> extra);
        for (int k = 1; k <= extra; ++k) {
            const unsigned char next = utf8[i + k];
            if ((next >> 6) != 2)
                throw SyntaxError("invalid UTF-8");
            code = (code << 6) | (next & 0x3F);
        }
        i += 1 + extra;
        if (code >= 0x10000) {
            code -= 0x10000;
            out += static_cast<char16_t>(0xD800 + (code >> 10));
            out += static_cast<char16_t>(0xDC00 + (code & 0x3FF));
        } else {
            out += static_cast<char16_t>(code);
        }
    }
    return out;
}

namespace {

class Parser
{
public:
    explicit Parser(const std::string& text) : text_(text) {}

    Value document()
    {
        Value v = value();
        skip_space();
        if (at_ < text_.size())
            fail("unexpected text after the value");
        return v;
    }

private:
    [[noreturn]] void fail(const std::string& what)
    {
        throw SyntaxError(what + " at offset " + std::to_string(at_));
    }

    void skip_space()
    {
        while (at_ < text_.size() && (text_[at_] == ' ' || text_[at_] == '\t' || text_[at_] == '\n' || text_[at_] == '\r'))
            ++at_;
    }

    bool take(char c)
    {
        skip_space();
        if (at_ < text_.size() && text_[at_] == c) {
            ++at_;
            return true;
        }
        return false;
    }

    void expect(char c)
    {
        if (!take(c))
            fail(std::string("expected '") + c + "'");
    }

    bool word(const char* w)
    {
        const std::size_t n = std::char_traits<char>::length(w);
        if (text_.compare(at_, n, w) == 0) {
            at_ += n;
            return true;
        }
        return false;
    }

    Value value()
    {
        skip_space();
        if (at_ >= text_.size())
            fail("unexpected end");
        const char c = text_[at_];
        if (c == '{')
            return object();
        if (c == '[')
            return array();
        if (c == '"')
            return Value{string()};
        if (word("null"))
            return Value{nullptr};
        if (word("true"))
            return Value{true};
        if (word("false"))
            return Value{false};
        return number();
    }

    Value object()
    {
        expect('{');
        Object members;
        if (take('}'))
            return Value{members};
        do {
            skip_space();
            if (at_ >= text_.size() || text_[at_] != '"')
                fail("expected a member name");
            std::u16string key = string();
            expect(':');
            members.emplace_back(std::move(key), value());
        } while (take(','));
        expect('}');
        return Value{members};
    }

    Value array()
    {
        expect('[');
        Array items;
        if (take(']'))
            return Value{items};
        do
            items.push_back(value());
        while (take(','));
        expect(']');
        return Value{items};
    }

    unsigned hex4()
    {
        if (at_ + 4 > text_.size())
            fail("short \\u escape");
        unsigned v = 0;
        for (int k = 0; k < 4; ++k) {
            const char h = text_[at_++];
            v <<= 4;
            if (h >= '0' && h <= '9')
                v |= h - '0';
            else if (h >= 'a' && h <= 'f')
                v |= h - 'a' + 10;
            else if (h >= 'A' && h <= 'F')
                v |= h - 'A' + 10;
            else
                fail("bad \\u escape");
        }
        return v;
    }

    std::u16string string()
    {
        ++at_;  // the opening quote
        std::string raw;
        std::u16string out;
        auto flush = [&] {
            out += from_utf8(raw);
            raw.clear();
        };
        for (;;) {
            if (at_ >= text_.size())
                fail("unterminated string");
            const char c = text_[at_++];
            if (c == '"')
                break;
            if (static_cast<unsigned char>(c) < 0x20)
                fail("control character in string");
            if (c != '\\') {
                raw += c;
                continue;
            }
            flush();
            if (at_ >= text_.size())
                fail("unterminated escape");
            switch (const char e = text_[at_++]) {
            case '"': out += u'"'; break;
            case '\\': out += u'\\'; break;
            case '/': out += u'/'; break;
            case 'b': out += u'\b'; break;
            case 'f': out += u'\f'; break;
            case 'n': out += u'\n'; break;
            case 'r': out += u'\r'; break;
            case 't': out += u'\t'; break;
            case 'u': out += static_cast<char16_t>(hex4()); break;
            default: fail(std::string("bad escape \\") + e);
            }
        }
        flush();
        return out;
    }

    Value number()
    {
        const std::size_t start = at_;
        if (at_ < text_.size() && text_[at_] == '-')
            ++at_;
        auto digits = [&] {
            const std::size_t from = at_;
            while (at_ < text_.size() && text_[at_] >= '0' && text_[at_] <= '9')
                ++at_;
            return at_ > from;
        };
        if (!digits())
            fail("unexpected character");
        if (at_ < text_.size() && text_[at_] == '.') {
            ++at_;
            if (!digits())
                fail("bad number");
        }
        if (at_ < text_.size() && (text_[at_] == 'e' || text_[at_] == 'E')) {
            ++at_;
            if (at_ < text_.size() && (text_[at_] == '+' || text_[at_] == '-'))
                ++at_;
            if (!digits())
                fail("bad number");
        }
        return Value{std::strtod(text_.substr(start, at_ - start).c_str(), nullptr)};
    }

    const std::string& text_;
    std::size_t at_ = 0;
};

}  // namespace

Value parse(const std::string& utf8) { return Parser(utf8).document(); }

std::string quote(const std::u16string& text)
{
    std::string out = "\"";
    for (char16_t c : text) {
        if (c == u'"')
            out += "\\\"";
        else if (c == u'\\')
            out += "\\\\";
        else if (c >= 0x20 && c < 0x7F)
            out += static_cast<char>(c);
        else {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned>(c));
            out += escape;
        }
    }
    return out + "\"";
}

std::string write(const Value& value)
{
    return std::visit(
        [](const auto& v) -> std::string {
            using T = std::decay_t<decltype(v)>;
            if constexpr (std::is_same_v<T, std::nullptr_t>) {
                return "null";
            } else if constexpr (std::is_same_v<T, bool>) {
                return v ? "true" : "false";
            } else if constexpr (std::is_same_v<T, double>) {
                char number[32];
                if (std::floor(v) == v && std::fabs(v) < 1e15)
                    std::snprintf(number, sizeof number, "%.0f", v);
                else
                    std::snprintf(number, sizeof number, "%.17g", v);
                return number;
            } else if constexpr (std::is_same_v<T, std::u16string>) {
                return quote(v);
            } else if constexpr (std::is_same_v<T, Array>) {
                std::string out = "[";
                for (std::size_t i = 0; i < v.size(); ++i)
                    out += (i ? ", " : "") + write(v[i]);
                return out + "]";
            } else {
                std::string out = "{";
                for (std::size_t i = 0; i < v.size(); ++i)
                    out += (i ? ", " : "") + quote(v[i].first) + ": " + write(v[i].second);
                return out + "}";
            }
        },
        value.data);
}

}  // namespace kx::json
