#include "office/embed/preview.h"

#include <QBuffer>
#include <QFont>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>

#include <algorithm>
#include <cmath>

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

PreviewTable tableOf(const excel::SheetLook& look, int top, int left, int rows, int columns,
                     const std::function<ShownCell(int row, int column)>& shown) {
    PreviewTable table;
    table.rows.assign(static_cast<std::size_t>(rows),
                      std::vector<PreviewCell>(static_cast<std::size_t>(columns)));
    for (int r = 0; r < rows; ++r) {
        table.rowHeights.push_back(look.rowPixels(top + r));
        for (int c = 0; c < columns; ++c) {
            PreviewCell& cell = table.rows[r][c];
            ShownCell value = shown(top + r, left + c);
            cell.text = std::move(value.text);
            cell.alignRight = value.numeric;
            cell.look = look.lookAt(top + r, left + c);
        }
    }
    for (int c = 0; c < columns; ++c) {
        table.columnWidths.push_back(look.columnPixels(left + c));
    }
    for (const excel::MergedArea& merge : look.merges) {
        const int r0 = std::max(merge.top, top) - top;
        const int c0 = std::max(merge.left, left) - left;
        const int r1 = std::min(merge.bottom, top + rows - 1) - top;
        const int c1 = std::min(merge.right, left + columns - 1) - left;
        if (r0 > r1 || c0 > c1 || (r0 == r1 && c0 == c1)) {
            continue;
        }
        for (int r = r0; r <= r1; ++r) {
            for (int c = c0; c <= c1; ++c) {
                table.rows[r][c].covered = r != r0 || c != c0;
            }
        }
        table.rows[r0][c0].rowSpan = r1 - r0 + 1;
        table.rows[r0][c0].columnSpan = c1 - c0 + 1;
    }
    return table;
}

