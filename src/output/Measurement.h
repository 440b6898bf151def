#pragma once

#include "LineMeasure.h"

#include <QString>

#include <cstdint>

// One picture's result as the writers put it out: what was measured, or why nothing was.
struct Measurement : LineMeasurement {
    QString file;
    // The frame's number in a stream of pictures, or -1 for a file.
    std::int64_t frame = -1;
    bool measured = false;
    // Why the picture could not be measured, or its annotation not written; empty when all went well.
    QString error;

    void Take(LineMeasurement measurement)
    {
        static_cast<LineMeasurement&>(*this) = std::move(measurement);
        measured = true;
    }
};
