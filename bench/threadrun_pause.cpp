// How long the window's event loop stops while a run measures a large picture: for "Thread"
// the longest gap between two turns of the loop, against the length of the whole run; for
// "Form" the whole run, during which the loop does not turn at all.
//
//   QT_QPA_PLATFORM=offscreen build-bench/bin/slopemeter_pause_bench [runs]

#include "Forms.h"
#include "Umain.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

struct Figures {
    double runMs;
    double longestPauseMs;
};

QImage largePicture()
{
    QImage image(8000, 6000, QImage::Format_BGR888);
    image.fill(QColor(20, 20, 20));
    for (int x = 100; x < 7900; ++x)
        image.setPixelColor(x, 5000 - x / 2, Qt::white);
    return image;
}

bool buttonsEnabled()
{
    return Form1->Button1->Enabled() && Form1->Button2->Enabled();
}

Figures measureThreadRun()
{
    QElapsedTimer clock;
    qint64 lastTurn = 0, longest = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        const qint64 now = clock.nsecsElapsed();
        longest = std::max(longest, now - lastTurn);
        lastTurn = now;
    });
    ticker.start(0);
    clock.start();
    Form1->Button1->Click();
    while (!buttonsEnabled() || TThread::InstanceCount() > 0)
        QCoreApplication::processEvents(QEventLoop::AllEvents);
    const qint64 run = clock.nsecsElapsed();
    longest = std::max(longest, run - lastTurn);
    return {run / 1e6, longest / 1e6};
}

double measureFormRun()
{
    QElapsedTimer clock;
    clock.start();
    Form1->Button2->Click();
    return clock.nsecsElapsed() / 1e6;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

}

int main(int argc, char** argv)
{
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 7;
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QTemporaryDir scratch;
    QDir::setCurrent(scratch.path());
    Application->Initialize();
    Application->MessageBox = [](const std::string&) {};
    Application->CreateForm(&Form1);
    Form1->Image1->Picture->Bitmap->SetImage(largePicture());
    Form1->Show();

    std::vector<double> threadRun, pause, formRun;
    for (int i = 0; i < runs; ++i) {
        const Figures figures = measureThreadRun();
        threadRun.push_back(figures.runMs);
        pause.push_back(figures.longestPauseMs);
        formRun.push_back(measureFormRun());
    }
    std::printf("8000x6000 picture, %d runs each, medians:\n", runs);
    std::printf("  Thread run: %8.2f ms, longest event-loop pause %6.2f ms (%.1f%% of the run)\n",
                median(threadRun), median(pause), 100.0 * median(pause) / median(threadRun));
    std::printf("  Form run:   %8.2f ms, the event loop stands still for all of it\n", median(formRun));
    Application->Finalize();
    return 0;
}