namespace {

constexpr QRgb kGridColor = 0xFFBFBFBF;

QColor colorOf(std::uint32_t rgb) {
    return QColor(static_cast<int>((rgb >> 16) & 0xFF), static_cast<int>((rgb >> 8) & 0xFF),
                  static_cast<int>(rgb & 0xFF));
}

QFont fontOf(const excel::CellLook& look) {
    QFont font(QString::fromStdString(look.fontName.empty() ? "Calibri" : look.fontName));
    font.setPixelSize(std::max(1, static_cast<int>(std::lround(look.fontSize * 96 / 72))));
    font.setBold(look.bold);
    font.setItalic(look.italic);
    font.setUnderline(look.underline);
    return font;
}

// Column widths and row heights: the table's own, else fitted to the texts; a row is at least
// as high as its largest font needs.
struct Layout {
    std::vector<int> xs;  // the left edge of each column, and the right edge of the last
    std::vector<int> ys;
};

Layout layoutOf(const PreviewTable& table, bool withText) {
    std::size_t columns = std::max<std::size_t>(1, table.columnWidths.size());
    for (const auto& row : table.rows) {
        columns = std::max(columns, row.size());
    }
    std::vector<int> widths(columns, 48);
    for (std::size_t c = 0; c < columns; ++c) {
        if (c < table.columnWidths.size()) {
            widths[c] = table.columnWidths[c];
            continue;
        }
        for (const auto& row : table.rows) {
            if (c < row.size() && withText && !row[c].covered && row[c].columnSpan == 1) {
                const QFontMetrics metrics(fontOf(row[c].look));
                const int w = metrics.horizontalAdvance(QString::fromStdString(row[c].text));
                widths[c] = std::min(400, std::max(widths[c], w + 12));
            }
        }
    }
    Layout layout;
    layout.xs.push_back(0);
    for (int w : widths) {
        layout.xs.push_back(layout.xs.back() + w);
    }
    layout.ys.push_back(0);
    for (std::size_t r = 0; r < std::max<std::size_t>(1, table.rows.size()); ++r) {
        int height = r < table.rowHeights.size() ? table.rowHeights[r] : 0;
        if (r < table.rows.size()) {
            for (const PreviewCell& cell : table.rows[r]) {
                if (!cell.covered && cell.rowSpan == 1) {
                    const int needed = withText ? QFontMetrics(fontOf(cell.look)).height() : 14;
                    height = std::max(height, needed + (r < table.rowHeights.size() ? 2 : 8));
                }
            }
        }
        layout.ys.push_back(layout.ys.back() + height);
    }
    return layout;
}

struct Box {
    int x0, y0, x1, y1;  // the grid lines around the cell
};

Box boxOf(const Layout& layout, std::size_t r, std::size_t c, const PreviewCell& cell) {
    const std::size_t lastColumn = std::min(c + cell.columnSpan, layout.xs.size() - 1);
    const std::size_t lastRow = std::min(r + cell.rowSpan, layout.ys.size() - 1);
    return {layout.xs[c], layout.ys[r], layout.xs[lastColumn], layout.ys[lastRow]};
}

template <typename Visit>
void forEachShown(const PreviewTable& table, const Layout& layout, Visit visit) {
    for (std::size_t r = 0; r < table.rows.size() && r + 1 < layout.ys.size(); ++r) {
        for (std::size_t c = 0; c < table.rows[r].size() && c + 1 < layout.xs.size(); ++c) {
            const PreviewCell& cell = table.rows[r][c];
            if (!cell.covered) {
                visit(cell, boxOf(layout, r, c, cell));
            }
        }
    }
}

void drawBorders(QPainter& painter, const PreviewCell& cell, const Box& box) {
    const auto& look = cell.look;
    auto line = [&](const excel::BorderLook& edge, int x, int y, int w, int h) {
        if (edge.width > 0) {
            painter.fillRect(x, y, w, h, colorOf(edge.color));
        }
    };
    const int height = box.y1 - box.y0 + 1;
    const int width = box.x1 - box.x0 + 1;
    line(look.left, box.x0 - (look.left.width - 1) / 2, box.y0, look.left.width, height);
    line(look.right, box.x1 - (look.right.width - 1) / 2, box.y0, look.right.width, height);
    line(look.top, box.x0, box.y0 - (look.top.width - 1) / 2, width, look.top.width);
    line(look.bottom, box.x0, box.y1 - (look.bottom.width - 1) / 2, width, look.bottom.width);
}

Qt::Alignment alignmentOf(const PreviewCell& cell) {
    switch (cell.look.align) {
        case excel::HorizontalAlign::Left:
            return Qt::AlignLeft;
        case excel::HorizontalAlign::Center:
            return Qt::AlignHCenter;
        case excel::HorizontalAlign::Right:
            return Qt::AlignRight;
        case excel::HorizontalAlign::General:
            break;
    }
    return cell.alignRight ? Qt::AlignRight : Qt::AlignLeft;
}

void drawText(QPainter& painter, const PreviewCell& cell, const Box& box) {
    if (cell.text.empty()) {
        return;
    }
    const QRect inner(box.x0 + 4, box.y0 + 1, box.x1 - box.x0 - 7, box.y1 - box.y0 - 1);
    painter.save();
    painter.setClipRect(QRect(box.x0 + 1, box.y0 + 1, box.x1 - box.x0 - 1, box.y1 - box.y0 - 1));
    painter.setFont(fontOf(cell.look));
    painter.setPen(colorOf(cell.look.fontColor));
    painter.drawText(inner, alignmentOf(cell) | Qt::AlignVCenter,
                     QString::fromStdString(cell.text));
    painter.restore();
}

}  // namespace

Preview drawTable(const PreviewTable& table) {
    const bool withText = ensureGuiApplication();
    const Layout layout = layoutOf(table, withText);
    const int width = layout.xs.back() + 1;
    const int height = layout.ys.back() + 1;

    QImage image(width, height, QImage::Format_ARGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    // Grid lines first, then fills over them (a filled cell shows no grid), then borders, then
    // text.
    painter.setPen(QColor::fromRgb(kGridColor));
    forEachShown(table, layout, [&](const PreviewCell&, const Box& box) {
        painter.drawRect(box.x0, box.y0, box.x1 - box.x0, box.y1 - box.y0);
    });
    forEachShown(table, layout, [&](const PreviewCell& cell, const Box& box) {
        if (cell.look.fill) {
            painter.fillRect(box.x0, box.y0, box.x1 - box.x0 + 1, box.y1 - box.y0 + 1,
                             colorOf(*cell.look.fill));
        }
    });
    forEachShown(table, layout,
                 [&](const PreviewCell& cell, const Box& box) { drawBorders(painter, cell, box); });
    if (withText) {
        forEachShown(table, layout, [&](const PreviewCell& cell, const Box& box) {
            drawText(painter, cell, box);
        });
    }
    painter.end();

    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return {std::string(bytes.constData(), static_cast<std::size_t>(bytes.size())), width, height};
}

Preview drawTable(const std::vector<std::vector<PreviewCell>>& rows) {
    PreviewTable table;
    table.rows = rows;
    return drawTable(table);
}

}  // namespace office::embed
