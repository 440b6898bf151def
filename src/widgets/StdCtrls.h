#pragma once

#include "Controls.h"

// Sizes itself to its caption, so a longer caption widens it rather than being clipped.
class TLabel : public TControl {
public:
    explicit TLabel(TComponent* owner);

protected:
    void ShowText(QWidget* widget, const QString& text) override;
};

class TButton : public TControl {
public:
    explicit TButton(TComponent* owner);

    // A disabled button ignores clicks.
    void Click();

    TNotifyEvent OnClick;

protected:
    void ShowText(QWidget* widget, const QString& text) override;
};
