#include "Classes.h"

#include <QCoreApplication>
#include <QObject>
#include <QThread>

#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <map>
#include <memory>
#include <mutex>
#include <system_error>

TComponent::TComponent(TComponent* owner)
    : owner_(owner)
{
    if (owner_)
        owner_->components_.push_back(this);
}

TComponent::~TComponent()
{
    DestroyComponents();
    if (owner_)
        std::erase(owner_->components_, this);
}

void TComponent::DestroyComponents()
{
    // Later components may refer to earlier ones, so release in reverse order of making.
    while (!components_.empty()) {
        TComponent* last = components_.back();
        last->owner_ = nullptr;
        components_.pop_back();
        delete last;
    }
}

namespace {

void writeHandlerFailure()
{
    try {
        throw;
    } catch (const std::exception& failure) {
        std::fprintf(stderr, "%s\n", failure.what());
    } catch (...) {
        std::fprintf(stderr, "An event handler failed.\n");
    }
}

std::atomic<HandlerFailureSink> handlerFailureSink{&writeHandlerFailure};

}

void SetHandlerFailureSink(HandlerFailureSink sink)
{
    handlerFailureSink = sink ? sink : &writeHandlerFailure;
}

void CallSafely(const std::function<void()>& handler)
{
    try {
        handler();
    } catch (...) {
        handlerFailureSink.load()();
    }
}

namespace {

struct SyncCall {
    std::function<void()> method;
    enum class State {
        Pending,
        Done,
        Cancelled
    };
    State state = State::Pending;
    std::exception_ptr failure;
};

// One lock for the dispatcher, the pending synchronous calls and the thread registry: none of
// them is on a hot path.
std::mutex registryMutex;
std::condition_variable syncDone;
QObject* dispatcher = nullptr;
bool closing = false;
std::vector<std::shared_ptr<SyncCall>> pendingCalls;
std::map<std::uint64_t, TThread*> liveThreads;
std::uint64_t nextSerial = 1;
thread_local TThread* currentThread = nullptr;

void releaseIfLive(std::uint64_t serial)
{
    TThread* thread = nullptr;
    {
        std::lock_guard lock(registryMutex);
        auto it = liveThreads.find(serial);
        if (it != liveThreads.end())
            thread = it->second;
    }
    delete thread;
}

}

namespace WindowThread {

void Attach()
{
    std::lock_guard lock(registryMutex);
    if (!dispatcher)
        dispatcher = new QObject(QCoreApplication::instance());
    closing = false;
}

bool IsCurrent()
{
    QCoreApplication* app = QCoreApplication::instance();
    return app && QThread::currentThread() == app->thread();
}

void Post(std::function<void()> method)
{
    std::lock_guard lock(registryMutex);
    if (!dispatcher || closing)
        return;
    auto deliver = [method = std::move(method)] {
        // Qt's event queue already runs this after the post, but orders the two inside Qt, out
        // of sight of ThreadSanitizer; taking the lock the post was made under shows it the
        // same order, so that it can still tell a real race here from this hand-over.
        {
            std::lock_guard handOver(registryMutex);
        }
        CallSafely(method);
    };
    QMetaObject::invokeMethod(dispatcher, std::move(deliver), Qt::QueuedConnection);
}

void Shutdown()
{
    std::vector<TThread*> threads;
    {
        std::lock_guard lock(registryMutex);
        closing = true;
        for (auto& call : pendingCalls)
            call->state = SyncCall::State::Cancelled;
        pendingCalls.clear();
        for (auto& [serial, thread] : liveThreads)
            threads.push_back(thread);
    }
    syncDone.notify_all();
    for (TThread* thread : threads)
        thread->WaitFor();
    for (TThread* thread : threads)
        if (thread->FreeOnTerminate)
            delete thread;
    // The dispatcher belongs to Qt's application object and goes with it, with whatever is
    // still queued for it.
    std::lock_guard lock(registryMutex);
    dispatcher = nullptr;
}

}

TThread::Construction::~Construction()
{
    if (pending_) {
        pending_->construction_ = nullptr;
        pending_->openGate(false);
    }
}

