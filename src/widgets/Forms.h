#pragma once

#include "Classes.h"
#include "Controls.h"
#include "ExtCtrls.h"
#include "Graphics.h"
#include "StdCtrls.h"

#include <functional>
#include <map>
#include <string>
#include <vector>

class QApplication;
struct LayoutObject;

struct TFont {
    std::string Name;
    int Height = 0;
    TColor Color = clWindowText;
    std::string Charset = "DEFAULT_CHARSET";
    std::vector<std::string> Style;
};

// A window whose controls and handlers come from a stored layout named after its class
// ("TForm1" reads the resource ":/TFORM1"). The layout fills in the fields the form publishes
// and binds its events to the handlers the form publishes, both by name.
class TForm : public TControl {
public:
    explicit TForm(TComponent* owner);
    ~TForm() override;

    // Runs OnShow, then shows the window, so the window is never seen before OnShow's changes.
    void Show();
    void Close();

    TNotifyEvent OnCreate;
    TNotifyEvent OnShow;
    // Files dropped on the window, by name as bytes; the window takes drops while it is set.
    std::function<void(const std::vector<std::string>& files)> OnDropFiles;

    TColor Color = clBtnFace;
    TFont Font;
    bool OldCreateOrder = false;
    int PixelsPerInch = 96;
    int TextHeight = 13;

protected:
    class TPublisher {
    public:
        template <class Control> void Field(const std::string& name, Control*& field)
        {
            fields[name] = [&field](TComponent* component) {
                field = dynamic_cast<Control*>(component);
                return field != nullptr;
            };
        }
        template <class Form> void Handler(const std::string& name, Form* form, void (Form::*method)(TObject*))
        {
            handlers[name] = [form, method](TObject* sender) { (form->*method)(sender); };
        }

        std::map<std::string, std::function<bool(TComponent*)>> fields;
        std::map<std::string, TNotifyEvent> handlers;
    };

    virtual std::string ClassName() const = 0;
    virtual void Publish(TPublisher& publisher) = 0;
    void ShowText(QWidget* widget, const QString& text) override;

private:
    friend class TApplication;
    void Create();
    void applyLayout(const LayoutObject& layout, TPublisher& publisher);
    void applyFormProperty(const std::string& name, const struct LayoutValue& value, TPublisher& publisher);
    void applyColorAndFont();
    void applyTabOrder();
    void addChild(const LayoutObject& layout, TPublisher& publisher);
    void applyControlProperties(TControl* control, const LayoutObject& layout, TPublisher& publisher);
};

class TApplication : public TComponent {
public:
    TApplication();
    ~TApplication() override;

    void Initialize();

    // Makes the form, sets *reference, builds it from its stored layout and runs its OnCreate.
    // The first form made is the main form.
    template <class Form> void CreateForm(Form** reference)
    {
        auto* form = new Form(this);
        *reference = form;
        adoptForm(form);
    }

    // Shows the main form and processes messages until it is closed, then finalizes.
    void Run();
    // Waits for the workers, then releases the forms and Qt's application object, while Qt's own
    // globals still exist (they are gone by the time static objects are destroyed).
    void Finalize();
    void Terminate();

    // Shows the message in a message box. Callable from any thread.
    void ShowException(const Exception* exception);
    // Within a catch: what a failure that left an event handler turns into.
    void HandleException();

    TForm* MainForm() const { return mainForm_; }

    std::string Title = "slopemeter";
    // Tests replace the message box with a recorder so that nothing modal blocks them.
    std::function<void(const std::string& message)> MessageBox;

private:
    friend class TForm;
    void adoptForm(TForm* form);
    void formReleased(TForm* form);

    QApplication* qtApplication_ = nullptr;
    TForm* mainForm_ = nullptr;
};

extern TApplication* Application;
