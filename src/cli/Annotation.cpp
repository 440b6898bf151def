#include "Annotation.h"

#include "FileWriting.h"
#include "Graphics.h"
#include "NameEscaping.h"
#include "ReportPictures.h"
#include "Uprocess.h"

#include <QBuffer>
#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QPainter>
#include <QSet>

#include <sys/stat.h>

#include <algorithm>

namespace {

const QColor lineColour(255, 0, 0);
const QColor markColour(0, 255, 0);
const QColor fitColour(0, 160, 255);

// Marks grow with the picture so that they stay visible on a photograph seen whole.
int markUnit(const QImage& picture)
{
    return std::max(1, (picture.width() + picture.height()) / 600);
}

void drawCross(QPainter& painter, QPoint centre, int arm)
{
    painter.drawLine(centre - QPoint(arm, 0), centre + QPoint(arm, 0));
    painter.drawLine(centre - QPoint(0, arm), centre + QPoint(0, arm));
}


}

QString placeOf(const QString& path)
{
    const QFileInfo info(path);
    const QString canonical = info.canonicalFilePath();
    if (!canonical.isEmpty())
        return canonical;
    const QString folder = QFileInfo(info.absolutePath()).canonicalFilePath();
    return QDir::cleanPath((folder.isEmpty() ? info.absolutePath() : folder) + "/" + info.fileName());
}

FoundEndPoints foundEndPoints(const Graphics::TBitmap& scanned, const ScanResult& result)
{
    // A scan that meets no white pixel leaves its point at (0, 0), where a scan can also find
    // one; but a found point is always white, and the scan from the right never looks at
    // column 0.
    const auto white = [&](int x, int y) { return scanned.Canvas->Pixels(x, y) == clWhite; };
    FoundEndPoints points;
    if (white(result.FrX, result.FrY))
        points.fr = QPoint(result.FrX, result.FrY);
    if (result.ReX >= 1 && white(result.ReX, result.ReY))
        points.re = QPoint(result.ReX, result.ReY);
    return points;
}

QImage annotatedPicture(const QImage& picture, const FoundEndPoints& points, const std::optional<FittedLine>& fit)
{
    QImage annotated = picture.convertToFormat(picture.hasAlphaChannel() ? QImage::Format_ARGB32
                                                                         : QImage::Format_RGB32);
    if (annotated.isNull())
        return annotated;
    const int unit = markUnit(picture);
    QPainter painter(&annotated);
    if (fit) {
        painter.setPen(QPen(fitColour, unit));
        painter.drawLine(QLineF(fit->x1, fit->y1, fit->x2, fit->y2));
    }
    if (points.fr && points.re) {
        painter.setPen(QPen(lineColour, unit));
        painter.drawLine(*points.fr, *points.re);
    }
    painter.setPen(QPen(markColour, unit));
    for (const std::optional<QPoint>& point : {points.fr, points.re})
        if (point)
            drawCross(painter, *point, 6 * unit);
    return annotated;
}

AnnotationTargets::AnnotationTargets(QString directory)
    : directory_(std::move(directory))
{
}

QString AnnotationTargets::targetOf(const QString& picture) const
{
    return QDir(directory_).filePath(AnnotatedFileName(picture));
}

QString AnnotationTargets::conflictIn(const QStringList& pictures) const
{
    QSet<QString> measured;
    for (const QString& picture : pictures)
        measured.insert(placeOf(picture));
    QHash<QString, QString> annotatedPictureOf;
    for (const QString& picture : pictures) {
        const QString target = targetOf(picture);
        const QString place = placeOf(target);
        if (measured.contains(place))
            return "the annotation of '" + picture + "' would replace the picture '" + target + "'.";
        const auto earlier = annotatedPictureOf.constFind(place);
        if (earlier != annotatedPictureOf.cend() && placeOf(*earlier) != placeOf(picture))
            return "the annotations of '" + *earlier + "' and '" + picture + "' would both be '" + target + "'.";
        annotatedPictureOf.insert(place, picture);
    }
    return {};
}

QString AnnotationTargets::existingIn(const QStringList& pictures) const
{
    for (const QString& picture : pictures) {
        const QString target = targetOf(picture);
        struct stat status {};
        if (lstat(BytesFromName(target).constData(), &status) == 0)
            return "'" + target + "' is there already; --overwrite lets the annotations replace such files.";
    }
    return {};
}

void AnnotationTargets::write(const QImage& annotated, const QString& picture) const
{
    const QByteArray target = BytesFromName(targetOf(picture));
    const auto fail = [&](const std::string& why) {
        throw Exception("Cannot write \"" + target.toStdString() + "\": " + why);
    };
    if (annotated.isNull())
        fail("not enough memory for the annotated picture.");
    // Encoded in memory, so that a full disk is told by the write that meets it.
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    if (!annotated.save(&buffer, "PNG"))
        fail("the PNG writer failed.");
    const std::string why = WriteFileWhole(target.toStdString(), png);
    if (!why.empty())
        fail(why);
}
