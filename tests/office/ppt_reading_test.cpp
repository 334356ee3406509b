// Reading presentations made by other programs: slides, names, ids, shapes and the ProgIDs of
// their objects, checked against the fixtures' known content and, for every file, against an
// independent reader.

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "ppt_test_support.h"
#include "support/office_error.h"

namespace {

using office::ErrorCode;
using namespace office::ppt;
using ppt_test::fixture;

struct Opened {
    std::shared_ptr<Application> app = Application::Create();
    std::shared_ptr<Presentation> presentation;
    explicit Opened(const std::string& path) : presentation(app->Presentations()->Open(path)) {}
    std::shared_ptr<Slide> slide(int index) { return presentation->Slides()->Item(index); }
};

std::string progIdOf(const std::shared_ptr<Shape>& shape) {
    return shape->OLEFormat()->ProgID();
}

TEST(PptReading, ShapesWithoutAnObjectRefuseOLEFormatNamingSlideAndShape) {
    Opened deck(fixture("mixed.pptx"));
    auto charts = deck.slide(1)->Shapes();
    ASSERT_EQ(charts->Count(), 3);
    EXPECT_EQ(progIdOf(charts->Item(2)), kChartServerProgID);
    EXPECT_EQ(progIdOf(charts->Item(3)), kChartServerProgID);
    EXPECT_EQ(charts->Item(3)->Name(), "Right chart");

    auto plain = deck.slide(2)->Shapes();
    ASSERT_EQ(plain->Count(), 4);  // text box, table, picture, rectangle
    const char* kinds[] = {"an auto shape", "a table", "a picture", "an auto shape"};
    for (int i = 1; i <= 4; ++i) {
        EXPECT_OFFICE_ERROR(plain->Item(i)->OLEFormat(), ErrorCode::TypeMismatch,
                            "mixed.pptx: slide 2, shape \"" + plain->Item(i)->Name() +
                                "\" holds no embedded object: it is " + kinds[i - 1]);
    }
    EXPECT_EQ(deck.slide(3)->Shapes()->Count(), 0);
}

TEST(PptReading, CollectionIndexesOutsideTheirRangeFail) {
    Opened deck(fixture("empty.pptx"));
    EXPECT_EQ(deck.presentation->Slides()->Count(), 0);
    EXPECT_OFFICE_ERROR(deck.slide(1), ErrorCode::IndexOutOfRange,
                        "empty.pptx: slide index 1 is out of range (0 slides)");
    Opened mixed(fixture("mixed.pptx"));
    EXPECT_OFFICE_ERROR(mixed.slide(0), ErrorCode::IndexOutOfRange,
                        "mixed.pptx: slide index 0 is out of range (3 slides)");
    EXPECT_OFFICE_ERROR(
        mixed.slide(1)->Shapes()->Item(4), ErrorCode::IndexOutOfRange,
        "mixed.pptx: ppt/slides/slide1.xml: shape index 4 is out of range (3 shapes)");
    EXPECT_OFFICE_ERROR(mixed.slide(1)->Tags()->Name(1), ErrorCode::IndexOutOfRange,
                        "mixed.pptx: ppt/slides/slide1.xml: tag index 1 is out of range (0 tags)");
}

TEST(PptReading, UnnamedSlidesReadAsStableUniqueDefaults) {
    std::string path =
        std::string(TABULON_REALWORLD_DIR) + "/pptx-charts/python-pptx__cht-series.pptx";
    if (!ppt_test::fs::exists(path)) {
        GTEST_SKIP() << "real-world corpus absent: " << path;
    }
    Opened deck(path);
    std::set<std::string> names;
    auto slides = deck.presentation->Slides();
    for (int i = 1; i <= slides->Count(); ++i) {
        std::string name = slides->Item(i)->Name();
        EXPECT_EQ(name, "Slide" + std::to_string(slides->Item(i)->SlideID()));
        EXPECT_EQ(slides->Item(i)->Name(), name);
        names.insert(name);
    }
    EXPECT_EQ(static_cast<int>(names.size()), slides->Count());
}

// Every presentation the tests can reach: the fixtures and the real-world corpus.
std::vector<std::string> allPresentations() {
    std::vector<std::string> paths;
    for (const char* name : {"three_charts.pptx", "mixed.pptx", "empty.pptx"}) {
        paths.push_back(fixture(name));
    }
    for (const char* folder : {"pptx-charts", "pptx-ole", "pptx-tags-names"}) {
        ppt_test::fs::path dir = ppt_test::fs::path(TABULON_REALWORLD_DIR) / folder;
        if (!ppt_test::fs::is_directory(dir)) {
            continue;
        }
        for (const auto& entry : ppt_test::fs::directory_iterator(dir)) {
            if (entry.path().extension() == ".pptx") {
                paths.push_back(entry.path().string());
            }
        }
    }
    std::sort(paths.begin(), paths.end());
    return paths;
}

class PptEveryFile : public ::testing::TestWithParam<std::string> {};

TEST_P(PptEveryFile, ReadsWhatAnIndependentReaderReads) {
    auto expected = ppt_test::independentDump(GetParam());
    ASSERT_EQ(expected.status, 0) << expected.output;
    Opened deck(GetParam());
    EXPECT_EQ(ppt_test::ourDump(*deck.presentation), expected.output);
}

TEST_P(PptEveryFile, SavingUnchangedKeepsEveryPartByteForByte) {
    auto folder = ppt_test::scratch();
    std::string copy = (folder / "copy.pptx").string();
    Opened deck(GetParam());
    ppt_test::ourDump(*deck.presentation);  // parse every slide on the way
    deck.presentation->SaveAs(copy);
    auto differences = ppt_test::differingParts(GetParam(), copy);
    EXPECT_EQ(differences.status, 0);
    EXPECT_EQ(differences.output, "");
}

TEST_P(PptEveryFile, EditingEverySlideKeepsTheFileValidAndReadable) {
    auto folder = ppt_test::scratch();
    std::string edited = (folder / "edited.pptx").string();
    {
        Opened deck(GetParam());
        auto slides = deck.presentation->Slides();
        for (int s = 1; s <= slides->Count(); ++s) {
            auto slide = slides->Item(s);
            slide->SetName("Sheet " + std::to_string(s));
            slide->Tags()->Add("Name", "Chart " + std::to_string(s));
            slide->Tags()->Add("Type", "Chart");
            auto shapes = slide->Shapes();
            for (int i = 1; i <= shapes->Count(); ++i) {
                shapes->Item(i)->SetName("Shape " + std::to_string(i));
            }
        }
        deck.presentation->SaveAs(edited);
    }
    Opened reopened(edited);
    auto dump = ppt_test::independentDump(edited);
    ASSERT_EQ(dump.status, 0) << dump.output;
    EXPECT_EQ(ppt_test::ourDump(*reopened.presentation), dump.output);
    auto slides = reopened.presentation->Slides();
    for (int s = 1; s <= slides->Count(); ++s) {
        EXPECT_EQ(slides->Item(s)->Name(), "Sheet " + std::to_string(s));
        EXPECT_EQ(slides->Item(s)->Tags()->Item("type"), "Chart");
    }
    if (ppt_test::validatorPresent()) {
        auto problems = ppt_test::validateAgainst(edited, GetParam());
        EXPECT_EQ(problems.status, 0) << problems.output;
    }
}

std::string testName(const ::testing::TestParamInfo<std::string>& info) {
    std::string name = ppt_test::fs::path(info.param).stem().string();
    std::replace_if(
        name.begin(), name.end(), [](char c) { return !std::isalnum(c); }, '_');
    return name + "_" + std::to_string(info.index);
}

INSTANTIATE_TEST_SUITE_P(Files, PptEveryFile, ::testing::ValuesIn(allPresentations()), testName);

TEST(PptReading, OleObjectsInsideAlternateContentReportTheirProgID) {
    std::string path =
        std::string(TABULON_REALWORLD_DIR) + "/pptx-ole/python-pptx__shp-access-ole-object.pptx";
    if (!ppt_test::fs::exists(path)) {
        GTEST_SKIP() << "real-world corpus absent: " << path;
    }
    auto dump = ppt_test::independentDump(path);
    ASSERT_NE(dump.output.find("Excel.Sheet.12"), std::string::npos)
        << "the file was expected to hold an embedded workbook:\n"
        << dump.output;
    Opened deck(path);
    EXPECT_NE(ppt_test::ourDump(*deck.presentation).find("\tExcel.Sheet.12\n"), std::string::npos);
}

TEST(PptReading, ObjectHandsNativeChartsToTheChartServer) {
    Opened deck(fixture("mixed.pptx"));
    auto object = deck.slide(1)->Shapes()->Item(3)->OLEFormat()->Object();
    ASSERT_NE(object, nullptr);
    EXPECT_EQ(object->TypeName(), "ChartObject");
    EXPECT_NE(object->GetProperty("Application"), nullptr);
}

TEST(PptReading, ObjectHandsAGraphObjectToTheChartServer) {
    std::string path =
        std::string(TABULON_REALWORLD_DIR) + "/pptx-ole/tika__testMSChart-govdocs-428996.pptx";
    if (!ppt_test::fs::exists(path)) {
        GTEST_SKIP() << "real-world corpus absent: " << path;
    }
    Opened deck(path);
    auto shape = deck.slide(1)->Shapes()->Item(1);
    ASSERT_EQ(progIdOf(shape), "MSGraph.Chart.8");
    auto object = shape->OLEFormat()->Object();
    ASSERT_NE(object, nullptr);
    EXPECT_EQ(object->TypeName(), "ChartObject");
    EXPECT_NE(object->GetProperty("Application"), nullptr);
}

}  // namespace
