#pragma once

#include <QString>

#include <functional>

class NameList;
struct Measurement;

// Measures the named pictures on up to jobs threads and hands the results to deliver on this
// thread in the order of the names, each as soon as it and those before it are done. Only a
// bounded window of names is taken ahead of the results, so memory stays flat for any number
// of names. A "-" on the command line waits for the results before it and then runs readStream
// here.
void runInOrder(NameList& names, int jobs, const std::function<Measurement(const QString&)>& measure,
                const std::function<void(const Measurement&)>& deliver, const std::function<void()>& readStream);
