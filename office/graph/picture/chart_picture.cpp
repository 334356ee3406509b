#include "office/graph/chart_picture.h"

#include <QImage>
#include <QPainter>

#include <algorithm>
#include <cmath>

#include "office/draw/gui_application.h"
#include "office/draw/picture_bounds.h"
#include "office/error.h"
#include "office/graph/picture/chart_data.h"
#include "office/graph/picture/chart_painter.h"
#include "office/package/png.h"

namespace office::graph {

namespace {

constexpr double kEmuPerInch = 914400;
constexpr double kPointsPerInch = 72;
constexpr double kPixelsPerInch = 192;

// Pixels per inch for the frame: 192, or less where the picture would grow beyond the bounds.
double densityFor(double inchesWide, double inchesHigh) {
    double density = kPixelsPerInch;
    density = std::min(density, draw::kMaxPictureSide / std::max(inchesWide, inchesHigh));
    density = std::min(density, std::sqrt(draw::kMaxPicturePixels / (inchesWide * inchesHigh)));
    return density;
}

void checkFrame(std::int64_t cx, std::int64_t cy) {
    if (cx <= 0 || cy <= 0) {
        throw Error(ErrorCode::InvalidArgument, "a chart picture needs a frame with an area, not " +
                                                    std::to_string(cx) + " x " +
                                                    std::to_string(cy) + " EMU");
    }
}

}  // namespace

void prepareChartPicture(std::int64_t cx, std::int64_t cy) {
    checkFrame(cx, cy);
    draw::ensureGuiApplication();
}

ChartPicture drawGraphChart(const msgraph::GraphChart& chart, std::int64_t cx, std::int64_t cy) {
    checkFrame(cx, cy);
    const double inchesWide = static_cast<double>(cx) / kEmuPerInch;
    const double inchesHigh = static_cast<double>(cy) / kEmuPerInch;
    const double density = densityFor(inchesWide, inchesHigh);
    // Whole pixels: at least 192 per inch, rounded down where the bounds hold the picture.
    const auto pixels = [&](double inches) {
        const double exact = inches * density;
        return std::max(1, static_cast<int>(density < kPixelsPerInch ? std::floor(exact)
                                                                     : std::ceil(exact - 1e-6)));
    };
    const int width = pixels(inchesWide);
    const int height = pixels(inchesHigh);

    const bool withText = draw::ensureGuiApplication();
    // The canvas stays from one picture to the next of the same size, as the pictures of a deck
    // mostly are: fresh memory of a few megabytes costs a page fault every 4 KiB.
    thread_local QImage image;
    if (image.width() != width || image.height() != height) {
        image = QImage(width, height, QImage::Format_RGB32);
    }
    image.fill(Qt::white);
    {
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setRenderHint(QPainter::TextAntialiasing);
        const picture::ChartData data = picture::chartData(chart.sheet);
        picture::ChartPainter(painter, chart, data, density / kPointsPerInch, withText)
            .draw(QRectF(0, 0, width, height));
    }
    const auto dotsPerMeter = static_cast<int>(std::lround(density / 0.0254));
    ChartPicture picture;
    picture.png =
        package::encodePng(reinterpret_cast<const std::uint32_t*>(image.constBits()), width, height,
                           static_cast<std::size_t>(image.bytesPerLine() / 4), dotsPerMeter);
    picture.width = width;
    picture.height = height;
    return picture;
}

}  // namespace office::graph
