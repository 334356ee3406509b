// The presentation application and its documents: opening, the list of open presentations,
// the active one, saving, closing, quitting, and refusing bad input by name.

#include <gtest/gtest.h>

#include "office/compound/compound_file.h"
#include "ppt_test_support.h"
#include "support/office_error.h"

namespace {

using office::ErrorCode;
using namespace office::ppt;
using ppt_test::fixture;
namespace fs = ppt_test::fs;

std::string copyOf(const std::string& name, const fs::path& folder) {
    fs::path target = folder / name;
    fs::copy_file(fixture(name), target, fs::copy_options::overwrite_existing);
    return target.string();
}

TEST(PptApplication, StartsHiddenAndNormalAndKeepsItsSettings) {
    auto app = Application::Create();
    EXPECT_EQ(app->Visible(), msoFalse);
    EXPECT_EQ(app->WindowState(), ppWindowNormal);
    EXPECT_EQ(app->DisplayAlerts(), ppAlertsAll);
    app->SetVisible(msoCTrue);
    app->SetWindowState(ppWindowMinimized);
    app->SetDisplayAlerts(ppAlertsNone);
    EXPECT_EQ(app->Visible(), msoCTrue);
    EXPECT_EQ(app->WindowState(), ppWindowMinimized);
    EXPECT_EQ(app->DisplayAlerts(), ppAlertsNone);
    EXPECT_OFFICE_ERROR(app->SetWindowState(7), ErrorCode::InvalidArgument,
                        "WindowState: 7 is not a window state");
    EXPECT_OFFICE_ERROR(app->SetDisplayAlerts(0), ErrorCode::InvalidArgument,
                        "DisplayAlerts: 0 is not an alert level");
    EXPECT_OFFICE_ERROR(app->SetVisible(5), ErrorCode::InvalidArgument,
                        "Visible: 5 is not msoTrue or msoFalse");
}

TEST(PptApplication, TheLastOpenedIsActiveAndClosingMovesLaterItemsDown) {
    auto app = Application::Create();
    EXPECT_OFFICE_ERROR(app->ActivePresentation(), ErrorCode::IndexOutOfRange,
                        "ActivePresentation: no presentation is open");
    auto presentations = app->Presentations();
    auto first = presentations->Open(fixture("three_charts.pptx"));
    auto second = presentations->Open(fixture("mixed.pptx"));
    auto third = presentations->Open(fixture("empty.pptx"));
    EXPECT_EQ(presentations->Count(), 3);
    EXPECT_EQ(app->ActivePresentation()->Name(), "empty.pptx");

    second->Close();
    EXPECT_EQ(presentations->Count(), 2);
    EXPECT_EQ(presentations->Item(2)->Name(), "empty.pptx");
    EXPECT_EQ(app->ActivePresentation()->Name(), "empty.pptx");
    third->Close();
    EXPECT_EQ(app->ActivePresentation()->Name(), "three_charts.pptx");
    EXPECT_OFFICE_ERROR(presentations->Item(2), ErrorCode::IndexOutOfRange,
                        "Presentations: index 2 is out of range (1 open)");
    EXPECT_OFFICE_ERROR(second->Slides(), ErrorCode::ObjectClosed, "mixed.pptx: object closed");
    first->Close();
    EXPECT_OFFICE_ERROR(app->ActivePresentation(), ErrorCode::IndexOutOfRange,
                        "ActivePresentation: no presentation is open");
}

TEST(PptApplication, ObjectsOfAClosedPresentationFailAsClosed) {
    auto app = Application::Create();
    auto deck = app->Presentations()->Open(fixture("three_charts.pptx"));
    auto slide = deck->Slides()->Item(1);
    auto shape = slide->Shapes()->Item(2);
    auto tags = slide->Tags();
    auto format = shape->OLEFormat();
    deck->Close();
    const std::string closed = "three_charts.pptx: object closed: the document was closed";
    EXPECT_OFFICE_ERROR(slide->Name(), ErrorCode::ObjectClosed, closed);
    EXPECT_OFFICE_ERROR(slide->SetName("x"), ErrorCode::ObjectClosed, closed);
    EXPECT_OFFICE_ERROR(slide->SlideID(), ErrorCode::ObjectClosed, closed);
    EXPECT_OFFICE_ERROR(shape->Name(), ErrorCode::ObjectClosed, closed);
    EXPECT_OFFICE_ERROR(tags->Add("a", "b"), ErrorCode::ObjectClosed, closed);
    EXPECT_OFFICE_ERROR(format->ProgID(), ErrorCode::ObjectClosed, closed);
    EXPECT_OFFICE_ERROR(deck->Save(), ErrorCode::ObjectClosed, closed);
    EXPECT_OFFICE_ERROR(deck->Close(), ErrorCode::ObjectClosed, closed);
}

TEST(PptApplication, QuitClosesEverythingOfThatApplicationOnly) {
    auto app = Application::Create();
    auto other = Application::Create();
    auto deck = app->Presentations()->Open(fixture("mixed.pptx"));
    auto kept = other->Presentations()->Open(fixture("mixed.pptx"));
    auto slide = deck->Slides()->Item(1);
    auto presentations = app->Presentations();
    app->Quit();
    EXPECT_FALSE(app->IsRunning());
    const std::string quit = "object closed: the presentation application has quit";
    EXPECT_OFFICE_ERROR(app->Presentations(), ErrorCode::ObjectClosed, quit);
    EXPECT_OFFICE_ERROR(app->Visible(), ErrorCode::ObjectClosed, quit);
    EXPECT_OFFICE_ERROR(presentations->Count(), ErrorCode::ObjectClosed, quit);
    EXPECT_OFFICE_ERROR(deck->Name(), ErrorCode::ObjectClosed, "mixed.pptx: object closed");
    EXPECT_OFFICE_ERROR(slide->Shapes(), ErrorCode::ObjectClosed, "mixed.pptx: object closed");
    EXPECT_OFFICE_ERROR(app->Quit(), ErrorCode::ObjectClosed, quit);
    EXPECT_TRUE(other->IsRunning());
    EXPECT_EQ(kept->Slides()->Item(1)->Shapes()->Count(), 3);
    EXPECT_EQ(other->ActivePresentation()->Name(), "mixed.pptx");
}

TEST(PptApplication, APresentationOutlivesTheCallersHoldOnItsApplication) {
    auto deck = Application::Create()->Presentations()->Open(fixture("three_charts.pptx"));
    EXPECT_EQ(deck->Slides()->Count(), 3);
    deck->Close();
    EXPECT_OFFICE_ERROR(deck->Slides(), ErrorCode::ObjectClosed,
                        "three_charts.pptx: object closed: the document was closed");
}

TEST(PptSaving, SaveWritesOverItsOwnFile) {
    auto folder = ppt_test::scratch();
    std::string path = copyOf("mixed.pptx", folder);
    auto app = Application::Create();
    auto deck = app->Presentations()->Open(path);
    EXPECT_EQ(deck->FullName(), path);
    EXPECT_FALSE(deck->ReadOnly());
    deck->Slides()->Item(2)->SetName("Table");
    deck->Save();
    deck->Close();
    auto again = app->Presentations()->Open(path);
    EXPECT_EQ(again->Slides()->Item(2)->Name(), "Table");
    EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 1)
        << "no temporary file is left beside it";
}

