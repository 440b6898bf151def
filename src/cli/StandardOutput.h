#pragma once

#include <QByteArray>
#include <QString>

#include <signal.h>

// The results' way out, kept safe from the program's own descriptors and from interruption.
namespace StandardOutput {

// Called first thing: a standard descriptor that is closed is opened on /dev/null, so that no
// file the program opens later takes its number and receives what was meant for it.
void Secure();

// Writes text whole. SIGINT, SIGTERM and SIGHUP are held back meanwhile and take effect
// between writes, so that an interrupted run leaves only whole lines. Nothing more is written
// once a write has failed; Failure() says why.
void Write(const QByteArray& text);

// Why the results could not all be written, or an empty text.
QString Failure();

// Holds back SIGINT, SIGTERM and SIGHUP in this thread while it lives. Threads made meanwhile
// keep them held back for good, so that the signals only ever reach the thread that writes.
class SignalsHeldBack {
public:
    SignalsHeldBack();
    ~SignalsHeldBack();
    SignalsHeldBack(const SignalsHeldBack&) = delete;
    SignalsHeldBack& operator=(const SignalsHeldBack&) = delete;

private:
    sigset_t previous_;
};

}
