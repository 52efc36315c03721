// Writes the program's emblem for installation:
//   tolvane-icon DIR SIZE...  makes DIR/SIZExSIZE/apps/tolvane.png for each size, as the hicolor
//                             icon theme lays them out;
//   tolvane-icon --ico FILE   makes a Windows icon file of the images the window uses.
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <algorithm>
#include <cstdint>
#include <iostream>
#include <vector>

#include "panel/app_icon.h"

namespace {

void appendLittleEndian(QByteArray& bytes, std::uint32_t value, int size) {
    for (int i = 0; i < size; ++i) {
        bytes.append(static_cast<char>((value >> (8 * i)) & 0xFFU));
    }
}

// One icon image as Windows stores it: a bitmap header whose height counts the colour rows and
// the mask rows together, the colour rows as 32-bit BGRA from the bottom row up, then a one-bit
// mask (1 = transparent) in rows padded to four bytes, which only renderers that ignore alpha use.
QByteArray icoBitmap(const QImage& source) {
    const QImage image = source.convertToFormat(QImage::Format_ARGB32);
    const auto width = static_cast<std::uint32_t>(image.width());
    const auto height = static_cast<std::uint32_t>(image.height());
    const std::uint32_t maskRowBytes = (width + 31) / 32 * 4;
    const std::uint32_t pixelBytes = width * height * 4 + maskRowBytes * height;

    QByteArray bytes;
    appendLittleEndian(bytes, 40, 4);  // header size
    appendLittleEndian(bytes, width, 4);
    appendLittleEndian(bytes, height * 2, 4);
    appendLittleEndian(bytes, 1, 2);   // planes
    appendLittleEndian(bytes, 32, 2);  // bits per pixel
    appendLittleEndian(bytes, 0, 4);   // uncompressed
    appendLittleEndian(bytes, pixelBytes, 4);
    bytes.append(16, '\0');  // resolution and palette: none
    for (int y = image.height() - 1; y >= 0; --y) {
        for (int x = 0; x < image.width(); ++x) {
            appendLittleEndian(bytes, image.pixel(x, y), 4);  // 0xAARRGGBB, low byte first
        }
    }
    for (int y = image.height() - 1; y >= 0; --y) {
        QByteArray row(static_cast<qsizetype>(maskRowBytes), '\0');
        for (int x = 0; x < image.width(); ++x) {
            if (qAlpha(image.pixel(x, y)) == 0) {
                row[x / 8] = static_cast<char>(row[x / 8] | (0x80 >> (x % 8)));
            }
        }
        bytes.append(row);
    }
    return bytes;
}

// The icon file: a directory of the images (each under 256 pixels, whose width fits a byte), then
// the images themselves.
QByteArray icoFile(const std::vector<QImage>& images) {
    constexpr std::uint32_t kDirectoryBytes = 6;
    constexpr std::uint32_t kEntryBytes = 16;
    QByteArray directory;
    appendLittleEndian(directory, 0, 2);
    appendLittleEndian(directory, 1, 2);  // an icon, not a cursor
    appendLittleEndian(directory, static_cast<std::uint32_t>(images.size()), 2);
    QByteArray bitmaps;
    auto offset = static_cast<std::uint32_t>(kDirectoryBytes + kEntryBytes * images.size());
    for (const QImage& image : images) {
        const QByteArray bitmap = icoBitmap(image);
        directory.append(static_cast<char>(image.width()));
        directory.append(static_cast<char>(image.height()));
        appendLittleEndian(directory, 0, 2);  // no palette, reserved
        appendLittleEndian(directory, 1, 2);  // planes
        appendLittleEndian(directory, 32, 2);
        appendLittleEndian(directory, static_cast<std::uint32_t>(bitmap.size()), 4);
        appendLittleEndian(directory, offset, 4);
        offset += static_cast<std::uint32_t>(bitmap.size());
        bitmaps.append(bitmap);
    }
    return directory + bitmaps;
}

int writeIco(const QString& path) {
    const QIcon icon = tolvane::appIcon();
    QList<QSize> sizes = icon.availableSizes();
    std::sort(sizes.begin(), sizes.end(), [](QSize a, QSize b) { return a.width() > b.width(); });
    std::vector<QImage> images;
    for (const QSize size : sizes) {
        images.push_back(icon.pixmap(size).toImage());
    }
    QFile file(path);
    if (images.empty() || !file.open(QIODevice::WriteOnly) || file.write(icoFile(images)) < 0 ||
        !file.flush()) {
        std::cerr << "tolvane-icon: cannot write " << path.toStdString() << '\n';
        return 1;
    }
    return 0;
}

int writePngs(const QDir& root, int count, char* sizes[]) {
    for (int i = 0; i < count; ++i) {
        bool ok = false;
        const int size = QString::fromLatin1(sizes[i]).toInt(&ok);
        if (!ok || size < 8 || size > 1024) {
            std::cerr << "tolvane-icon: bad size " << sizes[i] << '\n';
            return 2;
        }
        const QString folder = QStringLiteral("%1x%1/apps").arg(size);
        if (!root.mkpath(folder) || !tolvane::drawEmblem(size).save(
                                        root.filePath(folder + QStringLiteral("/tolvane.png")))) {
            std::cerr << "tolvane-icon: cannot write the " << size << "-pixel icon\n";
            return 1;
        }
    }
    return 0;
}

}  // namespace

int main(int argc, char* argv[]) {
    if (argc < 3) {
        std::cerr << "usage: tolvane-icon DIR SIZE... | tolvane-icon --ico FILE\n";
        return 2;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (QByteArray(argv[1]) == "--ico") {
        return writeIco(QString::fromLocal8Bit(argv[2]));
    }
    return writePngs(QDir(QString::fromLocal8Bit(argv[1])), argc - 2, argv + 2);
}
