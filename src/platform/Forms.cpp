#include "Forms.h"

#include "AnsiText.h"
#include "FormLayout.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFile>
#include <QIcon>
#include <QMessageBox>
#include <QPalette>

#include <algorithm>
#include <cstdlib>

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

const std::map<std::string, TColor> colorNames = {
    {"clBlack", clBlack}, {"clWhite", clWhite}, {"clBtnFace", clBtnFace}, {"clWindowText", clWindowText},
};

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

}

TForm::TForm(TComponent* owner) : TControl(owner, new FormWindow)
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

void TForm::applyLayout(const LayoutObject& layout, TPublisher& publisher)
{
    if (layout.className != ClassName())
        throw Exception("Window layout: it describes " + layout.className + ", not " + ClassName() + ".");
    Name = layout.name;
    for (const auto& [name, value] : layout.properties)
        applyFormProperty(name, value, publisher);
    for (const LayoutObject& child : layout.children)
        addChild(child, publisher);
    if (!publisher.fields.empty())
        throw Exception("Window layout: no control for the field " + publisher.fields.begin()->first + ".");

    std::vector<TControl*> tabbed;
    for (TComponent* component : Components())
        if (auto* control = dynamic_cast<TControl*>(component); control && control->TabOrder >= 0)
            tabbed.push_back(control);
    std::stable_sort(tabbed.begin(), tabbed.end(),
                     [](TControl* a, TControl* b) { return a->TabOrder < b->TabOrder; });
    for (std::size_t i = 1; i < tabbed.size(); ++i)
        QWidget::setTabOrder(tabbed[i - 1]->Widget(), tabbed[i]->Widget());
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

void TForm::addChild(const LayoutObject& layout, TPublisher& publisher)
{
    TControl* control;
    if (layout.className == "TButton") control = new TButton(this);
    else if (layout.className == "TLabel") control = new TLabel(this);
    else if (layout.className == "TImage") control = new TImage(this);
    else throw Exception("Window layout: unknown control class " + layout.className + ".");
    control->Name = layout.name;
    control->Widget()->setParent(Widget());

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
    control->Widget()->show();

    const auto field = publisher.fields.find(layout.name);
    if (field == publisher.fields.end())
        throw Exception("Window layout: the form has no field " + layout.name + ".");
    if (!field->second(control))
        throw Exception("Window layout: " + layout.name + " is not of the field's class.");
    publisher.fields.erase(field);
}

namespace {

TApplication applicationInstance;
int qtArgc = 1;
char qtProgramName[] = "slopemeter";
char* qtArgv[] = {qtProgramName, nullptr};

}

TApplication* Application = &applicationInstance;

TApplication::TApplication() : TComponent(nullptr)
{
}

TApplication::~TApplication()
{
    // Only the workers are waited for here; see Finalize.
    WindowThread::Shutdown();
}

void TApplication::Finalize()
{
    WindowThread::Shutdown();
    DestroyComponents();
    delete qtApplication_;
    qtApplication_ = nullptr;
}

void TApplication::Initialize()
{
    if (!QApplication::instance())
        qtApplication_ = new QApplication(qtArgc, qtArgv);
    QApplication::setApplicationName(QString::fromStdString(Title));
    QApplication::setQuitOnLastWindowClosed(false);
    QApplication::setWindowIcon(QIcon(":/slopemeter.png"));
    WindowThread::Attach();
}

void TApplication::adoptForm(TForm* form)
{
    if (!mainForm_)
        mainForm_ = form;
    form->Create();
}

void TApplication::formReleased(TForm* form)
{
    if (mainForm_ == form)
        mainForm_ = nullptr;
}

void TApplication::Run()
{
    if (mainForm_) {
        mainForm_->Show();
        QApplication::exec();
    }
    Finalize();
}

void TApplication::Terminate()
{
    QApplication::quit();
}

void TApplication::ShowException(const Exception* exception)
{
    const std::string message = exception->Message;
    if (!WindowThread::IsCurrent()) {
        WindowThread::Post([this, message] { Exception copy(message); ShowException(&copy); });
        return;
    }
    if (MessageBox) {
        MessageBox(message);
        return;
    }
    QWidget* parent = mainForm_ && mainForm_->Widget()->isVisible() ? mainForm_->Widget() : nullptr;
    QMessageBox::critical(parent, QString::fromStdString(Title), QString::fromStdString(message));
}

void TApplication::HandleException()
{
    try {
        throw;
    } catch (const EThreadAborted&) {
    } catch (const Exception& exception) {
        ShowException(&exception);
    } catch (const std::bad_alloc&) {
        Exception exception("Not enough memory.");
        ShowException(&exception);
    } catch (const std::exception& failure) {
        Exception exception(failure.what());
        ShowException(&exception);
    } catch (...) {
        Exception exception("");
        ShowException(&exception);
    }
}

void CallSafely(const std::function<void()>& handler)
{
    try {
        handler();
    } catch (...) {
        Application->HandleException();
    }
}
