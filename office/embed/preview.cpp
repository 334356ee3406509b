#include "office/embed/preview.h"

#include <QBuffer>
#include <QFont>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>

#include <algorithm>

namespace office::embed {

namespace {

// Text needs a QGuiApplication (fonts live there). A host without one, such as a command-line
// run or a test, gets one on the offscreen platform, kept until the process ends.
bool ensureGuiApplication() {
    if (qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
        return true;
    }
    if (QCoreApplication::instance()) {
        return false;  // a console application: the table is drawn without text
    }
    static int argc = 3;
    static char name[] = "tabulon";
    static char option[] = "-platform";
    static char platform[] = "offscreen";
    static char* argv[] = {name, option, platform, nullptr};
    static QGuiApplication application(argc, argv);
    return true;
}

}  // namespace

Preview drawTable(const std::vector<std::vector<PreviewCell>>& rows) {
    const bool withText = ensureGuiApplication();
    QFont font("Noto Sans");
    font.setPixelSize(14);
    const QFontMetrics metrics(font);
    std::size_t columns = 1;
    for (const auto& row : rows) {
        columns = std::max(columns, row.size());
    }
    std::vector<int> widths(columns, 48);
    for (const auto& row : rows) {
        for (std::size_t c = 0; c < row.size(); ++c) {
            const int w =
                withText ? metrics.horizontalAdvance(QString::fromStdString(row[c].text)) : 0;
            widths[c] = std::min(400, std::max(widths[c], w + 12));
        }
    }
    const int rowHeight = (withText ? metrics.height() : 14) + 8;
    int width = 1;
    for (int w : widths) {
        width += w;
    }
    const int height = std::max<int>(1, static_cast<int>(rows.size())) * rowHeight + 1;

    QImage image(width, height, QImage::Format_ARGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setFont(font);
    painter.setPen(QColor(0xBF, 0xBF, 0xBF));
    for (std::size_t r = 0; r <= rows.size(); ++r) {
        painter.drawLine(0, static_cast<int>(r) * rowHeight, width - 1,
                         static_cast<int>(r) * rowHeight);
    }
    for (int c = 0, x = 0; c <= static_cast<int>(columns); ++c) {
        painter.drawLine(x, 0, x, height - 1);
        if (c < static_cast<int>(columns)) {
            x += widths[c];
        }
    }
    painter.setPen(Qt::black);
    for (std::size_t r = 0; withText && r < rows.size(); ++r) {
        int x = 0;
        for (std::size_t c = 0; c < rows[r].size(); ++c) {
            const QRect box(x + 6, static_cast<int>(r) * rowHeight, widths[c] - 12, rowHeight);
            const auto align =
                (rows[r][c].alignRight ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter;
            painter.drawText(box, align, QString::fromStdString(rows[r][c].text));
            x += widths[c];
        }
    }
    painter.end();

    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return {std::string(bytes.constData(), static_cast<std::size_t>(bytes.size())), width, height};
}

}  // namespace office::embed
