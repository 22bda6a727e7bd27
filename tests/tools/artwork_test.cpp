#include "tools/artwork/icoencoder.h"

#include <gtest/gtest.h>

#include <QBuffer>
#include <QDirIterator>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QImageReader>
#include <QProcess>
#include <QTemporaryDir>
#include <QXmlStreamReader>

#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>
#include <set>
#include <span>

namespace {

using stats::tools::artwork::encodeIco;
using stats::tools::artwork::IndexedIcon;

const QString kArtworkDir = QStringLiteral(ARTWORK_DIR);

// The image plugins (JPEG, ICO) are loaded through the application object.
void ensureApplication()
{
    static int argc = 1;
    static char name[] = "artwork_test";
    static char *argv[] = {name, nullptr};
    static QGuiApplication app(argc, argv);
}

[[nodiscard]] QByteArray readArtwork(const QString &relativePath)
{
    QFile file(kArtworkDir + QLatin1Char('/') + relativePath);
    if (!file.open(QIODevice::ReadOnly)) {
        ADD_FAILURE() << "cannot open " << qPrintable(file.fileName());
        return {};
    }
    return file.readAll();
}

[[nodiscard]] int u8(const QByteArray &bytes, qsizetype at)
{
    return static_cast<std::uint8_t>(bytes.at(at));
}

[[nodiscard]] int u16le(const QByteArray &bytes, qsizetype at)
{
    return u8(bytes, at) | u8(bytes, at + 1) << 8;
}

[[nodiscard]] int u32le(const QByteArray &bytes, qsizetype at)
{
    return u16le(bytes, at) | u16le(bytes, at + 2) << 16;
}

[[nodiscard]] int u16be(const QByteArray &bytes, qsizetype at)
{
    return u8(bytes, at) << 8 | u8(bytes, at + 1);
}

[[nodiscard]] double luma(QRgb colour)
{
    return (299.0 * qRed(colour) + 587.0 * qGreen(colour) + 114.0 * qBlue(colour)) / 1000.0;
}

// --- Background -------------------------------------------------------------------------------

class Background : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        ensureApplication();
        image = new QImage(kArtworkDir + QStringLiteral("/background.jpg"));
    }
    static void TearDownTestSuite()
    {
        delete image;
        image = nullptr;
    }
    static const QImage &picture() { return *image; }

    [[nodiscard]] static double lumaAt(int x, int y) { return luma(picture().pixel(x, y)); }

    // Follows the bright crest of a band from (x, y) one way, column by column, and returns the
    // crest's height once `distance` pixels away (or where it leaves the picture).
    [[nodiscard]] static int followCrest(int x, int y, int direction, int distance)
    {
        constexpr int kStep = 4;
        constexpr int kReach = 6;
        for (int moved = kStep; moved <= distance; moved += kStep) {
            const int column = x + direction * moved;
            int best = y;
            for (int candidate = std::max(0, y - kReach);
                 candidate <= std::min(picture().height() - 1, y + kReach); ++candidate) {
                if (lumaAt(column, candidate) > lumaAt(column, best)) {
                    best = candidate;
                }
            }
            y = best;
            if (y <= kReach) {
                break;
            }
        }
        return y;
    }

private:
    static inline QImage *image = nullptr;
};

TEST_F(Background, IsABaselineColourJpegOfTheWindowSize)
{
    const QByteArray bytes = readArtwork(QStringLiteral("background.jpg"));
    ASSERT_GT(bytes.size(), 4);
    EXPECT_LT(bytes.size(), 300 * 1024);
    ASSERT_EQ(u16be(bytes, 0), 0xffd8);
    // Walk the marker segments up to the frame header.
    std::optional<int> frameMarker;
    qsizetype at = 2;
    while (at + 4 <= bytes.size() && u8(bytes, at) == 0xff) {
        const int marker = u8(bytes, at + 1);
        if (marker >= 0xc0 && marker <= 0xcf && marker != 0xc4 && marker != 0xc8 &&
            marker != 0xcc) {
            frameMarker = marker;
            ASSERT_LE(at + 10, bytes.size());
            EXPECT_EQ(u8(bytes, at + 4), 8) << "sample precision";
            EXPECT_EQ(u16be(bytes, at + 5), 1024) << "height";
            EXPECT_EQ(u16be(bytes, at + 7), 1280) << "width";
            EXPECT_EQ(u8(bytes, at + 9), 3) << "colour components";
            break;
        }
        at += 2 + u16be(bytes, at + 2);
    }
    ASSERT_TRUE(frameMarker.has_value()) << "no frame header";
    EXPECT_EQ(*frameMarker, 0xc0) << "not a baseline frame";

    ASSERT_FALSE(picture().isNull());
    EXPECT_EQ(picture().size(), QSize(1280, 1024));
}