TEST(PptSaving, ReadOnlyAndUntitledPresentationsRefuseSaveButNotSaveAs) {
    auto folder = ppt_test::scratch();
    auto app = Application::Create();
    auto readOnly = app->Presentations()->Open(fixture("mixed.pptx"), msoTrue);
    EXPECT_TRUE(readOnly->ReadOnly());
    EXPECT_OFFICE_ERROR(readOnly->Save(), ErrorCode::ReadOnly,
                        "mixed.pptx: the presentation was opened read-only; use SaveAs");
    std::string copy = (folder / "copy.pptx").string();
    readOnly->SaveAs(copy);
    EXPECT_FALSE(readOnly->ReadOnly());
    EXPECT_EQ(readOnly->FullName(), copy);
    EXPECT_EQ(readOnly->Name(), "copy.pptx");
    readOnly->Save();

    auto untitled = app->Presentations()->Open(fixture("mixed.pptx"), msoFalse, msoTrue);
    EXPECT_EQ(untitled->Name(), "");
    EXPECT_EQ(untitled->FullName(), "");
    EXPECT_OFFICE_ERROR(untitled->Save(), ErrorCode::ReadOnly,
                        "the presentation was opened untitled; use SaveAs");
    untitled->SaveAs((folder / "named").string(), ppSaveAsPresentation, msoTriStateMixed);
    EXPECT_EQ(untitled->Name(), "named.pptx");
    EXPECT_TRUE(fs::exists(folder / "named.pptx"));
}

