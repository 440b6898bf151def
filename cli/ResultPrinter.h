#pragma once

#include <QByteArray>


struct Measurement;

// Writes the results to standard output, either as the window's captions, a block for each
// picture, or as one JSON object for each picture and line.
class ResultPrinter {
public:
    enum class Style {
        Captions,
        NamedCaptions,
        Json
    };

    explicit ResultPrinter(Style style);

    void print(const Measurement& measurement);

private:
    QByteArray captionBlock(const Measurement& measurement) const;

    Style style_;
    bool printedAny_ = false;
};
