#include "LayoutValues.h"

#include "SysUtils.h"

#include <QApplication>
#include <QPalette>

namespace {

const std::map<std::string, TColor> colorNames = {
    {"clBlack", clBlack},
    {"clWhite", clWhite},
    {"clBtnFace", clBtnFace},
    {"clWindowText", clWindowText},
};

}

QColor toQColor(TColor color)
{
    if (color >= 0)
        return QColor(color & 0xFF, color >> 8 & 0xFF, color >> 16 & 0xFF);
    const QPalette palette = QApplication::palette();
    switch (color & 0xFF) {
    case 15: return palette.color(QPalette::Button);
    case 8: return palette.color(QPalette::WindowText);
    default: return palette.color(QPalette::Window);
    }
}

int integerOf(const std::string& property, const LayoutValue& value)
{
    if (value.kind != LayoutValue::Kind::Integer)
        throw Exception("Window layout: " + property + " must be a whole number.");
    return int(value.integer);
}

std::string identifierOf(const std::string& property, const LayoutValue& value)
{
    if (value.kind != LayoutValue::Kind::Identifier)
        throw Exception("Window layout: " + property + " must be a name.");
    return value.text;
}

TColor colorOf(const std::string& property, const LayoutValue& value)
{
    if (value.kind == LayoutValue::Kind::Integer)
        return TColor(value.integer);
    const auto it = colorNames.find(identifierOf(property, value));
    if (it == colorNames.end())
        throw Exception("Window layout: unknown colour " + value.text + ".");
    return it->second;
}

bool booleanOf(const std::string& property, const LayoutValue& value)
{
    const std::string text = identifierOf(property, value);
    if (text != "True" && text != "False")
        throw Exception("Window layout: " + property + " must be True or False.");
    return text == "True";
}

TNotifyEvent handlerOf(const std::string& property, const LayoutValue& value,
                       const std::map<std::string, TNotifyEvent>& handlers)
{
    const auto it = handlers.find(identifierOf(property, value));
    if (it == handlers.end())
        throw Exception("Window layout: " + property + " names " + value.text + ", which the form does not have.");
    return it->second;
}