TEST(PptSaving, SaveAsRefusesANameOrFormatThatIsNotPptx) {
    auto folder = ppt_test::scratch();
    auto app = Application::Create();
    auto deck = app->Presentations()->Open(fixture("mixed.pptx"));
    EXPECT_OFFICE_ERROR(deck->SaveAs((folder / "legacy.ppt").string()), ErrorCode::InvalidArgument,
                        "legacy.ppt: cannot save as \".ppt\": the built-in host writes "
                        "presentations as .pptx only");
    EXPECT_OFFICE_ERROR(deck->SaveAs((folder / "report.PDF").string()), ErrorCode::InvalidArgument,
                        "report.PDF: cannot save as \".pdf\"");
    EXPECT_OFFICE_ERROR(deck->SaveAs((folder / "report.pptx").string(), 32),
                        ErrorCode::InvalidArgument,
                        "report.pptx: file format 32 cannot be written");
    EXPECT_TRUE(fs::is_empty(folder));
    deck->SaveAs((folder / "Report.PPTX").string(), ppSaveAsOpenXMLPresentation);
    EXPECT_TRUE(fs::exists(folder / "Report.PPTX"));
}

TEST(PptSaving, ATemplateSavedAsPptxBecomesAPresentation) {
    auto folder = ppt_test::scratch();
    const std::string presentationType =
        "application/vnd.openxmlformats-officedocument.presentationml.presentation.main+xml";
    const std::string templateType =
        "application/vnd.openxmlformats-officedocument.presentationml.template.main+xml";
    std::string types = *ppt_test::zipEntry(fixture("mixed.pptx"), "[Content_Types].xml");
    types.replace(types.find(presentationType), presentationType.size(), templateType);
    fs::path source = folder / "deck.potx";
    ppt_test::rewriteZip(fixture("mixed.pptx"), source, {{"[Content_Types].xml", types}});

    auto app = Application::Create();
    auto deck = app->Presentations()->Open(source.string());
    EXPECT_EQ(deck->Slides()->Count(), 3);
    std::string saved = (folder / "deck.pptx").string();
    deck->SaveAs(saved);
    std::string written = *ppt_test::zipEntry(saved, "[Content_Types].xml");
    EXPECT_NE(written.find(presentationType), std::string::npos) << written;
    EXPECT_EQ(written.find(templateType), std::string::npos) << written;
}

