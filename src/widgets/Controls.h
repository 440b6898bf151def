#pragma once

#include "Classes.h"

#include <QPointer>
#include <QWidget>

#include <string>

// A control over one Qt widget. Its setters may be called from any thread: off the window's
// thread they are carried to it and take effect in the order they were made.
class TControl : public TComponent {
public:
    TControl(TComponent* owner, QWidget* widget);
    ~TControl() override;

    QWidget* Widget() const { return widget_; }

    void SetBounds(int left, int top, int width, int height);
    int Left() const { return widget_->x(); }
    int Top() const { return widget_->y(); }
    int Width() const { return widget_->width(); }
    int Height() const { return widget_->height(); }

    void SetEnabled(bool enabled);
    bool Enabled() const { return widget_->isEnabled(); }

    // The caption, as bytes in the ANSI code page.
    void SetText(const std::string& text);
    std::string Text() const;

    void Refresh();

    int TabOrder = -1;

protected:
    virtual void ShowText(QWidget* widget, const QString& text) = 0;

private:
    template <class Change> void change(Change change);

    QPointer<QWidget> widget_;
};
