#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

// A stored window layout in the framework's text form:
//   object Name: TClass
//     Property = 12 | 'text' | Identifier | [Set, Items]
//     object Child: TClass ... end
//   end
struct LayoutValue {
    enum class Kind {
        Integer,
        String,
        Identifier,
        Set
    };
    Kind kind = Kind::Integer;
    std::int64_t integer = 0;
    std::string text;               // String (UTF-8) or Identifier
    std::vector<std::string> items; // Set
};

struct LayoutObject {
    std::string name;
    std::string className;
    std::vector<std::pair<std::string, LayoutValue>> properties;
    std::vector<LayoutObject> children;
};

// Raises an Exception naming the line for text that is not a layout.
LayoutObject ParseLayout(const std::string& text);
