#include "LineMeasure.h"

LineMeasure::LineMeasure(int width, int height, const MeasureSettings& settings)
    : scan_(width, settings.level)
{
    if (settings.fit)
        fit_.emplace(width, height, settings.level);
}

LineMeasurement LineMeasure::finish()
{
    LineMeasurement measurement;
    measurement.computed = scan_.finish(&measurement.result);
    if (fit_)
        measurement.fit = fit_->Finish();
    return measurement;
}
