#pragma once

#include "ReportSettings.h"

#include <QByteArray>

#include <memory>

struct Measurement;

// One self-contained HTML page of a run: a summary, charts drawn here as SVG, and a table that
// the page's own script sorts, filters and pages. The results are written as they are added, so
// that a run cut short still leaves a page of what was measured; the summary and the charts,
// which need every result, are written by Finish.
class HtmlReport {
public:
    using Write = ReportWrite;

    HtmlReport(ReportSettings settings, Write write);
    ~HtmlReport();
    HtmlReport(const HtmlReport&) = delete;
    HtmlReport& operator=(const HtmlReport&) = delete;

    void Add(const Measurement& measurement);
    // elapsedSeconds: how long the run took. cutShort marks a run stopped before its end.
    void Finish(double elapsedSeconds, bool cutShort);

private:
    struct State;
    std::unique_ptr<State> state_;
};
