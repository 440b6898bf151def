#pragma once

#include <QByteArray>


struct Measurement;

// Writes the results to standard output, either as the window's captions, a block for each
// picture, as one JSON object for each picture and line, or as CSV rows under a header.
class ResultPrinter {
public:
    enum class Style {
        Captions,
        NamedCaptions,
        Json,
        Csv
    };

    explicit ResultPrinter(Style style);

    void print(const Measurement& measurement);

private:
    QByteArray captionBlock(const Measurement& measurement) const;
    void write(const QByteArray& text);

    Style style_;
    bool printedAny_ = false;
};
