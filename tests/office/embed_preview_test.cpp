// The preview picture of a table object drawn with the cells' look: judged by the colours of its
// pixels at known places (fills, white header text, borders, the grid missing inside a merged
// title), for a table drawn directly and for one filled through a slide's embedded object.

#include <gtest/gtest.h>

#include <QImage>

#include <cmath>
#include <map>
#include <string>

#include "graph_support.h"
#include "office/embed/preview.h"
#include "office/excel.h"
#include "office/powerpoint.h"
#include "ppt_test_support.h"

namespace {

using office::embed::PreviewTable;
using office::embed::ShownCell;

constexpr QRgb kDark = 0x1F4E78;

std::string fixture(const std::string& name) {
    return std::string(TABULON_FIXTURES_DIR) + "/xlsx/" + name;
}

QImage imageOf(const std::string& png) {
    QImage image;
    image.loadFromData(reinterpret_cast<const uchar*>(png.data()), static_cast<int>(png.size()),
                       "PNG");
    return image;
}

QRgb rgbAt(const QImage& image, int x, int y) {
    return image.pixel(x, y) & 0xFFFFFF;
}

bool nearlyWhite(QRgb c) {
    return qRed(c) > 0xE0 && qGreen(c) > 0xE0 && qBlue(c) > 0xE0;
}

// The pixels of the box that are nearly white.
int whitePixels(const QImage& image, int x0, int y0, int x1, int y1) {
    int count = 0;
    for (int y = y0; y < y1; ++y) {
        for (int x = x0; x < x1; ++x) {
            count += nearlyWhite(rgbAt(image, x, y)) ? 1 : 0;
        }
    }
    return count;
}

// The pixels of the box close to the title's dark blue (anti-aliased text lies between it and
// white, so "close" is generous).
int bluePixels(const QImage& image, int x0, int y0, int x1, int y1) {
    int count = 0;
    for (int y = y0; y < y1; ++y) {
        for (int x = x0; x < x1; ++x) {
            const QRgb c = rgbAt(image, x, y);
            count += qBlue(c) > qRed(c) + 40 ? 1 : 0;
        }
    }
    return count;
}

// The first row of pixels, going down column x, in the header's dark fill; -1 when none.
int headerTop(const QImage& image, int x) {
    for (int y = 0; y < image.height(); ++y) {
        if (rgbAt(image, x, y) == kDark) {
            return y;
        }
    }
    return -1;
}

const std::map<std::pair<int, int>, std::string> kTexts = {{{1, 1}, "Quarterly sales"},
                                                           {{2, 1}, "Region"},
                                                           {{2, 2}, "Q1"},
                                                           {{2, 3}, "Q2"},
                                                           {{2, 4}, "Total"},
                                                           {{3, 1}, "North"},
                                                           {{3, 2}, "182,500.50"},
                                                           {{4, 1}, "South"},
                                                           {{5, 1}, "Note"}};

PreviewTable styledTable(office::excel::SheetLook look) {
    return office::embed::tableOf(look, 1, 1, 5, 4, [](int row, int column) {
        const auto it = kTexts.find({row, column});
        return ShownCell{it == kTexts.end() ? "" : it->second, column > 1 && row > 2};
    });
}

office::excel::SheetLook fixtureLook() {
    auto package = office::package::Package::openFile(fixture("styled_table.xlsx"), "workbook");
    return office::excel::readSheetLook(package, 1, 5);
}

// Checks a picture of the fixture's A1:D5: column widths 140, 98, 98, 98 pixels.
void expectStyledPicture(const QImage& image) {
    ASSERT_FALSE(image.isNull());
    EXPECT_EQ(image.width(), 140 + 3 * 98 + 1);
    const int top = headerTop(image, 145);
    ASSERT_GT(top, 10) << "no dark header fill found";
    // The header row: dark fill at its corners, white text within it.
    const int headerBottom = top + 15;
    EXPECT_EQ(rgbAt(image, 145, top + 2), kDark);
    EXPECT_EQ(rgbAt(image, 400, top + 2), kDark);
    EXPECT_GT(whitePixels(image, 141, top + 1, 237, headerBottom), 10) << "no white header text";
    // The merged title: no grid line between its columns, and its text centred over all four,
    // so that it reaches into column B.
    for (int x : {140, 238, 336}) {
        EXPECT_TRUE(nearlyWhite(rgbAt(image, x, 2))) << "a grid line at x " << x;
    }
    EXPECT_GT(bluePixels(image, 150, 1, 230, top - 1), 10) << "the title is not centred";
    // The thin black borders of the number rows, where the plain grid would be grey.
    const int numbers = top + 25;
    EXPECT_EQ(rgbAt(image, 140, numbers), 0x000000u);
    EXPECT_EQ(rgbAt(image, 238, numbers), 0x000000u);
}

TEST(EmbedPreview, DrawsFillsFontsBordersAndMergedTitle) {
    expectStyledPicture(imageOf(office::embed::drawTable(styledTable(fixtureLook())).png));
}

TEST(EmbedPreview, ABoldHeaderHasMoreInkThanAPlainOne) {
    auto look = fixtureLook();
    const QImage bold = imageOf(office::embed::drawTable(styledTable(look)).png);
    for (auto& style : look.styles) {
        style.bold = false;
    }
    const QImage plain = imageOf(office::embed::drawTable(styledTable(look)).png);
    const int top = headerTop(bold, 145);
    ASSERT_EQ(top, headerTop(plain, 145));
    EXPECT_GT(whitePixels(bold, 1, top + 1, 433, top + 15),
              whitePixels(plain, 1, top + 1, 433, top + 15));
}

TEST(EmbedPreview, AMergedAreaIsCutToTheShownCells) {
    office::excel::SheetLook look;
    look.styles.emplace_back();
    look.merges.push_back({1, 2, 3, 9});
    const PreviewTable table =
        office::embed::tableOf(look, 2, 1, 3, 4, [](int, int) { return ShownCell{}; });
    EXPECT_EQ(table.rows[0][1].rowSpan, 2);
    EXPECT_EQ(table.rows[0][1].columnSpan, 3);
    EXPECT_TRUE(table.rows[1][3].covered);
    EXPECT_FALSE(table.rows[2][1].covered);
    EXPECT_FALSE(table.rows[0][0].covered);
}

// The realworld deck's object, its workbook replaced by the styled fixture (or its copy with
// prefixed parts), filled through the slide: the new preview shows the cells' look.
void fillStyledObject(const std::string& workbook) {
    const std::string source =
        graph_test::realworld("pptx-ole/python-pptx__shp-access-ole-object.pptx");
    if (!ppt_test::fs::exists(source)) {
        GTEST_SKIP() << "../shared/realworld/pptx-ole is absent";
    }
    const auto folder = ppt_test::scratch();
    const auto input = folder / "styled.pptx";
    ppt_test::rewriteZip(
        source, input,
        {{"ppt/embeddings/Microsoft_Excel_Worksheet.xlsx", ppt_test::readFile(fixture(workbook))}});
    const std::string saved = (folder / "filled.pptx").string();
    {
        auto app = office::ppt::Application::Create();
        auto deck = app->Presentations()->Open(input.string());
        auto object = deck->Slides()->Item(1)->Shapes()->Item(1)->OLEFormat()->Object();
        auto book = office::As<office::excel::Workbook>(object);
        book->Worksheets()->Item(1)->Cells(5, 4)->SetValue(office::Value::number(7));
        book->Close();
        deck->SaveAs(saved);
    }
    auto package = office::package::Package::openFile(saved, "presentation");
    std::string png;
    for (const auto& part : package.partNames()) {
        if (part.starts_with("ppt/media/") && part.ends_with(".png")) {
            png = package.read(part);
        }
    }
    ASSERT_FALSE(png.empty()) << "no new preview picture";
    // Drawn sharper than the sheet's pixels; judged at the sheet's own, one in `scale`.
    const QImage picture = imageOf(png);
    const int scale = static_cast<int>(std::lround(picture.dotsPerMeterX() * 0.0254 / 96));
    ASSERT_GE(scale, 2) << "the picture is not drawn at twice the screen's density";
    expectStyledPicture(picture.scaled(picture.width() / scale, picture.height() / scale,
                                       Qt::IgnoreAspectRatio, Qt::FastTransformation));
    if (ppt_test::validatorPresent()) {
        const auto verdict = ppt_test::validateAgainst(saved, input.string());
        EXPECT_EQ(verdict.status, 0) << verdict.output;
    }
}

TEST(EmbedPreview, AFilledObjectShowsItsCellsLook) {
    fillStyledObject("styled_table.xlsx");
}

TEST(EmbedPreview, AFilledObjectWithPrefixedPartsShowsItsCellsLook) {
    fillStyledObject("styled_table_prefixed.xlsx");
}

}  // namespace