TEST(PptSaving, AFailedSaveLeavesTheEarlierFileAndNoStrayFile) {
    auto folder = ppt_test::scratch();
    std::string path = copyOf("mixed.pptx", folder);
    std::string before = ppt_test::readFile(path);
    auto app = Application::Create();
    auto deck = app->Presentations()->Open(path);
    deck->Slides()->Item(1)->SetName("changed");
    fs::create_directory(folder / "taken.pptx");
    EXPECT_OFFICE_ERROR(deck->SaveAs((folder / "taken.pptx").string()), ErrorCode::WriteFailed,
                        "taken.pptx: cannot be written: it is a folder");
    EXPECT_OFFICE_ERROR(deck->SaveAs((folder / "missing" / "x.pptx").string()),
                        ErrorCode::WriteFailed,
                        "x.pptx: cannot be written: no file can be made in");
    EXPECT_EQ(deck->FullName(), path) << "a failed SaveAs keeps the earlier name";
    EXPECT_EQ(ppt_test::readFile(path), before);
    EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 2);
}

class PptBadInput : public ::testing::Test {
protected:
    void SetUp() override { folder = ppt_test::scratch(); }
    void expectOpenFails(const std::string& path, ErrorCode code, const std::string& text) {
        SCOPED_TRACE(path);
        auto app = Application::Create();
        EXPECT_OFFICE_ERROR(app->Presentations()->Open(path), code, text);
        EXPECT_EQ(app->Presentations()->Count(), 0);
    }
    fs::path folder;
};

TEST_F(PptBadInput, MissingFolderEmptyAndNonZipFiles) {
    expectOpenFails((folder / "absent.pptx").string(), ErrorCode::FileNotFound,
                    "absent.pptx: no such file");
    fs::create_directory(folder / "folder.pptx");
    expectOpenFails((folder / "folder.pptx").string(), ErrorCode::FileAccess,
                    "folder.pptx: is a folder, not a presentation");
    ppt_test::writeFile(folder / "empty.pptx", "");
    expectOpenFails((folder / "empty.pptx").string(), ErrorCode::NotADocument,
                    "empty.pptx: the file is empty");
    ppt_test::writeFile(folder / "text.pptx", "just some text, not a zip package\n");
    expectOpenFails((folder / "text.pptx").string(), ErrorCode::NotADocument,
                    "text.pptx: not a presentation: the file is not a zip package");
}

TEST_F(PptBadInput, ZipWithoutAPresentation) {
    fs::path path = folder / "workbook.pptx";
    ppt_test::rewriteZip(
        fixture("mixed.pptx"), path,
        {{"_rels/.rels",
          "<?xml version=\"1.0\"?><Relationships "
          "xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\"><Relationship "
          "Id=\"rId1\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/"
          "relationships/officeDocument\" Target=\"docProps/app.xml\"/></Relationships>"}});
    expectOpenFails(path.string(), ErrorCode::NotADocument,
                    "workbook.pptx: docProps/app.xml: the package holds no presentation");
}