TEST_F(Background, IsGoldenYellowOnAverageAndLightEnoughForDarkText)
{
    double red = 0.0;
    double green = 0.0;
    double blue = 0.0;
    double darkest = 255.0;
    int samples = 0;
    for (int y = 0; y < picture().height(); y += 4) {
        for (int x = 0; x < picture().width(); x += 4) {
            const QRgb colour = picture().pixel(x, y);
            red += qRed(colour);
            green += qGreen(colour);
            blue += qBlue(colour);
            darkest = std::min(darkest, luma(colour));
            ++samples;
        }
    }
    red /= samples;
    green /= samples;
    blue /= samples;
    EXPECT_GT(red, 215.0);
    EXPECT_GT(green, 165.0);
    EXPECT_LT(green, red - 20.0);
    EXPECT_LT(blue, green - 60.0);
    // Black and dark grey labels drawn anywhere keep a strong contrast.
    EXPECT_GT(darkest, 165.0);
}

TEST_F(Background, BandsArePaleAndSoftEdged)
{
    const int middle = picture().width() / 2;
    int palest = 0;
    int deepest = 0;
    int steepest = 0;
    for (int y = 0; y < picture().height(); ++y) {
        const QRgb colour = picture().pixel(middle, y);
        if (luma(colour) > luma(picture().pixel(middle, palest))) {
            palest = y;
        }
        if (luma(colour) < luma(picture().pixel(middle, deepest))) {
            deepest = y;
        }
        if (y > 0) {
            const QRgb above = picture().pixel(middle, y - 1);
            steepest = std::max({steepest, std::abs(qRed(colour) - qRed(above)),
                                 std::abs(qGreen(colour) - qGreen(above)),
                                 std::abs(qBlue(colour) - qBlue(above))});
        }
    }
    const QRgb cream = picture().pixel(middle, palest);
    EXPECT_GT(qRed(cream), 245);
    EXPECT_GT(qGreen(cream), 220);
    EXPECT_GT(qBlue(cream), 145);
    EXPECT_GT(qBlue(cream) - qBlue(picture().pixel(middle, deepest)), 60) << "no visible bands";
    // Blurred edges: no hard step from one row to the next.
    EXPECT_LE(steepest, 8);
}

TEST_F(Background, BandsFormChevronsPointingDown)
{
    // Every prominent crest on the middle column rises as it is followed out to either side.
    const int middle = picture().width() / 2;
    std::array<double, 1024> column{};
    double lowest = 255.0;
    double highest = 0.0;
    for (int y = 0; y < picture().height(); ++y) {
        column[static_cast<std::size_t>(y)] = lumaAt(middle, y);
        lowest = std::min(lowest, column[static_cast<std::size_t>(y)]);
        highest = std::max(highest, column[static_cast<std::size_t>(y)]);
    }
    const double crestLevel = lowest + 0.7 * (highest - lowest);
    int crests = 0;
    for (int y = 40; y < picture().height() - 40; ++y) {
        const auto window = std::span(column).subspan(static_cast<std::size_t>(y - 40), 81);
        const double here = column[static_cast<std::size_t>(y)];
        if (here < crestLevel || here < *std::max_element(window.begin(), window.end()) ||
            (y > 0 && column[static_cast<std::size_t>(y - 1)] == here)) {
            continue;
        }
        ++crests;
        for (const int direction : {-1, 1}) {
            // A crest near the top may run out of the picture before rising the full amount.
            const int rise = y - followCrest(middle, y, direction, 400);
            EXPECT_GE(rise, std::min(40, y - 7))
                << "crest at y=" << y << " does not rise towards the "
                << (direction < 0 ? "left" : "right");
        }
    }
    EXPECT_GE(crests, 3) << "several bands stack from top to bottom";
}

