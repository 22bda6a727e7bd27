// The window on a screen scaled by QT_SCALE_FACTOR (the suite runs at 2 and at 1.5): every
// control keeps its place in device-independent pixels and grows with the factor in device
// pixels, the lines stay on their boxes, the background picture is drawn one picture pixel to
// one device pixel from the top-left corner, and text is drawn at the screen's resolution.

#include "layout.h"
#include "modalanswerer.h"
#include "windowdriver.h"

#include <QFontDatabase>
#include <QFontInfo>
#include <QImage>
#include <QLineEdit>
#include <QPixmap>
#include <QTest>

#include <cmath>
#include <cstdlib>

using namespace stats;
using testing::qtext;

namespace {

double scaleFactor()
{
    bool ok = false;
    const double factor = qEnvironmentVariable("QT_SCALE_FACTOR").toDouble(&ok);
    return ok && factor > 0 ? factor : 1.0;
}

// Where the layout puts a control, in device-independent pixels.
QRect layoutGeometry(const auto &design)
{
    return {design.left / app::kTwipsPerPixel, design.top / app::kTwipsPerPixel,
            design.width / app::kTwipsPerPixel, design.height / app::kTwipsPerPixel};
}

int scaled(int logical, double factor)
{
    return static_cast<int>(std::lround(logical * factor));
}

// Whether two colours differ by at most @p tolerance in every channel.
bool near(QRgb a, QRgb b, int tolerance)
{
    return std::abs(qRed(a) - qRed(b)) <= tolerance &&
           std::abs(qGreen(a) - qGreen(b)) <= tolerance &&
           std::abs(qBlue(a) - qBlue(b)) <= tolerance;
}

} // namespace

class HighDpiTest : public QObject, public testing::WindowFixture
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void theScreenIsScaled();
    void everyControlKeepsItsPlaceAndGrowsWithTheFactor_data();
    void everyControlKeepsItsPlaceAndGrowsWithTheFactor();
    void editBoxesFillTheirScaledRectangle();
    void theLinesStayOnTheirBoxes();
    void theBackgroundIsOnePicturePixelToOneDevicePixel();
    void textIsDrawnAtTheScreensResolution();

private:
    // The window's device pixels, grabbed once per test with the search area open.
    [[nodiscard]] QImage grabbed() const
    {
        return m_driver->window().grab().toImage().convertToFormat(QImage::Format_RGB32);
    }
    // Whether logical point @p point lies on or beside a control or line.
    [[nodiscard]] bool nearAChild(QPoint point, int margin) const;

    double m_factor = 1.0;
};

void HighDpiTest::initTestCase()
{
    m_factor = scaleFactor();
    qInfo("scale factor %g", m_factor);
}

void HighDpiTest::init()
{
    QVERIFY(startWindow(image::systemFileApi(), false));
    m_driver->showSaveButtons();
}

void HighDpiTest::cleanup()
{
    stopWindow();
}

bool HighDpiTest::nearAChild(QPoint point, int margin) const
{
    for (const QWidget *child :
         m_driver->window().findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly)) {
        if (child->isVisible() &&
            child->geometry().adjusted(-margin, -margin, margin, margin).contains(point)) {
            return true;
        }
    }
    return false;
}

void HighDpiTest::theScreenIsScaled()
{
    app::Form1 &window = m_driver->window();
    QCOMPARE(window.devicePixelRatioF(), m_factor);
    // The client area keeps its size in device-independent pixels.
    QCOMPARE(window.size(),
             QSize(app::pixels(app::kClientWidth), app::pixels(app::kClientHeightExpanded)));
    const QPixmap pixmap = window.grab();
    QCOMPARE(pixmap.devicePixelRatio(), m_factor);
    QVERIFY(std::abs(pixmap.width() - window.width() * m_factor) <= 1.0);
    QVERIFY(std::abs(pixmap.height() - window.height() * m_factor) <= 1.0);
}

void HighDpiTest::everyControlKeepsItsPlaceAndGrowsWithTheFactor_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QRect>("geometry");
    for (const auto &design : app::kControls) {
        const QByteArray name(design.name.data(), static_cast<qsizetype>(design.name.size()));
        QTest::newRow(name.constData()) << qtext(design.name) << layoutGeometry(design);
    }
}

