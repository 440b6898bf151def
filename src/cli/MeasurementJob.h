#pragma once

#include "Annotation.h"
#include "Measurement.h"
#include "PictureFile.h"

#include <QString>

#include <cstdint>
#include <optional>

class MemoryBudget;

// One picture's run, as the window's runs go: the picture is loaded whole, a copy of it is
// binarized and scanned; the picture itself is only read.
class MeasurementJob {
public:
    // Each picture takes its share of the budget, when one is given, before it is decoded.
    MeasurementJob(const MeasureSettings& settings, std::optional<AnnotationTargets> annotations, MemoryBudget* budget = nullptr);

    // Safe to call from several threads at once.
    Measurement run(const QString& file) const;

    // Refuses a frame of a stream held whole whose share would exceed the whole budget, as a
    // file of that size is refused; frames are measured one at a time, so nothing waits.
    PictureSizeCheck frameShareCheck() const;

private:
    void measure(Measurement& measurement) const;

    MeasureSettings settings_;
    std::optional<AnnotationTargets> annotations_;
    MemoryBudget* budget_;
};