// --- Windows icon -----------------------------------------------------------------------------

struct IconEntry
{
    int size;
    int bitsPerPixel;
};

constexpr std::array kIconEntries{IconEntry{32, 1}, IconEntry{32, 4}, IconEntry{16, 4}};

[[nodiscard]] int rowBytes(int width, int bitsPerPixel)
{
    return (width * bitsPerPixel + 31) / 32 * 4;
}

TEST(WindowsIcon, HoldsExactlyTheThreePaletteImages)
{
    const QByteArray bytes = readArtwork(QStringLiteral("stats-editor.ico"));
    ASSERT_GE(bytes.size(), 6 + 16 * 3);
    EXPECT_EQ(u16le(bytes, 0), 0);
    EXPECT_EQ(u16le(bytes, 2), 1) << "icon, not cursor";
    ASSERT_EQ(u16le(bytes, 4), 3);

    int expectedOffset = 6 + 16 * 3;
    for (std::size_t i = 0; i < kIconEntries.size(); ++i) {
        SCOPED_TRACE(testing::Message() << "image " << i);
        const IconEntry expected = kIconEntries[i];
        const qsizetype entry = 6 + 16 * qsizetype(i);
        EXPECT_EQ(u8(bytes, entry), expected.size);
        EXPECT_EQ(u8(bytes, entry + 1), expected.size);
        EXPECT_EQ(u8(bytes, entry + 2), 1 << expected.bitsPerPixel) << "colour count";
        EXPECT_EQ(u16le(bytes, entry + 4), 1) << "planes";
        EXPECT_EQ(u16le(bytes, entry + 6), expected.bitsPerPixel);
        const int length = u32le(bytes, entry + 8);
        const int offset = u32le(bytes, entry + 12);
        EXPECT_EQ(offset, expectedOffset) << "images follow one another";
        EXPECT_EQ(length, 40 + 4 * (1 << expected.bitsPerPixel) +
                              rowBytes(expected.size, expected.bitsPerPixel) * expected.size +
                              rowBytes(expected.size, 1) * expected.size);
        ASSERT_LE(qsizetype(offset) + length, bytes.size());
        expectedOffset = offset + length;

        EXPECT_EQ(u32le(bytes, offset), 40) << "BITMAPINFOHEADER size";
        EXPECT_EQ(u32le(bytes, offset + 4), expected.size);
        EXPECT_EQ(u32le(bytes, offset + 8), 2 * expected.size) << "height counts the mask";
        EXPECT_EQ(u16le(bytes, offset + 12), 1);
        EXPECT_EQ(u16le(bytes, offset + 14), expected.bitsPerPixel);
        EXPECT_EQ(u32le(bytes, offset + 16), 0) << "uncompressed";
    }
    EXPECT_EQ(expectedOffset, bytes.size()) << "nothing after the last image";
}

TEST(WindowsIcon, QtReadsAllThreeWithTransparentCorners)
{
    ensureApplication();
    QImageReader reader(kArtworkDir + QStringLiteral("/stats-editor.ico"));
    ASSERT_EQ(reader.imageCount(), 3) << qPrintable(reader.errorString());
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(testing::Message() << "image " << i);
        ASSERT_TRUE(reader.jumpToImage(i));
        const QImage image = reader.read().convertToFormat(QImage::Format_ARGB32);
        ASSERT_FALSE(image.isNull()) << qPrintable(reader.errorString());
        const int size = kIconEntries[static_cast<std::size_t>(i)].size;
        ASSERT_EQ(image.size(), QSize(size, size));
        EXPECT_EQ(qAlpha(image.pixel(0, 0)), 0);
        EXPECT_EQ(qAlpha(image.pixel(size - 1, size - 1)), 0);
        EXPECT_EQ(qAlpha(image.pixel(size / 2, size / 2)), 255);
        std::set<QRgb> colours;
        for (int y = 0; y < size; ++y) {
            for (int x = 0; x < size; ++x) {
                if (qAlpha(image.pixel(x, y)) != 0) {
                    colours.insert(image.pixel(x, y));
                }
            }
        }
        const std::size_t paletteSize = 1u
                                        << kIconEntries[static_cast<std::size_t>(i)].bitsPerPixel;
        EXPECT_LE(colours.size(), paletteSize);
        EXPECT_GE(colours.size(), paletteSize == 2 ? 2u : 6u) << "the motif uses its palette";
    }
}