void HighDpiTest::everyControlKeepsItsPlaceAndGrowsWithTheFactor()
{
    QFETCH(QString, name);
    QFETCH(QRect, geometry);
    auto *widget = m_driver->window().findChild<QWidget *>(name);
    QVERIFY(widget != nullptr);
    QCOMPARE(widget->geometry(), geometry);
    QCOMPARE(widget->devicePixelRatioF(), m_factor);
    const QPixmap pixmap = widget->grab();
    QCOMPARE(pixmap.devicePixelRatio(), m_factor);
    QVERIFY2(std::abs(pixmap.width() - scaled(geometry.width(), m_factor)) <= 1,
             qPrintable(QStringLiteral("%1 device pixels wide").arg(pixmap.width())));
    QVERIFY2(std::abs(pixmap.height() - scaled(geometry.height(), m_factor)) <= 1,
             qPrintable(QStringLiteral("%1 device pixels high").arg(pixmap.height())));
}

// In the window's own device pixels each empty edit box paints its white field across the
// whole scaled rectangle, less its frame: a box drawn at the unscaled size would stop short.
void HighDpiTest::editBoxesFillTheirScaledRectangle()
{
    const QImage image = grabbed();
    const int frame = static_cast<int>(std::ceil(3 * m_factor));
    for (QLineEdit *edit :
         m_driver->window().findChildren<QLineEdit *>(QString(), Qt::FindDirectChildrenOnly)) {
        const QRect logical = edit->geometry();
        const QRgb base = edit->palette().color(QPalette::Base).rgb();
        const int y = scaled(logical.center().y(), m_factor);
        const int centre = scaled(logical.center().x(), m_factor);
        QVERIFY(near(image.pixel(centre, y), base, 2));
        int left = centre;
        while (left > 0 && near(image.pixel(left - 1, y), base, 2)) {
            --left;
        }
        int right = centre;
        while (right + 1 < image.width() && near(image.pixel(right + 1, y), base, 2)) {
            ++right;
        }
        const int deviceLeft = scaled(logical.left(), m_factor);
        const int deviceRight = scaled(logical.left() + logical.width(), m_factor) - 1;
        const QString where = QStringLiteral("%1: white from %2 to %3, box %4 to %5")
                                  .arg(edit->objectName())
                                  .arg(left)
                                  .arg(right)
                                  .arg(deviceLeft)
                                  .arg(deviceRight);
        QVERIFY2(left >= deviceLeft && left <= deviceLeft + frame, qPrintable(where));
        QVERIFY2(right <= deviceRight && right >= deviceRight - frame, qPrintable(where));
    }
}

void HighDpiTest::theLinesStayOnTheirBoxes()
{
    const QImage image = grabbed();
    for (const auto &line : app::allLines()) {
        auto *widget = m_driver->window().findChild<QWidget *>(qtext(line.name));
        QVERIFY(widget != nullptr);
        const QRect expected(QPoint(app::pixels(line.x1), app::pixels(line.y1)),
                             QPoint(app::pixels(line.x2), app::pixels(line.y2)));
        QCOMPARE(widget->geometry(), expected);
        const QRgb ink = widget->palette().color(QPalette::WindowText).rgb();
        // The middle of each logical pixel along the line, in device pixels.
        int checked = 0;
        for (int step = 0; step <= 8; ++step) {
            const QPointF along =
                QPointF(expected.topLeft()) +
                QPointF(expected.width() - 1, expected.height() - 1) * (step / 8.0);
            const QPoint logical = along.toPoint();
            const QPoint device(static_cast<int>((logical.x() + 0.5) * m_factor),
                                static_cast<int>((logical.y() + 0.5) * m_factor));
            if (device.x() >= image.width() || device.y() >= image.height()) {
                continue;
            }
            QVERIFY2(near(image.pixel(device), ink, 8),
                     qPrintable(QStringLiteral("%1 at device %2,%3 is %4")
                                    .arg(qtext(line.name))
                                    .arg(device.x())
                                    .arg(device.y())
                                    .arg(image.pixel(device), 8, 16)));
            ++checked;
        }
        QVERIFY(checked > 0);
    }
}

