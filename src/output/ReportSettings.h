#pragma once

#include <QByteArray>
#include <QString>

#include <functional>

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

// Where the page's text goes, in order.
using ReportWrite = std::function<void(const QByteArray&)>;
