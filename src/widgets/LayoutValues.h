#pragma once

#include "Classes.h"
#include "FormLayout.h"
#include "Graphics.h"

#include <QColor>

#include <map>
#include <string>

// The values of a stored layout read as what its properties hold. A value of the wrong kind
// raises an Exception naming the property.
QColor toQColor(TColor color);
int integerOf(const std::string& property, const LayoutValue& value);
std::string identifierOf(const std::string& property, const LayoutValue& value);
TColor colorOf(const std::string& property, const LayoutValue& value);
bool booleanOf(const std::string& property, const LayoutValue& value);
TNotifyEvent handlerOf(const std::string& property, const LayoutValue& value,
                       const std::map<std::string, TNotifyEvent>& handlers);
