#pragma once

#include "LineFit.h"

#include <QImage>
#include <QPoint>
#include <QString>
#include <QStringList>

#include <optional>

namespace Graphics {
class TBitmap;
}
struct ScanResult;

// The same text for two paths that name the same file, existing or not.
QString placeOf(const QString& path);

// The end points a run found; a scan that met no white pixel gives none.
struct FoundEndPoints {
    std::optional<QPoint> fr;
    std::optional<QPoint> re;
};

// Reads which points of a run's result were found, from the picture the run scanned. The
// result must have started as a fresh ScanResult.
FoundEndPoints foundEndPoints(const Graphics::TBitmap& scanned, const ScanResult& result);

// The picture with a cross at each found point and, when both were found, a line between them;
// and the fitted line where it was found, when there is one.
QImage annotatedPicture(const QImage& picture, const FoundEndPoints& points,
                        const std::optional<FittedLine>& fit = std::nullopt);

// Where the annotated pictures go: DIR/<name>.png for a picture named <name>.<extension>.
class AnnotationTargets {
public:
    explicit AnnotationTargets(QString directory);

    QString targetOf(const QString& picture) const;

    // Why these pictures cannot be annotated in one run, or an empty text: two different
    // pictures would write the same file, or an annotation would replace a picture of the run.
    QString conflictIn(const QStringList& pictures) const;

    // Why the run would replace a file that is there already, naming the first, or an empty text.
    QString existingIn(const QStringList& pictures) const;

    // Writes the whole file or, failing, raises an Exception and leaves any earlier file alone.
    void write(const QImage& annotated, const QString& picture) const;

private:
    QString directory_;
};
