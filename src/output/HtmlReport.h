#pragma once

#include <QByteArray>
#include <QString>

#include <functional>
#include <memory>

struct Measurement;

// What the page says of the run besides its results.
struct ReportSettings {
    int level = 0;
    bool fit = false;
    // Frames of a stream: the charts' x axis is the frame number, not the picture's place.
    bool stream = false;
    // Where the annotated pictures went (thumbnails link to them), or empty for none.
    QString annotationDirectory;
    // The same folder as seen from the page's own folder, for the links; empty when the page
    // lies in the current folder, where annotationDirectory already is the way to it.
    QString annotationLink;
};

// One self-contained HTML page of a run: a summary, charts drawn here as SVG, and a table that
// the page's own script sorts, filters and pages. The results are written as they are added, so
// that a run cut short still leaves a page of what was measured; the summary and the charts,
// which need every result, are written by Finish.
class HtmlReport {
public:
    using Write = std::function<void(const QByteArray&)>;

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
