#include "StdCtrls.h"

#include <QLabel>
#include <QPushButton>

TLabel::TLabel(TComponent* owner)
    : TControl(owner, new QLabel)
{
}

void TLabel::ShowText(QWidget* widget, const QString& text)
{
    auto* label = static_cast<QLabel*>(widget);
    label->setText(text);
    label->adjustSize();
}

TButton::TButton(TComponent* owner)
    : TControl(owner, new QPushButton)
{
    QObject::connect(static_cast<QPushButton*>(Widget()), &QPushButton::clicked, Widget(),
                     [this] { CallSafely([this] { if (OnClick) OnClick(this); }); });
}

void TButton::Click()
{
    if (Enabled())
        static_cast<QPushButton*>(Widget())->click();
}

void TButton::ShowText(QWidget* widget, const QString& text)
{
    static_cast<QPushButton*>(widget)->setText(text);
}
