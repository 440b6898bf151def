#include "FormLayout.h"

#include "SysUtils.h"

#include <cctype>
#include <sstream>

namespace {

class Parser {
public:
    explicit Parser(const std::string& text)
        : input_(text) {}

    LayoutObject document()
    {
        if (!next())
            error("the layout is empty");
        LayoutObject root = object();
        if (next())
            error("text after the last 'end'");
        return root;
    }

private:
    bool next()
    {
        while (std::getline(input_, line_)) {
            ++lineNumber_;
            const auto first = line_.find_first_not_of(" \t\r");
            if (first == std::string::npos)
                continue;
            const auto last = line_.find_last_not_of(" \t\r");
            line_ = line_.substr(first, last - first + 1);
            return true;
        }
        return false;
    }

    [[noreturn]] void error(const std::string& what) const
    {
        throw Exception("Window layout, line " + std::to_string(lineNumber_) + ": " + what + ".");
    }

    LayoutObject object()
    {
        LayoutObject result;
        const auto colon = line_.find(':');
        if (line_.rfind("object ", 0) != 0 || colon == std::string::npos)
            error("expected 'object Name: TClass'");
        result.name = trim(line_.substr(7, colon - 7));
        result.className = trim(line_.substr(colon + 1));
        if (result.name.empty() || result.className.empty())
            error("expected 'object Name: TClass'");
        while (true) {
            if (!next())
                error("missing 'end' of object " + result.name);
            if (line_ == "end")
                return result;
            if (line_.rfind("object ", 0) == 0)
                result.children.push_back(object());
            else
                result.properties.push_back(property());
        }
    }

    std::pair<std::string, LayoutValue> property()
    {
        const auto equals = line_.find('=');
        if (equals == std::string::npos)
            error("expected 'Property = value'");
        const std::string name = trim(line_.substr(0, equals));
        const std::string text = trim(line_.substr(equals + 1));
        if (name.empty() || text.empty())
            error("expected 'Property = value'");
        return {name, value(text)};
    }

    LayoutValue value(const std::string& text)
    {
        LayoutValue result;
        if (text.front() == '\'') {
            result.kind = LayoutValue::Kind::String;
            result.text = quoted(text);
        } else if (text.front() == '[') {
            if (text.back() != ']')
                error("a set must end with ']'");
            result.kind = LayoutValue::Kind::Set;
            std::stringstream items(text.substr(1, text.size() - 2));
            for (std::string item; std::getline(items, item, ',');)
                if (!trim(item).empty())
                    result.items.push_back(trim(item));
        } else if (text.front() == '-' || std::isdigit(static_cast<unsigned char>(text.front()))) {
            result.kind = LayoutValue::Kind::Integer;
            try {
                std::size_t used = 0;
                result.integer = std::stoll(text, &used);
                if (used != text.size())
                    error("'" + text + "' is not a whole number");
            } catch (const std::logic_error&) {
                error("'" + text + "' is not a whole number");
            }
        } else {
            result.kind = LayoutValue::Kind::Identifier;
            result.text = text;
        }
        return result;
    }

    std::string quoted(const std::string& text)
    {
        std::string result;
        std::size_t i = 1;
        for (; i < text.size(); ++i) {
            if (text[i] != '\'') {
                result += text[i];
            } else if (i + 1 < text.size() && text[i + 1] == '\'') {
                result += '\'';
                ++i;
            } else {
                break;
            }
        }
        if (i + 1 != text.size())
            error("unterminated or trailing text in " + text);
        return result;
    }

    static std::string trim(const std::string& text)
    {
        const auto first = text.find_first_not_of(" \t");
        if (first == std::string::npos)
            return {};
        return text.substr(first, text.find_last_not_of(" \t") - first + 1);
    }

    std::istringstream input_;
    std::string line_;
    int lineNumber_ = 0;
};

}

LayoutObject ParseLayout(const std::string& text)
{
    return Parser(text).document();
}
