#include "app/qt/Icons.h"

#include <QBuffer>
#include <QFile>
#include <QImageReader>
#include <QPixmap>
#include <QtEndian>

// Outside any namespace, as the resource system wants it. A static library's
// resources are registered only when something asks for them.
static void RegisterIcons() { Q_INIT_RESOURCE(icons); }

namespace {

uint32_t Read32(const QByteArray& data, qsizetype at) {
    return qFromLittleEndian<quint32>(reinterpret_cast<const uchar*>(data.constData()) + at);
}
uint16_t Read16(const QByteArray& data, qsizetype at) {
    return qFromLittleEndian<quint16>(reinterpret_cast<const uchar*>(data.constData()) + at);
}

// Qt's ICO reader keeps the transparency mask of 8-bit images but drops it
// for 24-bit ones, which then show on a black square. The mask follows the
// colour bits of image `index`; a pixel whose mask bit is set is clear.
void ApplyMask(const QByteArray& data, int index, QImage& image) {
    const qsizetype entry = 6 + 16 * static_cast<qsizetype>(index);
    if (entry + 16 > data.size()) return;
    const qsizetype at = Read32(data, entry + 12);
    if (at < 0 || at + 40 > data.size() || Read32(data, at) < 40) return;  // a PNG image carries its own alpha
    const qsizetype width = static_cast<int32_t>(Read32(data, at + 4));
    const qsizetype height = static_cast<int32_t>(Read32(data, at + 8)) / 2;
    const qsizetype bits = Read16(data, at + 14);
    if (width != image.width() || height != image.height() || bits == 0 || bits >= 32) return;
    const qsizetype colours = Read32(data, at + 32) != 0 ? Read32(data, at + 32) : (bits <= 8 ? 1 << bits : 0);
    const qsizetype colourStride = (width * bits + 31) / 32 * 4;
    const qsizetype maskStride = (width + 31) / 32 * 4;
    const qsizetype mask = at + Read32(data, at) + colours * 4 + colourStride * height;
    if (mask + maskStride * height > data.size()) return;
    image = image.convertToFormat(QImage::Format_ARGB32);
    for (qsizetype y = 0; y < height; ++y) {
        const auto* row = reinterpret_cast<const uchar*>(data.constData()) + mask + maskStride * (height - 1 - y);  // bottom-up
        for (qsizetype x = 0; x < width; ++x) {
            if ((row[x / 8] >> (7 - x % 8)) & 1) image.setPixel(int(x), int(y), qRgba(0, 0, 0, 0));
        }
    }
}

QIcon Load(const char* path) {
    QIcon icon;
    for (const QImage& image : icons::Images(QString::fromLatin1(path))) icon.addPixmap(QPixmap::fromImage(image));
    return icon;
}

}  // namespace

namespace icons {

QList<QImage> Images(const QString& path) {
    static const bool registered = (RegisterIcons(), true);
    (void)registered;
    QList<QImage> images;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return images;
    QByteArray data = file.readAll();
    QBuffer buffer(&data);
    QImageReader reader(&buffer, "ico");
    for (int index = 0;; ++index) {
        QImage image = reader.read();
        if (image.isNull()) break;
        ApplyMask(data, index, image);
        images.append(image);
        if (!reader.jumpToNextImage()) break;
    }
    return images;
}

QIcon Main() { return Load(":/icons/main.ico"); }
QIcon Pinned() { return Load(":/icons/pinned.ico"); }
QIcon Unpinned() { return Load(":/icons/unpinned.ico"); }
}  // namespace icons