void HighDpiTest::theBackgroundIsOnePicturePixelToOneDevicePixel()
{
    const QImage picture =
        QImage(QStringLiteral(":/background.jpg")).convertToFormat(QImage::Format_RGB32);
    QVERIFY(!picture.isNull());
    const QImage image = grabbed();
    const QRgb windowColour = m_driver->window().palette().color(QPalette::Window).rgb();
    // JPEG decoders may round a channel differently; the picture's bands differ by far more.
    constexpr int kTolerance = 6;
    int onPicture = 0;
    int beyondPicture = 0;
    int stretchedWouldMatch = 0;
    QStringList mismatches;
    for (int y = 1; y < image.height(); y += 9) {
        for (int x = 1; x < image.width(); x += 9) {
            const QPoint logical(static_cast<int>(x / m_factor), static_cast<int>(y / m_factor));
            if (nearAChild(logical, 2)) {
                continue;
            }
            const QRgb shown = image.pixel(x, y);
            // Past the picture's edge the window shows its own colour, not a stretched picture.
            const bool inside = x < picture.width() && y < picture.height();
            const QRgb wanted = inside ? picture.pixel(x, y) : windowColour;
            if (!near(shown, wanted, inside ? kTolerance : 0)) {
                mismatches << QStringLiteral("device %1,%2 shows %3 instead of %4")
                                  .arg(x)
                                  .arg(y)
                                  .arg(shown, 8, 16)
                                  .arg(wanted, 8, 16);
            }
            if (inside) {
                stretchedWouldMatch += near(shown, picture.pixel(logical), kTolerance) ? 1 : 0;
                ++onPicture;
            } else {
                ++beyondPicture;
            }
        }
    }
    QVERIFY2(onPicture > 200, qPrintable(QString::number(onPicture)));
    // The expanded window is taller than the picture once the factor passes 1024 / 729.
    QCOMPARE(beyondPicture > 0, image.height() > picture.height());
    QVERIFY2(mismatches.isEmpty(), qPrintable(QStringLiteral("%1 of %2 pixels, first %3")
                                                  .arg(mismatches.size())
                                                  .arg(onPicture + beyondPicture)
                                                  .arg(mismatches.value(0))));
    if (m_factor != 1.0) {
        // The sample tells the two ways of drawing apart: a picture stretched by the factor
        // would put other colours on most of these device pixels.
        QVERIFY2(stretchedWouldMatch < onPicture * 3 / 4,
                 qPrintable(QStringLiteral("%1 of %2").arg(stretchedWouldMatch).arg(onPicture)));
    }
}

void HighDpiTest::textIsDrawnAtTheScreensResolution()
{
    // Every face the window uses is an outline font, so it is drawn anew at any size.
    for (const auto &design : app::kControls) {
        auto *widget = m_driver->window().findChild<QWidget *>(qtext(design.name));
        const QFontInfo info(widget->font());
        QVERIFY2(QFontDatabase::isSmoothlyScalable(info.family(), info.styleName()),
                 qPrintable(info.family()));
    }
    if (m_factor != std::floor(m_factor) || m_factor < 2) {
        return;
    }
    // A caption drawn at one device pixel per logical pixel and then enlarged would repeat
    // every pixel in whole blocks of factor x factor; drawn at the screen's resolution its
    // edges fall within the blocks.
    const int block = static_cast<int>(m_factor);
    const QRect label = m_driver->control("Label12")->geometry();
    const QImage caption = grabbed().copy(label.x() * block, label.y() * block,
                                          label.width() * block, label.height() * block);
    int blocksWithDetail = 0;
    for (int y = 0; y + block <= caption.height(); y += block) {
        for (int x = 0; x + block <= caption.width(); x += block) {
            bool uniform = true;
            for (int dy = 0; dy < block && uniform; ++dy) {
                for (int dx = 0; dx < block && uniform; ++dx) {
                    uniform = caption.pixel(x + dx, y + dy) == caption.pixel(x, y);
                }
            }
            blocksWithDetail += uniform ? 0 : 1;
        }
    }
    QVERIFY2(blocksWithDetail >= 20, qPrintable(QString::number(blocksWithDetail)));
}

QTEST_MAIN(HighDpiTest)
#include "highdpi_test.moc"
