#pragma once

#include <QByteArray>


struct Measurement;

// The results as text, in the order they are handed over: the window's captions, a block for
// each picture, one JSON object for each picture and line, or CSV rows under a header.
class ResultPrinter {
public:
    enum class Style {
        Captions,
        NamedCaptions,
        Json,
        Csv
    };

    // withFit adds the fitted line to each measured result.
    explicit ResultPrinter(Style style, bool withFit = false);

    // What comes before the first result: the CSV header.
    QByteArray Start() const;
    QByteArray Format(const Measurement& measurement);

private:
    QByteArray captionBlock(const Measurement& measurement) const;

    Style style_;
    bool withFit_;
    bool printedAny_ = false;
};
