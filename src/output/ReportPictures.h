#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <vector>

struct FarPicture {
    float angle = 0;
    QString file;
    std::int64_t order = 0;
    double deviation = 0;
};

// The pictures whose angles lie farthest from the median, found without keeping every name: the
// farthest from any value are among the highest and the lowest angles, so those are all it keeps.
class FarthestPictures {
public:
    static constexpr std::size_t Kept = 8;

    void offer(float angle, const QString& file);
    // Up to Kept pictures, the farthest from median first.
    std::vector<FarPicture> farthestFrom(float median) const;

private:
    std::vector<FarPicture> highest_;
    std::vector<FarPicture> lowest_;
    std::int64_t offered_ = 0;
};

// The name of a picture's annotated file, in the folder the annotations go to: the picture's
// name without its last extension, as a PNG.
QString AnnotatedFileName(const QString& picture);

// The section of thumbnails of the pictures' annotated files in directory, each a link to its
// file, reached from the page through link (directory itself when link is empty).
QByteArray ThumbnailSection(const std::vector<FarPicture>& pictures, const QString& directory, const QString& link);

// A thumbnail's most width in pixels.
constexpr int ThumbnailWidth = 240;