// --- The ICO encoder on its own ---------------------------------------------------------------

struct RoundTrip
{
    int size;
    int bitsPerPixel;
};

// Names the case in the test list instead of dumping its bytes.
void PrintTo(const RoundTrip &trip, std::ostream *out)
{
    *out << trip.size << "x" << trip.size << " at " << trip.bitsPerPixel << " bpp";
}

class IcoRoundTrip : public ::testing::TestWithParam<RoundTrip>
{
};

// Sizes whose rows need padding to whole 32-bit words, in the colours and in the mask.
INSTANTIATE_TEST_SUITE_P(Sizes, IcoRoundTrip,
                         ::testing::Values(RoundTrip{16, 1}, RoundTrip{24, 1}, RoundTrip{32, 1},
                                           RoundTrip{16, 4}, RoundTrip{24, 4}, RoundTrip{32, 4},
                                           RoundTrip{8, 4}),
                         [](const auto &param) {
                             return "Size" + std::to_string(param.param.size) + "Bpp" +
                                    std::to_string(param.param.bitsPerPixel);
                         });

TEST_P(IcoRoundTrip, QtDecodesEveryPixelAndTheMask)
{
    ensureApplication();
    const auto [size, bitsPerPixel] = GetParam();
    const int colours = 1 << bitsPerPixel;
    IndexedIcon icon;
    icon.size = size;
    icon.bitsPerPixel = bitsPerPixel;
    for (int i = 0; i < colours; ++i) {
        icon.palette.push_back(qRgb(16 * i, 255 - 8 * i, (i * 97) % 256));
    }
    // A pattern that differs from row to row and between neighbouring pixels, so swapped rows,
    // swapped nibbles or a missing pad byte all show.
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            icon.indices.push_back(static_cast<std::uint8_t>((x * 3 + y * 5 + 1) % colours));
            icon.transparent.push_back((x + 2 * y) % 7 == 0);
        }
    }
    QByteArray bytes = encodeIco(std::array{icon});
    QBuffer buffer(&bytes);
    QImageReader reader(&buffer, "ico");
    const QImage decoded = reader.read().convertToFormat(QImage::Format_ARGB32);
    ASSERT_FALSE(decoded.isNull()) << qPrintable(reader.errorString());
    ASSERT_EQ(decoded.size(), QSize(size, size));
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            const std::size_t at = static_cast<std::size_t>(y * size + x);
            const QRgb pixel = decoded.pixel(x, y);
            if (icon.transparent[at]) {
                ASSERT_EQ(qAlpha(pixel), 0) << "at " << x << "," << y;
            } else {
                ASSERT_EQ(pixel, icon.palette[icon.indices[at]]) << "at " << x << "," << y;
            }
        }
    }
}

// --- Freedesktop icons ------------------------------------------------------------------------

class PngIcon : public ::testing::TestWithParam<int>
{
};

INSTANTIATE_TEST_SUITE_P(Sizes, PngIcon, ::testing::Values(16, 32, 48, 64, 128, 256));

