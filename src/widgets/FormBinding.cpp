#include "Forms.h"

#include "FormLayout.h"
#include "LayoutValues.h"

#include <QPalette>

#include <algorithm>
#include <cstdlib>

// How a form takes its stored layout: its own properties, then its controls, each bound to the
// field and handlers of the same names that the form publishes.

void TForm::applyLayout(const LayoutObject& layout, TPublisher& publisher)
{
    if (layout.className != ClassName())
        throw Exception("Window layout: it describes " + layout.className + ", not " + ClassName() + ".");
    Name = layout.name;
    for (const auto& [name, value] : layout.properties)
        applyFormProperty(name, value, publisher);
    applyColorAndFont();
    for (const LayoutObject& child : layout.children)
        addChild(child, publisher);
    if (!publisher.fields.empty())
        throw Exception("Window layout: no control for the field " + publisher.fields.begin()->first + ".");
    applyTabOrder();
}

void TForm::applyFormProperty(const std::string& name, const LayoutValue& value, TPublisher& publisher)
{
    QWidget* window = Widget();
    if (name == "Left") window->move(integerOf(name, value), window->y());
    else if (name == "Top") window->move(window->x(), integerOf(name, value));
    else if (name == "Width") window->resize(integerOf(name, value), window->height());
    else if (name == "Height") window->resize(window->width(), integerOf(name, value));
    else if (name == "Caption") SetText(value.text);
    else if (name == "Color") Color = colorOf(name, value);
    else if (name == "Font.Charset") Font.Charset = identifierOf(name, value);
    else if (name == "Font.Color") Font.Color = colorOf(name, value);
    else if (name == "Font.Height") Font.Height = integerOf(name, value);
    else if (name == "Font.Name") Font.Name = value.text;
    else if (name == "Font.Style") Font.Style = value.items;
    else if (name == "OldCreateOrder") OldCreateOrder = booleanOf(name, value);
    else if (name == "PixelsPerInch") PixelsPerInch = integerOf(name, value);
    else if (name == "TextHeight") TextHeight = integerOf(name, value);
    else if (name == "OnCreate") OnCreate = handlerOf(name, value, publisher.handlers);
    else if (name == "OnShow") OnShow = handlerOf(name, value, publisher.handlers);
    else throw Exception("Window layout: unknown property " + name + " of " + Name + ".");
}

// Once all of the form's properties are read, before its controls are made, so that they take
// the form's colours and font.
void TForm::applyColorAndFont()
{
    QWidget* window = Widget();
    QPalette palette = window->palette();
    palette.setColor(QPalette::Window, toQColor(Color));
    palette.setColor(QPalette::WindowText, toQColor(Font.Color));
    window->setPalette(palette);
    window->setAutoFillBackground(true);
    QFont font(QString::fromStdString(Font.Name));
    if (Font.Height != 0)
        font.setPixelSize(std::abs(Font.Height));
    for (const std::string& style : Font.Style) {
        if (style == "fsBold") font.setBold(true);
        else if (style == "fsItalic") font.setItalic(true);
        else if (style == "fsUnderline") font.setUnderline(true);
        else if (style == "fsStrikeOut") font.setStrikeOut(true);
    }
    window->setFont(font);
}

void TForm::applyTabOrder()
{
    std::vector<TControl*> tabbed;
    for (TComponent* component : Components())
        if (auto* control = dynamic_cast<TControl*>(component); control && control->TabOrder >= 0)
            tabbed.push_back(control);
    std::stable_sort(tabbed.begin(), tabbed.end(),
                     [](TControl* a, TControl* b) { return a->TabOrder < b->TabOrder; });
    for (std::size_t i = 1; i < tabbed.size(); ++i)
        QWidget::setTabOrder(tabbed[i - 1]->Widget(), tabbed[i]->Widget());
}

void TForm::addChild(const LayoutObject& layout, TPublisher& publisher)
{
    TControl* control;
    if (layout.className == "TButton") control = new TButton(this);
    else if (layout.className == "TLabel") control = new TLabel(this);
    else if (layout.className == "TImage") control = new TImage(this);
    else throw Exception("Window layout: unknown control class " + layout.className + ".");
    control->Name = layout.name;
    control->Widget()->setParent(Widget());
    applyControlProperties(control, layout, publisher);
    control->Widget()->show();

    const auto field = publisher.fields.find(layout.name);
    if (field == publisher.fields.end())
        throw Exception("Window layout: the form has no field " + layout.name + ".");
    if (!field->second(control))
        throw Exception("Window layout: " + layout.name + " is not of the field's class.");
    publisher.fields.erase(field);
}

void TForm::applyControlProperties(TControl* control, const LayoutObject& layout, TPublisher& publisher)
{
    int left = 0, top = 0, width = 0, height = 0;
    for (const auto& [name, value] : layout.properties) {
        if (name == "Left") left = integerOf(name, value);
        else if (name == "Top") top = integerOf(name, value);
        else if (name == "Width") width = integerOf(name, value);
        else if (name == "Height") height = integerOf(name, value);
        else if (name == "TabOrder") control->TabOrder = integerOf(name, value);
        else if (name == "Caption") control->SetText(value.text);
        else if (name == "OnClick" && layout.className == "TButton")
            static_cast<TButton*>(control)->OnClick = handlerOf(name, value, publisher.handlers);
        else throw Exception("Window layout: unknown property " + name + " of " + layout.name + ".");
    }
    // A label sizes itself to its caption; the stored size only places it.
    if (layout.className == "TLabel")
        control->SetBounds(left, top, control->Width(), control->Height());
    else
        control->SetBounds(left, top, width, height);
}
