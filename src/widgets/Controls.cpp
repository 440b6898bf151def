#include "Controls.h"

#include "AnsiText.h"

#include <QByteArray>
#include <QVariant>

namespace {

const char* const ansiTextProperty = "ansiText";

}

TControl::TControl(TComponent* owner, QWidget* widget)
    : TComponent(owner), widget_(widget)
{
}

TControl::~TControl()
{
    delete widget_.data();
}

// The change touches only the widget, guarded, so a queued change to a control released in the
// meantime does nothing.
template <class Change> void TControl::change(Change change)
{
    if (WindowThread::IsCurrent()) {
        if (widget_)
            change(widget_.data());
        return;
    }
    WindowThread::Post([widget = widget_, change] {
        if (widget)
            change(widget.data());
    });
}

void TControl::SetBounds(int left, int top, int width, int height)
{
    change([=](QWidget* widget) { widget->setGeometry(left, top, width, height); });
}

void TControl::SetEnabled(bool enabled)
{
    change([enabled](QWidget* widget) { widget->setEnabled(enabled); });
}

void TControl::SetText(const std::string& text)
{
    change([this, text](QWidget* widget) {
        widget->setProperty(ansiTextProperty, QByteArray(text.data(), qsizetype(text.size())));
        ShowText(widget, AnsiToUnicode(text));
    });
}

std::string TControl::Text() const
{
    return widget_->property(ansiTextProperty).toByteArray().toStdString();
}

void TControl::Refresh()
{
    change([](QWidget* widget) { widget->repaint(); });
}
