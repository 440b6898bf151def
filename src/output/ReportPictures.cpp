#include "ReportPictures.h"

#include "NameEscaping.h"

#include <QBuffer>
#include <QFileInfo>
#include <QImage>
#include <QUrl>

#include <algorithm>
#include <cmath>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Keeps the Kept first by `before`, in that order.
template <typename Before>
void keep(std::vector<FarPicture>& kept, FarPicture picture, Before before)
{
    if (kept.size() == FarthestPictures::Kept && !before(picture, kept.back()))
        return;
    kept.insert(std::upper_bound(kept.begin(), kept.end(), picture, before), std::move(picture));
    if (kept.size() > FarthestPictures::Kept)
        kept.pop_back();
}

// A name is bytes, which QFile would take as text; read as given. Only a plain file: an
// annotation written into a device or a pipe (which the run allows) is not read back, where
// it could wait or never end.
QByteArray fileBytes(const QByteArray& path)
{
    QByteArray bytes;
    const int descriptor = open(path.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (descriptor < 0)
        return bytes;
    struct stat status {};
    if (fstat(descriptor, &status) != 0 || !S_ISREG(status.st_mode)) {
        close(descriptor);
        return bytes;
    }
    char block[1 << 16];
    for (;;) {
        const ssize_t got = read(descriptor, block, sizeof block);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
        bytes.append(block, got);
    }
    close(descriptor);
    return bytes;
}

QByteArray thumbnailUri(const QByteArray& path)
{
    QImage image = QImage::fromData(fileBytes(path));
    if (image.isNull())
        return {};
    if (image.width() > ThumbnailWidth)
        image = image.scaledToWidth(ThumbnailWidth, Qt::SmoothTransformation);
    QByteArray jpeg;
    QBuffer buffer(&jpeg);
    buffer.open(QIODevice::WriteOnly);
    if (!image.convertToFormat(QImage::Format_RGB888).save(&buffer, "JPEG", 80))
        return {};
    return "data:image/jpeg;base64," + jpeg.toBase64();
}

QString inFolder(const QString& folder, const QString& name)
{
    return folder.endsWith('/') ? folder + name : folder + "/" + name;
}

QByteArray thumbnail(const FarPicture& picture, const QString& directory, const QString& link)
{
    const QString name = AnnotatedFileName(picture.file);
    const QByteArray href = QUrl::toPercentEncoding(BytesFromName(inFolder(link.isEmpty() ? directory : link, name)), "/");
    const QByteArray uri = thumbnailUri(BytesFromName(inFolder(directory, name)));
    const QByteArray shown = HtmlText(picture.file);
    const QByteArray image = uri.isEmpty() ? "<span class=\"unreadable\">(the annotated picture cannot be read)</span>"
                                           : "<img alt=\"" + shown + "\" src=\"" + uri + "\">";
    const QByteArray deviation = (picture.deviation >= 0 ? "+" : "") + QByteArray::number(picture.deviation, 'g', 6);
    return "<figure><a href=\"" + href + "\">" + image + "</a><figcaption>" + shown + ": angle "
        + QByteArray::number(picture.angle, 'g', 8) + "\xC2\xB0, " + deviation + "\xC2\xB0 from the median</figcaption></figure>\n";
}

}

QString AnnotatedFileName(const QString& picture)
{
    return QFileInfo(picture).completeBaseName() + ".png";
}

void FarthestPictures::offer(float angle, const QString& file)
{
    const FarPicture picture{angle, file, offered_++, 0};
    keep(highest_, picture, [](const FarPicture& a, const FarPicture& b) { return a.angle > b.angle; });
    keep(lowest_, picture, [](const FarPicture& a, const FarPicture& b) { return a.angle < b.angle; });
}

std::vector<FarPicture> FarthestPictures::farthestFrom(float median) const
{
    std::vector<FarPicture> all = highest_;
    for (const FarPicture& picture : lowest_)
        if (std::none_of(all.begin(), all.end(), [&](const FarPicture& kept) { return kept.order == picture.order; }))
            all.push_back(picture);
    for (FarPicture& picture : all)
        picture.deviation = double(picture.angle) - double(median);
    std::sort(all.begin(), all.end(), [](const FarPicture& a, const FarPicture& b) {
        return std::abs(a.deviation) != std::abs(b.deviation) ? std::abs(a.deviation) > std::abs(b.deviation)
                                                              : a.order < b.order;
    });
    if (all.size() > Kept)
        all.resize(Kept);
    return all;
}

QByteArray ThumbnailSection(const std::vector<FarPicture>& pictures, const QString& directory, const QString& link)
{
    QByteArray section = "<section id=\"thumbnails\"><h2>Farthest from the median angle</h2>\n";
    if (pictures.empty())
        section += "<p>no measured result</p>\n";
    for (const FarPicture& picture : pictures)
        section += thumbnail(picture, directory, link);
    return section + "</section>\n";
}
