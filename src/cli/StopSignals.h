#pragma once

// A run that must leave something whole behind when it is stopped (the report) catches SIGINT,
// SIGTERM and SIGHUP: the handler only notes the signal, the run stops taking new work, finishes
// what it leaves behind, and the program then ends as the signal would have ended it. A run
// that does not ask for this keeps the signals' default actions.
namespace StopSignals {

// From now on the three signals are noted instead of ending the program. Blocking reads they
// interrupt return EINTR rather than going on.
void Catch();

// Whether one of them has come.
bool Requested();

// Ends the program by the signal that came, with its default action, so that the exit status
// says so; returns only when none came.
void EndAsRequested();

}
