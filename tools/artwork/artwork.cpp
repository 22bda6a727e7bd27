#include "tools/artwork/artwork.h"

#include "tools/artwork/background.h"
#include "tools/artwork/icoencoder.h"
#include "tools/artwork/motif.h"

#include <QBuffer>
#include <QDir>
#include <QFileInfo>
#include <QImageWriter>
#include <QSaveFile>

namespace stats::tools::artwork {
namespace {

// 96 dots per inch, stored in the files; left alone, Qt would take it from the screen.
constexpr int kDotsPerMeter = 3780;
constexpr int kJpegQuality = 90;

// The icon file's 16-colour palette, picked from the motif's own colours (with black first,
// for the transparent pixels) so the small pictures keep its look.
constexpr std::array<QRgb, 16> kIconPalette{
    0xff000000, 0xff7a4e0e, 0xffdc9a22, 0xffeeb942, 0xfffbd862, 0xff1c2c5e, 0xff283f7c, 0xff3656a0,
    0xfff27a5e, 0xff8cd05c, 0xff66c4f2, 0xfffff3d2, 0xffffffff, 0xff6f6a58, 0xffa8813a, 0xff4a3412,
};
constexpr std::array<QRgb, 2> kMonochromePalette{0xff000000, 0xffffffff};

[[nodiscard]] std::expected<QByteArray, QString> encodeImage(QImage image, const char *format,
                                                             int quality)
{
    image.setDotsPerMeterX(kDotsPerMeter);
    image.setDotsPerMeterY(kDotsPerMeter);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    writer.setQuality(quality);
    // Huffman tables fitted to the picture: a smaller file that is still baseline.
    writer.setOptimizedWrite(true);
    if (!writer.write(image)) {
        return std::unexpected(writer.errorString());
    }
    return bytes;
}

[[nodiscard]] QByteArray windowsIcon()
{
    const std::array icons{
        quantize(renderMotif(32), 1, kMonochromePalette),
        quantize(renderMotif(32), 4, kIconPalette),
        quantize(renderMotif(16), 4, kIconPalette),
    };
    return encodeIco(icons);
}

[[nodiscard]] std::expected<QByteArray, QString> contents(const ArtworkFile &file)
{
    switch (file.kind) {
    case ArtworkKind::Background:
        return encodeImage(renderBackground(), "jpeg", kJpegQuality);
    case ArtworkKind::WindowsIcon:
        return windowsIcon();
    case ArtworkKind::IconPng:
        return encodeImage(renderMotif(file.size), "png", -1);
    case ArtworkKind::IconSvg:
        return motifSvg();
    }
    return std::unexpected(QStringLiteral("unknown kind of artwork"));
}

[[nodiscard]] std::expected<void, QString> writeFile(const QString &path, const QByteArray &bytes)
{
    if (!QDir().mkpath(QFileInfo(path).absolutePath())) {
        return std::unexpected(QStringLiteral("cannot create its folder"));
    }
    QSaveFile out(path);
    if (!out.open(QIODevice::WriteOnly) || out.write(bytes) != bytes.size() || !out.commit()) {
        return std::unexpected(out.errorString());
    }
    return {};
}

} // namespace

std::expected<void, ArtworkError> writeArtwork(const QString &outputFolder)
{
    for (const ArtworkFile &file : kArtworkFiles) {
        const QString path =
            QDir(outputFolder)
                .filePath(QString::fromLatin1(file.path.data(), qsizetype(file.path.size())));
        auto bytes = contents(file);
        if (!bytes) {
            return std::unexpected(ArtworkError{path, bytes.error()});
        }
        if (auto written = writeFile(path, *bytes); !written) {
            return std::unexpected(ArtworkError{path, written.error()});
        }
    }
    return {};
}

} // namespace stats::tools::artwork
