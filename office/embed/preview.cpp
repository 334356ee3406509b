#include "office/embed/preview.h"

#include "office/draw/gui_application.h"
#include "office/draw/picture_bounds.h"
#include "office/package/png.h"

#include <QFont>
#include <QFontMetricsF>
#include <QImage>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <map>
#include <memory>
#include <tuple>
#include <vector>

namespace office::embed {

PreviewTable tableOf(const excel::SheetLook& look, int top, int left, int rows, int columns,
                     const std::function<ShownCell(int row, int column)>& shown) {
    PreviewTable table;
    table.rows.assign(static_cast<std::size_t>(rows),
                      std::vector<PreviewCell>(static_cast<std::size_t>(columns)));
    if (!look.styles.empty()) {
        table.sheetFont = look.styles.front();
    }
    for (int r = 0; r < rows; ++r) {
        table.rowHeights.push_back(look.rowPixels(top + r));
        table.customHeights.push_back(look.rowHeights.contains(top + r));
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
// The sheet's column widths count characters of 7 pixels, the digit width of Calibri 11 at 96
// pixels per inch.
constexpr double kSheetDigitPixels = 7;
// Between a cell's grid lines and its text: 2 pixels each side, and the grid line itself.
constexpr int kPadding = 2;
// A larger scale is cut to stay within the picture bounds.
constexpr int kMaxScale = 16;
constexpr double kEmuPerInch = 914400;

QColor colorOf(std::uint32_t rgb) {
    return QColor(static_cast<int>((rgb >> 16) & 0xFF), static_cast<int>((rgb >> 8) & 0xFF),
                  static_cast<int>(rgb & 0xFF));
}

// A font of the cell's look with its metrics. The font is asked for by the workbook's name;
// the font system gives the installed one of the same widths (Carlito for Calibri, Liberation
// Sans for Arial, ...) or some other one. Excel measures digits in whole pixels, so the font is
// narrowed until its widest digit is a whole number of pixels: texts are then as wide as Excel
// makes them, whichever font stands in. Unhinted, so that widths do not change with the scale.
struct MeasuredFont {
    QFont font;
    std::unique_ptr<QFontMetricsF> metrics;
    double digit = 0;  // the widest digit's whole pixels, as Excel counts them
};

double widestDigit(const QFontMetricsF& metrics) {
    double widest = 0;
    for (char digit = '0'; digit <= '9'; ++digit) {
        widest = std::max(widest, metrics.horizontalAdvance(QChar(digit)));
    }
    return widest;
}

MeasuredFont measuredFont(const excel::CellLook& look) {
    MeasuredFont measured;
    QFont& font = measured.font;
    font.setFamily(QString::fromStdString(look.fontName.empty() ? "Calibri" : look.fontName));
    font.setPixelSize(std::max(1, static_cast<int>(std::lround(look.fontSize * 96 / 72))));
    font.setBold(look.bold);
    font.setItalic(look.italic);
    font.setUnderline(look.underline);
    font.setHintingPreference(QFont::PreferNoHinting);
    const double digit = widestDigit(QFontMetricsF(font));
    const double whole = std::max(1.0, std::floor(digit));
    if (digit > whole + 0.01) {
        font.setStretch(static_cast<int>(std::lround(100 * whole / digit)));
    }
    measured.metrics = std::make_unique<QFontMetricsF>(font);
    measured.digit = whole;
    return measured;
}

class Fonts {
public:
    const MeasuredFont& of(const excel::CellLook& look) {
        const auto key =
            std::make_tuple(look.fontName, look.fontSize, look.bold, look.italic, look.underline);
        auto it = fonts_.find(key);
        if (it == fonts_.end()) {
            it = fonts_.emplace(key, measuredFont(look)).first;
        }
        return it->second;
    }

private:
    std::map<std::tuple<std::string, double, bool, bool, bool>, MeasuredFont> fonts_;
};

// Column widths and row heights: the table's own, else fitted to the texts; a row is at least
// as high as its largest font needs, and a row the sheet does not size grows to its wrapped
// texts.
struct Layout {
    std::vector<int> xs;  // the left edge of each column, and the right edge of the last
    std::vector<int> ys;
};

struct Box {
    int x0, y0, x1, y1;  // the grid lines around the cell
};

int innerWidth(int x0, int x1) {
    return x1 - x0 - 1 - 2 * kPadding;
}

bool isNumeric(const PreviewCell& cell) {
    return cell.alignRight;
}

std::vector<int> columnWidthsOf(const PreviewTable& table, Fonts* fonts) {
    std::size_t columns = std::max<std::size_t>(1, table.columnWidths.size());
    for (const auto& row : table.rows) {
        columns = std::max(columns, row.size());
    }
    // The sheet's widths count digits of its default font: measured, so that a stand-in font
    // of other widths gets columns that hold as many of its digits.
    const double perDigit = fonts ? fonts->of(table.sheetFont).digit / kSheetDigitPixels : 1.0;
    std::vector<int> widths(columns, 48);
    for (std::size_t c = 0; c < columns; ++c) {
        if (c < table.columnWidths.size()) {
            widths[c] = static_cast<int>(std::lround(table.columnWidths[c] * perDigit));
            continue;
        }
        for (const auto& row : table.rows) {
            if (c < row.size() && fonts && !row[c].covered && row[c].columnSpan == 1) {
                const auto& metrics = *fonts->of(row[c].look).metrics;
                const double w = metrics.horizontalAdvance(QString::fromStdString(row[c].text));
                widths[c] = std::min(400, std::max(widths[c], static_cast<int>(std::ceil(w)) + 12));
            }
        }
    }
    return widths;
}

// The height a cell's text needs in a column span of the given width.
int neededHeight(const PreviewCell& cell, int width, Fonts& fonts) {
    const auto& metrics = *fonts.of(cell.look).metrics;
    if (!cell.look.wrap || isNumeric(cell) || cell.text.empty()) {
        return static_cast<int>(std::ceil(metrics.height()));
    }
    const QRectF bounds = metrics.boundingRect(QRectF(0, 0, std::max(1, innerWidth(0, width)), 1e6),
                                               Qt::TextWordWrap, QString::fromStdString(cell.text));
    return static_cast<int>(std::ceil(bounds.height()));
}

Layout layoutOf(const PreviewTable& table, Fonts* fonts) {
    Layout layout;
    layout.xs.push_back(0);
    for (int w : columnWidthsOf(table, fonts)) {
        layout.xs.push_back(layout.xs.back() + w);
    }
    layout.ys.push_back(0);
    for (std::size_t r = 0; r < std::max<std::size_t>(1, table.rows.size()); ++r) {
        const bool given = r < table.rowHeights.size();
        const bool custom = r < table.customHeights.size() && table.customHeights[r];
        int height = given ? table.rowHeights[r] : 0;
        if (r < table.rows.size() && !custom) {
            const auto& row = table.rows[r];
            for (std::size_t c = 0; c < row.size() && c + 1 < layout.xs.size(); ++c) {
                const PreviewCell& cell = row[c];
                if (cell.covered || cell.rowSpan != 1) {
                    continue;
                }
                const std::size_t last = std::min(c + cell.columnSpan, layout.xs.size() - 1);
                const int needed =
                    fonts ? neededHeight(cell, layout.xs[last] - layout.xs[c], *fonts) : 14;
                height = std::max(height, needed + (given ? 2 : 8));
            }
        }
        layout.ys.push_back(layout.ys.back() + height);
    }
    return layout;
}

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
                visit(cell, boxOf(layout, r, c, cell), r, c);
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

enum class Side { Left, Center, Right };

Side sideOf(const PreviewCell& cell) {
    switch (cell.look.align) {
        case excel::HorizontalAlign::Left:
            return Side::Left;
        case excel::HorizontalAlign::Center:
            return Side::Center;
        case excel::HorizontalAlign::Right:
            return Side::Right;
        case excel::HorizontalAlign::General:
            break;
    }
    return isNumeric(cell) ? Side::Right : Side::Left;
}

// A cell a text may run on into: one of the row's own, holding nothing.
bool isFree(const std::vector<PreviewCell>& row, std::size_t c) {
    const PreviewCell& cell = row[c];
    return !cell.covered && cell.rowSpan == 1 && cell.columnSpan == 1 && cell.text.empty();
}

// What one cell draws: its text (or "###") at a place, seen through a clip that the text of a
// cell running on into free neighbours widens to them.
struct TextRun {
    QString text;
    QRectF place;
    int flags = 0;
    QRect clip;
    std::vector<int> openLines;  // the x of grid lines the run covers
    const MeasuredFont* font = nullptr;
};

// Excel never shows part of a number: one wider than its cell shows as '#' repeated to the
// cell's width.
QString fitNumber(const QString& text, const MeasuredFont& font, int width) {
    if (font.metrics->horizontalAdvance(text) <= width) {
        return text;
    }
    const double hash = font.metrics->horizontalAdvance(QChar('#'));
    const int count = hash > 0 ? static_cast<int>(std::floor(width / hash)) : 0;
    return QString(std::max(0, count), QChar('#'));
}

// The columns [first, last] of the row a text of the given width runs over, from the cell at
// c, running into free neighbours on its side(s) as far as it needs.
std::pair<std::size_t, std::size_t> runOver(const std::vector<PreviewCell>& row,
                                            const Layout& layout, std::size_t c, Side side,
                                            double width) {
    std::size_t first = c;
    std::size_t last = c;
    const std::size_t columns = std::min(row.size(), layout.xs.size() - 1);
    const double centre = (layout.xs[c] + layout.xs[c + 1]) / 2.0;
    const double half = width / 2 + kPadding + 1;
    auto rightShort = [&] {
        return side == Side::Center ? layout.xs[last + 1] < centre + half
                                    : innerWidth(layout.xs[first], layout.xs[last + 1]) < width;
    };
    auto leftShort = [&] {
        return side == Side::Center ? layout.xs[first] > centre - half
                                    : innerWidth(layout.xs[first], layout.xs[last + 1]) < width;
    };
    if (side != Side::Left) {
        while (first > 0 && leftShort() && isFree(row, first - 1)) {
            --first;
        }
    }
    if (side != Side::Right) {
        while (last + 1 < columns && rightShort() && isFree(row, last + 1)) {
            ++last;
        }
    }
    return {first, last};
}

TextRun runOf(const PreviewTable& table, const Layout& layout, std::size_t r, std::size_t c,
              const Box& box, Fonts& fonts) {
    const PreviewCell& cell = table.rows[r][c];
    TextRun run;
    run.font = &fonts.of(cell.look);
    run.text = QString::fromStdString(cell.text);
    const Side side = sideOf(cell);
    const int horizontal = side == Side::Left    ? Qt::AlignLeft
                           : side == Side::Right ? Qt::AlignRight
                                                 : Qt::AlignHCenter;
    run.flags = horizontal | Qt::AlignVCenter;
    run.clip = QRect(box.x0 + 1, box.y0 + 1, box.x1 - box.x0 - 1, box.y1 - box.y0 - 1);
    const QRectF inner(box.x0 + 1 + kPadding, box.y0 + 1, innerWidth(box.x0, box.x1),
                       box.y1 - box.y0 - 1);
    run.place = inner;
    if (isNumeric(cell)) {
        run.text = fitNumber(run.text, *run.font, innerWidth(box.x0, box.x1));
        return run;
    }
    if (cell.look.wrap) {
        // Lines that a row of set height cannot hold: the last ones show, as the sheet's
        // default bottom alignment shows them.
        const QRectF lines = run.font->metrics->boundingRect(QRectF(0, 0, inner.width(), 1e6),
                                                             Qt::TextWordWrap, run.text);
        run.flags = horizontal | Qt::TextWordWrap |
                    (lines.height() > inner.height() ? Qt::AlignBottom : Qt::AlignVCenter);
        return run;
    }
    const double width = run.font->metrics->horizontalAdvance(run.text);
    if (width <= inner.width() || cell.rowSpan != 1 || cell.columnSpan != 1) {
        return run;
    }
    const auto [first, last] = runOver(table.rows[r], layout, c, side, width);
    run.clip.setLeft(layout.xs[first] + 1);
    run.clip.setRight(layout.xs[last + 1] - 1);
    for (std::size_t k = first + 1; k <= last; ++k) {
        run.openLines.push_back(layout.xs[k]);
    }
    // The text keeps its place in its own cell and runs on past its edge, never wrapped or cut
    // short by the layout: only the clip ends it.
    if (side == Side::Left) {
        run.place.setWidth(width + 1);
    } else if (side == Side::Right) {
        run.place.setLeft(inner.right() - width - 1);
    } else {
        run.place.setLeft(inner.center().x() - width / 2 - 1);
        run.place.setWidth(width + 2);
    }
    return run;
}

// The grid lines a run of text covers are not drawn where both cells beside them are plain.
void openGridLines(QPainter& painter, const PreviewTable& table, const Layout& layout,
                   std::size_t r, const TextRun& run, const Box& box) {
    const auto& row = table.rows[r];
    for (int x : run.openLines) {
        const auto at = std::lower_bound(layout.xs.begin(), layout.xs.end(), x);
        const auto right = static_cast<std::size_t>(at - layout.xs.begin());
        const PreviewCell& before = row[right - 1];
        const PreviewCell& after = row[right];
        if (!before.look.fill && !after.look.fill && before.look.right.width == 0 &&
            after.look.left.width == 0) {
            painter.fillRect(x, box.y0 + 1, 1, box.y1 - box.y0 - 1, Qt::white);
        }
    }
}

void drawRun(QPainter& painter, const PreviewCell& cell, const TextRun& run) {
    painter.save();
    painter.setClipRect(run.clip);
    painter.setFont(run.font->font);
    painter.setPen(colorOf(cell.look.fontColor));
    painter.drawText(run.place, run.flags, run.text);
    painter.restore();
}

void drawTexts(QPainter& painter, const PreviewTable& table, const Layout& layout, Fonts& fonts) {
    forEachShown(table, layout,
                 [&](const PreviewCell& cell, const Box& box, std::size_t r, std::size_t c) {
                     if (cell.text.empty()) {
                         return;
                     }
                     const TextRun run = runOf(table, layout, r, c, box, fonts);
                     openGridLines(painter, table, layout, r, run, box);
                     drawRun(painter, cell, run);
                 });
}

void drawCells(QPainter& painter, const PreviewTable& table, const Layout& layout) {
    // Grid lines first, then fills over them (a filled cell shows no grid), then borders.
    // Lines are rectangles one sheet pixel wide, so that they scale with the picture.
    const QColor grid = QColor::fromRgb(kGridColor);
    forEachShown(table, layout, [&](const PreviewCell&, const Box& box, std::size_t, std::size_t) {
        const int width = box.x1 - box.x0 + 1;
        const int height = box.y1 - box.y0 + 1;
        painter.fillRect(box.x0, box.y0, width, 1, grid);
        painter.fillRect(box.x0, box.y1, width, 1, grid);
        painter.fillRect(box.x0, box.y0, 1, height, grid);
        painter.fillRect(box.x1, box.y0, 1, height, grid);
    });
    forEachShown(table, layout,
                 [&](const PreviewCell& cell, const Box& box, std::size_t, std::size_t) {
                     if (cell.look.fill) {
                         painter.fillRect(box.x0, box.y0, box.x1 - box.x0 + 1, box.y1 - box.y0 + 1,
                                          colorOf(*cell.look.fill));
                     }
                 });
    forEachShown(table, layout,
                 [&](const PreviewCell& cell, const Box& box, std::size_t, std::size_t) {
                     drawBorders(painter, cell, box);
                 });
}

// The pixels a picture is drawn into. A thread keeps the memory of pictures up to a few
// megapixels from one to the next: on first touch, fresh memory costs a page fault for every
// 4 KiB, which for such a picture takes about as long as drawing it.
QImage canvas(int width, int height) {
    constexpr std::size_t kKept = 16 << 20;
    const std::size_t bytes =
        static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 4;
    if (bytes > kKept) {
        return QImage(width, height, QImage::Format_RGB32);
    }
    thread_local std::vector<std::uint32_t> kept;
    if (kept.size() < bytes / 4) {
        kept.resize(bytes / 4);
    }
    return QImage(reinterpret_cast<uchar*>(kept.data()), width, height, width * 4,
                  QImage::Format_RGB32);
}

Preview render(const PreviewTable& table, const Layout& layout, Fonts* fonts, int scale) {
    const int sheetWidth = layout.xs.back() + 1;
    const int sheetHeight = layout.ys.back() + 1;
    QImage image = canvas(sheetWidth * scale, sheetHeight * scale);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.scale(scale, scale);
    drawCells(painter, table, layout);
    if (fonts) {
        painter.setRenderHint(QPainter::TextAntialiasing);
        drawTexts(painter, table, layout, *fonts);
    }
    painter.end();
    const auto dotsPerMeter = static_cast<int>(std::lround(96.0 * scale / 0.0254));
    std::string png = package::encodePng(
        reinterpret_cast<const std::uint32_t*>(image.constBits()), image.width(), image.height(),
        static_cast<std::size_t>(image.bytesPerLine() / 4), dotsPerMeter);
    return {std::move(png), sheetWidth * scale, sheetHeight * scale, sheetWidth, sheetHeight};
}

int scaleFor(const Layout& layout, std::int64_t cx, std::int64_t cy) {
    const double width = layout.xs.back() + 1;
    const double height = layout.ys.back() + 1;
    double needed = 2;
    needed = std::max(needed, 192.0 * static_cast<double>(cx) / kEmuPerInch / width);
    needed = std::max(needed, 192.0 * static_cast<double>(cy) / kEmuPerInch / height);
    const int fitsSide = static_cast<int>(draw::kMaxPictureSide / std::max(width, height));
    const int fitsArea = static_cast<int>(std::sqrt(draw::kMaxPicturePixels / (width * height)));
    const int fits = std::max(1, std::min(fitsSide, fitsArea));
    // A frame of absurd size in a damaged file asks for no more than the bound.
    needed = std::min(needed, static_cast<double>(kMaxScale));
    return std::clamp(static_cast<int>(std::ceil(needed - 1e-9)), 1, std::min(kMaxScale, fits));
}

}  // namespace

Preview drawTable(const PreviewTable& table, int scale) {
    Fonts fonts;
    Fonts* measured = draw::ensureGuiApplication() ? &fonts : nullptr;
    return render(table, layoutOf(table, measured), measured, std::max(1, scale));
}

Preview drawTableForShape(const PreviewTable& table, std::int64_t cx, std::int64_t cy) {
    Fonts fonts;
    Fonts* measured = draw::ensureGuiApplication() ? &fonts : nullptr;
    const Layout layout = layoutOf(table, measured);
    return render(table, layout, measured, scaleFor(layout, cx, cy));
}

Preview drawTable(const std::vector<std::vector<PreviewCell>>& rows) {
    PreviewTable table;
    table.rows = rows;
    return drawTable(table);
}

}  // namespace office::embed
