#pragma once

#include "SysUtils.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class TObject {
public:
    virtual ~TObject() = default;
};

using TNotifyEvent = std::function<void(TObject* sender)>;

// Owns the components made with it as owner and releases them with itself.
class TComponent : public TObject {
public:
    explicit TComponent(TComponent* owner);
    TComponent(const TComponent&) = delete;
    TComponent& operator=(const TComponent&) = delete;
    ~TComponent() override;

    TComponent* Owner() const { return owner_; }
    const std::vector<TComponent*>& Components() const { return components_; }

    std::string Name;

protected:
    void DestroyComponents();

private:
    TComponent* owner_;
    std::vector<TComponent*> components_;
};

// Runs an event handler as the framework does: a failure that leaves it is handed to the
// handler failure sink and never unwinds further.
void CallSafely(const std::function<void()>& handler);

// Called within a catch with the failure that left an event handler. The application object
// installs the one that shows it; until then a failure is written to standard error.
using HandlerFailureSink = void (*)();
void SetHandlerFailureSink(HandlerFailureSink sink);

// What a worker's call to the window's thread raises when the program is closing and the call
// can no longer be served.
class EThreadAborted : public Exception {
public:
    EThreadAborted()
        : Exception("The program is closing.") {}
};

class TThread : public TObject {
public:
    // The start of a thread created running waits for the end of the full-expression that
    // constructs it, so the derived constructor's body has run before Execute begins. Derived
    // classes take it as a defaulted last parameter and pass it on.
    class Construction {
    public:
        Construction() = default;
        Construction(const Construction&) = delete;
        ~Construction();

    private:
        friend class TThread;
        mutable TThread* pending_ = nullptr;
    };

    TThread(bool createSuspended, const Construction& construction);
    ~TThread() override;

    // Raises an Exception when the system cannot make the thread, as the constructor does for
    // a thread created running.
    void Start();
    void Terminate() { terminated_ = true; }
    void WaitFor();
    bool Terminated() const { return terminated_; }
    bool Finished() const { return finished_; }
    std::exception_ptr FatalException() const { return fatalException_; }

    // Read by the thread itself once Execute has returned; when set, the object is released on
    // the window's thread after its thread has ended.
    bool FreeOnTerminate = false;

    static TThread* CurrentThread();
    static void Queue(std::function<void()> method);
    static void Synchronize(std::function<void()> method);

    // Instances not yet released, for leak checks.
    static int InstanceCount();

protected:
    virtual void Execute() = 0;
    virtual void DoTerminate() {}

private:
    void run();
    void createThread();
    void openGate(bool abandon);

    std::uint64_t serial_;
    std::thread thread_;
    std::atomic<bool> terminated_{false};
    std::atomic<bool> finished_{false};
    std::exception_ptr fatalException_;
    const Construction* construction_ = nullptr;
    std::mutex gateMutex_;
    std::condition_variable gateOpened_;
    bool gateOpen_ = false;
    bool abandoned_ = false;
};

// The thread that owns the windows. Workers reach window objects only through it.
namespace WindowThread {

// Called by the application object on the thread that runs the message loop.
void Attach();
// Closing: pending and later Synchronize calls fail with EThreadAborted, every thread is waited
// for, threads marked FreeOnTerminate are released, and calls still queued are dropped.
void Shutdown();
bool IsCurrent();
// Runs method on the window's thread after everything queued before it; dropped when closing.
void Post(std::function<void()> method);

}
