#include "Forms.h"

#include <QApplication>
#include <QIcon>
#include <QMessageBox>

namespace {

TApplication applicationInstance;
int qtArgc = 1;
char qtProgramName[] = "slopemeter";
char* qtArgv[] = {qtProgramName, nullptr};

}

TApplication* Application = &applicationInstance;

TApplication::TApplication()
    : TComponent(nullptr)
{
    SetHandlerFailureSink([] { Application->HandleException(); });
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