TEST_F(PptBadInput, LegacyAndEncryptedCompoundFiles) {
    // A compound file starts with this signature; an encrypted package holds a stream named
    // "EncryptedPackage" (UTF-16 in the directory).
    std::string header("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8);
    std::string compound = header + std::string(1024, '\0');
    ppt_test::writeFile(folder / "old.ppt", compound);
    expectOpenFails((folder / "old.ppt").string(), ErrorCode::LegacyFormat,
                    "old.ppt: this is a legacy binary presentation; save it as .pptx");
    const auto locked =
        office::compound::create({{"EncryptionInfo", std::vector<std::uint8_t>(200, 1)},
                                  {"EncryptedPackage", std::vector<std::uint8_t>(5000, 2)}});
    ppt_test::writeFile(folder / "locked.pptx", std::string(locked.begin(), locked.end()));
    expectOpenFails((folder / "locked.pptx").string(), ErrorCode::Encrypted,
                    "locked.pptx: the presentation is protected by a password");

    std::string real = std::string(TABULON_REALWORLD_DIR) + "/ppt/poi__SampleShow_named.ppt";
    if (fs::exists(real)) {  // a readable .ppt is a presentation like any other
        EXPECT_EQ(Application::Create()->Presentations()->Open(real)->Slides()->Count(), 2);
    }
}

TEST_F(PptBadInput, MalformedSlideXmlNamesFileAndPart) {
    fs::path path = folder / "broken.pptx";
    ppt_test::rewriteZip(fixture("three_charts.pptx"), path,
                         {{"ppt/slides/slide2.xml", "<p:sld xmlns:p=\"x\"><p:cSld></p:sld>"}});
    auto app = Application::Create();
    auto deck = app->Presentations()->Open(path.string());
    EXPECT_EQ(deck->Slides()->Item(1)->Shapes()->Count(), 2) << "the other slides still read";
    EXPECT_OFFICE_ERROR(deck->Slides()->Item(2)->Name(), ErrorCode::CorruptPart,
                        "broken.pptx: ppt/slides/slide2.xml: start-end tags mismatch at offset 29");
}

TEST_F(PptBadInput, SlideWithoutAShapeTree) {
    fs::path path = folder / "treeless.pptx";
    ppt_test::rewriteZip(fixture("three_charts.pptx"), path,
                         {{"ppt/slides/slide1.xml",
                           "<p:sld xmlns:p=\"http://schemas.openxmlformats.org/presentationml/"
                           "2006/main\"><p:cSld/></p:sld>"}});
    auto app = Application::Create();
    auto slide = app->Presentations()->Open(path.string())->Slides()->Item(1);
    EXPECT_EQ(slide->Name(), "Slide256");
    EXPECT_OFFICE_ERROR(slide->Shapes(), ErrorCode::CorruptPart,
                        "treeless.pptx: ppt/slides/slide1.xml: the slide has no shape tree");
}

TEST_F(PptBadInput, RelationshipsThatPointNowhere) {
    std::string rels =
        *ppt_test::zipEntry(fixture("three_charts.pptx"), "ppt/_rels/presentation.xml.rels");
    fs::path dangling = folder / "dangling.pptx";
    std::string withoutTarget = rels;
    withoutTarget.replace(withoutTarget.find("slides/slide3.xml"), 17, "slides/slide9.xml");
    ppt_test::rewriteZip(fixture("three_charts.pptx"), dangling,
                         {{"ppt/_rels/presentation.xml.rels", withoutTarget}});
    expectOpenFails(dangling.string(), ErrorCode::CorruptPart,
                    "dangling.pptx: ppt/presentation.xml: slide 3 (id 258) points at "
                    "ppt/slides/slide9.xml, which is not in the package");

    std::string presentation =
        *ppt_test::zipEntry(fixture("three_charts.pptx"), "ppt/presentation.xml");
    presentation.replace(presentation.find("r:id=\"rId3\""), 11, "r:id=\"rId999\"");
    fs::path unknown = folder / "unknown.pptx";
    ppt_test::rewriteZip(fixture("three_charts.pptx"), unknown,
                         {{"ppt/presentation.xml", presentation}});
    expectOpenFails(unknown.string(), ErrorCode::CorruptPart,
                    "unknown.pptx: ppt/presentation.xml: slide 2 (id 257) refers to \"rId999\"");

    fs::path missing = folder / "missing.pptx";
    ppt_test::rewriteZip(fixture("three_charts.pptx"), missing,
                         {{"ppt/slides/_rels/slide1.xml.rels", std::nullopt}});
    auto app = Application::Create();
    auto chart = app->Presentations()->Open(missing.string())->Slides()->Item(1)->Shapes()->Item(2);
    EXPECT_EQ(chart->OLEFormat()->ProgID(), kChartServerProgID);
    EXPECT_OFFICE_ERROR(chart->OLEFormat()->Object(), ErrorCode::CorruptPart,
                        "missing.pptx: slide 1, shape \"Sales bar\": ppt/slides/slide1.xml: the "
                        "object refers to \"rId1\", a relationship that points nowhere");
}

}  // namespace
