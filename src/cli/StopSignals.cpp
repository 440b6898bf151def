#include "StopSignals.h"

#include <csignal>
#include <signal.h>

namespace StopSignals {

namespace {

volatile std::sig_atomic_t caught = 0;

const int stopSignals[] = {SIGINT, SIGTERM, SIGHUP};

void note(int signal)
{
    caught = signal;
}

}

void Catch()
{
    struct sigaction action {};
    action.sa_handler = note;
    sigemptyset(&action.sa_mask);
    // No SA_RESTART: a read that waits for a camera's next frame must come back to look.
    action.sa_flags = 0;
    for (int signal : stopSignals)
        sigaction(signal, &action, nullptr);
}

bool Requested()
{
    return caught != 0;
}

void EndAsRequested()
{
    const int signal = caught;
    if (signal == 0)
        return;
    std::signal(signal, SIG_DFL);
    sigset_t only;
    sigemptyset(&only);
    sigaddset(&only, signal);
    pthread_sigmask(SIG_UNBLOCK, &only, nullptr);
    raise(signal);
}

}