TEST_P(PngIcon, HasItsSizeAndAlpha)
{
    const int size = GetParam();
    const QString path =
        QStringLiteral("%1/icons/hicolor/%2x%2/apps/stats-editor.png").arg(kArtworkDir).arg(size);
    QImageReader reader(path);
    EXPECT_EQ(reader.format(), "png");
    const QImage image = reader.read();
    ASSERT_FALSE(image.isNull()) << qPrintable(reader.errorString());
    EXPECT_EQ(image.size(), QSize(size, size));
    EXPECT_TRUE(image.hasAlphaChannel());
    EXPECT_EQ(qAlpha(image.pixel(0, 0)), 0);
    EXPECT_EQ(qAlpha(image.pixel(size / 2, size / 2)), 255);
}

TEST(SvgIcon, IsAStandaloneSvgDocument)
{
    const QByteArray bytes =
        readArtwork(QStringLiteral("icons/hicolor/scalable/apps/stats-editor.svg"));
    QXmlStreamReader xml(bytes);
    bool sawRoot = false;
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement) {
            continue;
        }
        if (!sawRoot) {
            sawRoot = true;
            EXPECT_EQ(xml.name(), QStringLiteral("svg"));
            EXPECT_EQ(xml.namespaceUri(), QStringLiteral("http://www.w3.org/2000/svg"));
            EXPECT_EQ(xml.attributes().value(QStringLiteral("version")), QStringLiteral("1.1"));
            EXPECT_FALSE(xml.attributes().value(QStringLiteral("viewBox")).isEmpty());
        }
        EXPECT_NE(xml.name(), QStringLiteral("image")) << "no embedded or linked pictures";
        for (const QXmlStreamAttribute &attribute : xml.attributes()) {
            EXPECT_NE(attribute.name(), QStringLiteral("href")) << "no external references";
        }
    }
    EXPECT_FALSE(xml.hasError()) << qPrintable(xml.errorString());
    EXPECT_TRUE(sawRoot);
}

// --- The generator ----------------------------------------------------------------------------

constexpr std::array kCommittedFiles{
    "background.jpg",
    "stats-editor.ico",
    "icons/hicolor/16x16/apps/stats-editor.png",
    "icons/hicolor/32x32/apps/stats-editor.png",
    "icons/hicolor/48x48/apps/stats-editor.png",
    "icons/hicolor/64x64/apps/stats-editor.png",
    "icons/hicolor/128x128/apps/stats-editor.png",
    "icons/hicolor/256x256/apps/stats-editor.png",
    "icons/hicolor/scalable/apps/stats-editor.svg",
};

struct GeneratorRun
{
    int exitCode;
    QString errors;
};

[[nodiscard]] GeneratorRun runGenerator(const QStringList &arguments)
{
    QProcess process;
    process.start(QStringLiteral(MAKE_ARTWORK_PATH), arguments);
    if (!process.waitForFinished(60'000) || process.exitStatus() != QProcess::NormalExit) {
        return {-1, process.errorString()};
    }
    return {process.exitCode(), QString::fromLocal8Bit(process.readAllStandardError())};
}

TEST(Generator, ReproducesTheCommittedFilesByteForByte)
{
    QTemporaryDir out;
    ASSERT_TRUE(out.isValid());
    const GeneratorRun run = runGenerator({out.path()});
    ASSERT_EQ(run.exitCode, 0) << qPrintable(run.errors);

    for (const char *relativePath : kCommittedFiles) {
        SCOPED_TRACE(relativePath);
        QFile made(out.filePath(QString::fromLatin1(relativePath)));
        ASSERT_TRUE(made.open(QIODevice::ReadOnly));
        EXPECT_TRUE(made.readAll() == readArtwork(QString::fromLatin1(relativePath)))
            << "regenerate with make-artwork app/resources, or find what made it vary";
    }
    int written = 0;
    QDirIterator it(out.path(), QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        ++written;
    }
    EXPECT_EQ(written, int(kCommittedFiles.size())) << "the generator writes nothing else";
}

TEST(Generator, ReportsAFolderItCannotWriteTo)
{
    QTemporaryDir out;
    ASSERT_TRUE(out.isValid());
    QFile blocker(out.filePath(QStringLiteral("icons")));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();

    const GeneratorRun run = runGenerator({out.path()});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.errors.contains(QStringLiteral("icons"))) << qPrintable(run.errors);
}

} // namespace