TThread::TThread(bool createSuspended, const Construction& construction)
{
    {
        std::lock_guard lock(registryMutex);
        serial_ = nextSerial++;
        liveThreads[serial_] = this;
    }
    if (createSuspended)
        return;
    // The thread is made here, where a failure can still be raised to the caller, and held at
    // its gate until the construction has ended.
    try {
        createThread();
    } catch (...) {
        std::lock_guard lock(registryMutex);
        liveThreads.erase(serial_);
        throw;
    }
    construction.pending_ = this;
    construction_ = &construction;
}

TThread::~TThread()
{
    if (construction_ && construction_->pending_ == this) {
        construction_->pending_ = nullptr;
        openGate(true);
    }
    if (thread_.joinable()) {
        if (thread_.get_id() == std::this_thread::get_id())
            thread_.detach();
        else
            thread_.join();
    }
    std::lock_guard lock(registryMutex);
    liveThreads.erase(serial_);
}

void TThread::createThread()
{
    try {
        thread_ = std::thread(&TThread::run, this);
    } catch (const std::system_error& failure) {
        throw Exception(std::string("Thread creation error: ") + failure.code().message() + ".");
    }
}

void TThread::openGate(bool abandon)
{
    {
        std::lock_guard lock(gateMutex_);
        gateOpen_ = true;
        abandoned_ = abandon;
    }
    gateOpened_.notify_all();
}

void TThread::Start()
{
    if (construction_ && construction_->pending_ == this)
        construction_->pending_ = nullptr;
    construction_ = nullptr;
    openGate(false);
    if (!thread_.joinable() && !finished_)
        createThread();
}

void TThread::WaitFor()
{
    if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id())
        thread_.join();
}

void TThread::run()
{
    {
        std::unique_lock lock(gateMutex_);
        gateOpened_.wait(lock, [this] { return gateOpen_; });
        // The object's construction failed after its thread was made.
        if (abandoned_)
            return;
    }
    currentThread = this;
    try {
        Execute();
    } catch (...) {
        fatalException_ = std::current_exception();
    }
    try {
        DoTerminate();
    } catch (...) {
    }
    const bool release = FreeOnTerminate;
    finished_ = true;
    if (release) {
        const std::uint64_t serial = serial_;
        WindowThread::Post([serial] { releaseIfLive(serial); });
    }
}

TThread* TThread::CurrentThread()
{
    return currentThread;
}

void TThread::Queue(std::function<void()> method)
{
    if (WindowThread::IsCurrent())
        CallSafely(method);
    else
        WindowThread::Post(std::move(method));
}

void TThread::Synchronize(std::function<void()> method)
{
    if (WindowThread::IsCurrent()) {
        method();
        return;
    }
    auto call = std::make_shared<SyncCall>();
    call->method = std::move(method);
    {
        std::lock_guard lock(registryMutex);
        if (!dispatcher || closing)
            throw EThreadAborted();
        pendingCalls.push_back(call);
        auto serve = [call] {
            {
                std::lock_guard state(registryMutex);
                if (call->state != SyncCall::State::Pending)
                    return;
            }
            std::exception_ptr failure;
            try {
                call->method();
            } catch (...) {
                failure = std::current_exception();
            }
            {
                std::lock_guard state(registryMutex);
                call->failure = std::move(failure);
                call->state = SyncCall::State::Done;
                std::erase(pendingCalls, call);
            }
            syncDone.notify_all();
        };
        QMetaObject::invokeMethod(dispatcher, serve, Qt::QueuedConnection);
    }
    std::unique_lock lock(registryMutex);
    syncDone.wait(lock, [&] { return call->state != SyncCall::State::Pending; });
    if (call->state == SyncCall::State::Cancelled)
        throw EThreadAborted();
    // The failure is taken out, so that only this thread holds it and releases it.
    const std::exception_ptr failure = std::move(call->failure);
    lock.unlock();
    if (failure)
        std::rethrow_exception(failure);
}

int TThread::InstanceCount()
{
    std::lock_guard lock(registryMutex);
    return int(liveThreads.size());
}
