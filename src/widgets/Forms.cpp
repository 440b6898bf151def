#include "Forms.h"

#include "FormLayout.h"

#include <QCloseEvent>
#include <QFile>

namespace {

class FormWindow : public QWidget {
public:
    std::function<void()> onClose;

protected:
    void closeEvent(QCloseEvent* event) override
    {
        event->accept();
        if (onClose)
            onClose();
    }
};

}

TForm::TForm(TComponent* owner)
    : TControl(owner, new FormWindow)
{
    static_cast<FormWindow*>(Widget())->onClose = [this] {
        if (Application->MainForm() == this)
            Application->Terminate();
    };
}

TForm::~TForm()
{
    // The controls' widgets are children of this window's widget: release them first.
    DestroyComponents();
    Application->formReleased(this);
}

void TForm::ShowText(QWidget* widget, const QString& text)
{
    widget->setWindowTitle(text);
}

void TForm::Show()
{
    CallSafely([this] { if (OnShow) OnShow(this); });
    Widget()->show();
}

void TForm::Close()
{
    Widget()->close();
}

void TForm::Create()
{
    TPublisher publisher;
    Publish(publisher);
    QString resource = ":/" + QString::fromStdString(ClassName()).toUpper();
    QFile file(resource);
    if (!file.open(QIODevice::ReadOnly))
        throw Exception("The window layout " + resource.toStdString() + " is missing.");
    applyLayout(ParseLayout(file.readAll().toStdString()), publisher);
    CallSafely([this] { if (OnCreate) OnCreate(this); });
}
