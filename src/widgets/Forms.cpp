#include "Forms.h"

#include "FormLayout.h"

#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QMimeData>
#include <QUrl>

namespace {

std::vector<std::string> localFiles(const QMimeData* data)
{
    std::vector<std::string> files;
    if (data)
        for (const QUrl& url : data->urls())
            if (url.isLocalFile())
                files.push_back(QFile::encodeName(url.toLocalFile()).toStdString());
    return files;
}

class FormWindow : public QWidget {
public:
    std::function<void()> onClose;
    std::function<void(const std::vector<std::string>&)> onDrop;

protected:
    void dragEnterEvent(QDragEnterEvent* event) override
    {
        if (onDrop && !localFiles(event->mimeData()).empty())
            event->acceptProposedAction();
    }

    void dropEvent(QDropEvent* event) override
    {
        const std::vector<std::string> files = localFiles(event->mimeData());
        if (!onDrop || files.empty())
            return;
        event->acceptProposedAction();
        onDrop(files);
    }

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
    auto* window = static_cast<FormWindow*>(Widget());
    window->onClose = [this] {
        if (Application->MainForm() == this)
            Application->Terminate();
    };
    window->setAcceptDrops(true);
    window->onDrop = [this](const std::vector<std::string>& files) {
        CallSafely([&] { if (OnDropFiles) OnDropFiles(files); });
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
