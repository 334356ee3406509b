// Application, Presentations and Presentation: opening .pptx packages, keeping the list of open
// presentations, saving and closing.

#include <algorithm>
#include <charconv>
#include <filesystem>

#include "office/ascii.h"
#include "office/powerpoint.h"
#include "office/ppt/binary/model.h"
#include "office/ppt/ppt_impl.h"

namespace office::ppt {

namespace {

namespace fs = std::filesystem;

constexpr std::string_view kPresentationType =
    "application/vnd.openxmlformats-officedocument.presentationml.presentation.main+xml";
constexpr std::string_view kSlideShowType =
    "application/vnd.openxmlformats-officedocument.presentationml.slideshow.main+xml";
constexpr std::string_view kTemplateType =
    "application/vnd.openxmlformats-officedocument.presentationml.template.main+xml";

bool isPresentationContentType(std::string_view type) {
    return type.starts_with("application/vnd.openxmlformats-officedocument.presentationml.") ||
           type.starts_with("application/vnd.ms-powerpoint.");
}

std::string fileName(const std::string& path) {
    return fs::path(path).filename().string();
}

std::string absolutePath(const std::string& path) {
    std::error_code error;
    fs::path absolute = fs::absolute(path, error);
    return error ? path : absolute.lexically_normal().string();
}

std::string mainPartOf(const package::Package& package) {
    package::Relationships rels = package.relationships("");
    const package::Relationship* main = rels.findByType("/officeDocument");
    const std::string& file = package.displayName();
    if (!main || main->external) {
        throw Error(ErrorCode::NotADocument,
                    file +
                        ": _rels/.rels: the package names no main document, so it holds no "
                        "presentation");
    }
    std::string part = package::resolveTarget("", main->target);
    if (!package.has(part)) {
        throw Error(ErrorCode::CorruptPart,
                    file + ": _rels/.rels: the main document " + part + " is not in the package");
    }
    std::string type = package.contentType(part);
    if (!isPresentationContentType(type)) {
        throw Error(ErrorCode::NotADocument, file + ": " + part +
                                                 ": the package holds no presentation (its main "
                                                 "document is of type \"" +
                                                 type + "\")");
    }
    return part;
}

int parseSlideId(std::string_view text, const std::string& where) {
    int value = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size()) {
        throw Error(ErrorCode::CorruptPart,
                    where + ": slide id \"" + std::string(text) + "\" is not a number");
    }
    return value;
}

// The slides in presentation order, from p:sldIdLst and the main part's relationships.
std::vector<std::shared_ptr<detail::SlideImpl>> readSlides(
    const std::shared_ptr<office::detail::OpenDocument>& document, const std::string& mainPart) {
    package::Package& package = document->package;
    std::string where = package.displayName() + ": " + mainPart;
    pugi::xml_node root = package.xml(mainPart).document_element();
    if (!package::is(root, package::ns::kPresentation, "presentation")) {
        throw Error(ErrorCode::CorruptPart, where + ": the root element is <" +
                                                std::string(root.name()) + ">, not a presentation");
    }
    package::Relationships rels = package.relationships(mainPart);
    std::vector<std::shared_ptr<detail::SlideImpl>> slides;
    pugi::xml_node list = detail::pmlChild(root, "sldIdLst");
    for (pugi::xml_node entry : package::children(list, package::ns::kPresentation, "sldId")) {
        auto slide = std::make_shared<detail::SlideImpl>();
        slide->document = document;
        slide->index = static_cast<int>(slides.size()) + 1;
        slide->id = parseSlideId(entry.attribute("id").value(), where);
        std::string relId = detail::relationshipId(entry);
        std::string slideText =
            "slide " + std::to_string(slide->index) + " (id " + std::to_string(slide->id) + ")";
        const package::Relationship* rel = rels.find(relId);
        if (!rel || rel->external) {
            throw Error(ErrorCode::CorruptPart, where + ": " + slideText + " refers to \"" + relId +
                                                    "\", a relationship that points nowhere");
        }
        slide->part = package::resolveTarget(mainPart, rel->target);
        if (!package.has(slide->part)) {
            throw Error(ErrorCode::CorruptPart, where + ": " + slideText + " points at " +
                                                    slide->part + ", which is not in the package");
        }
        slides.push_back(std::move(slide));
    }
    return slides;
}

std::string extensionOf(const std::string& path) {
    return asciiLower(fs::path(path).extension().string());
}

// The path SaveAs writes: .pptx added when the path has no extension; another extension is
// refused, so that no file's name lies about its content.
std::string saveAsTarget(const std::string& path, int fileFormat) {
    if (fileFormat != ppSaveAsPresentation && fileFormat != ppSaveAsDefault &&
        fileFormat != ppSaveAsOpenXMLPresentation) {
        throw Error(ErrorCode::InvalidArgument,
                    fileName(path) + ": file format " + std::to_string(fileFormat) +
                        " cannot be written; the built-in host writes presentations as .pptx");
    }
    if (path.empty()) {
        throw Error(ErrorCode::InvalidArgument, "SaveAs needs a file name");
    }
    std::string extension = extensionOf(path);
    if (extension.empty()) {
        return absolutePath(path + ".pptx");
    }
    if (extension != ".pptx") {
        throw Error(ErrorCode::InvalidArgument,
                    fileName(path) + ": cannot save as \"" + extension +
                        "\": the built-in host writes presentations as .pptx only; name the "
                        "file .pptx");
    }
    return absolutePath(path);
}

}  // namespace

namespace detail {

void ApplicationImpl::checkRunning() const {
    if (running) {
        return;
    }
    throw Error(ErrorCode::ObjectClosed, "object closed: the presentation application has quit");
}

void ApplicationImpl::activate(PresentationImpl* presentation) {
    forget(presentation);
    activation.push_back(presentation);
}

void ApplicationImpl::forget(PresentationImpl* presentation) {
    std::erase(activation, presentation);
}

// Quit closes every document of the application, so the document's own flag says it all; a
// presentation stays usable when the caller has merely let go of its Application object.
void PresentationImpl::checkOpen() const {
    if (deck) {
        deck->checkOpen();
        return;
    }
    document->checkOpen();
}

void PresentationImpl::close() {
    if (deck) {
        deck->close();
        return;
    }
    document->open = false;
}

const std::string& PresentationImpl::displayName() const {
    return deck ? deck->displayName() : document->package.displayName();
}

std::shared_ptr<PresentationImpl> openPresentation(const std::shared_ptr<ApplicationImpl>& app,
                                                   const std::string& path, bool readOnly,
                                                   bool untitled) {
    if (std::optional<compound::File> file = binaryPresentationFile(path)) {
        return openBinaryPresentation(app, std::move(*file),
                                      untitled ? std::string() : absolutePath(path), readOnly);
    }
    auto document = std::make_shared<office::detail::OpenDocument>(
        office::detail::OpenDocument{package::Package::openFile(path, "presentation")});
    auto presentation = std::make_shared<PresentationImpl>();
    presentation->application = app;
    presentation->document = document;
    presentation->readOnly = readOnly;
    presentation->fullName = untitled ? std::string() : absolutePath(path);
    presentation->mainPart = mainPartOf(document->package);
    presentation->slides = readSlides(document, presentation->mainPart);
    return presentation;
}

}  // namespace detail

// Application

std::shared_ptr<Application> Application::Create() {
    return std::make_shared<Application>(std::make_shared<detail::ApplicationImpl>());
}

Application::Application(std::shared_ptr<detail::ApplicationImpl> impl) : impl_(std::move(impl)) {}

int Application::Visible() const {
    impl_->checkRunning();
    return impl_->visible;
}

void Application::SetVisible(int visible) {
    impl_->checkRunning();
    if (visible != msoTrue && visible != msoCTrue && visible != msoFalse) {
        throw Error(ErrorCode::InvalidArgument,
                    "Visible: " + std::to_string(visible) + " is not msoTrue or msoFalse");
    }
    impl_->visible = visible;
}

int Application::WindowState() const {
    impl_->checkRunning();
    return impl_->windowState;
}

void Application::SetWindowState(int state) {
    impl_->checkRunning();
    if (state != ppWindowNormal && state != ppWindowMinimized && state != ppWindowMaximized) {
        throw Error(ErrorCode::InvalidArgument,
                    "WindowState: " + std::to_string(state) + " is not a window state");
    }
    impl_->windowState = state;
}

int Application::DisplayAlerts() const {
    impl_->checkRunning();
    return impl_->displayAlerts;
}

void Application::SetDisplayAlerts(int level) {
    impl_->checkRunning();
    if (level != ppAlertsNone && level != ppAlertsAll) {
        throw Error(ErrorCode::InvalidArgument,
                    "DisplayAlerts: " + std::to_string(level) + " is not an alert level");
    }
    impl_->displayAlerts = level;
}

std::shared_ptr<ppt::Presentations> Application::Presentations() {
    impl_->checkRunning();
    return std::make_shared<ppt::Presentations>(impl_);
}

std::shared_ptr<Presentation> Application::ActivePresentation() {
    impl_->checkRunning();
    if (impl_->activation.empty()) {
        throw Error(ErrorCode::IndexOutOfRange, "ActivePresentation: no presentation is open");
    }
    detail::PresentationImpl* active = impl_->activation.back();
    for (const auto& presentation : impl_->presentations) {
        if (presentation.get() == active) {
            return std::make_shared<Presentation>(presentation);
        }
    }
    throw Error(ErrorCode::IndexOutOfRange, "ActivePresentation: no presentation is open");
}

void Application::Quit() {
    impl_->checkRunning();
    for (const auto& presentation : impl_->presentations) {
        presentation->close();
    }
    impl_->presentations.clear();
    impl_->activation.clear();
    impl_->running = false;
}

bool Application::IsRunning() const noexcept {
    return impl_->running;
}

// Presentations

Presentations::Presentations(std::shared_ptr<detail::ApplicationImpl> app) : app_(std::move(app)) {}

std::shared_ptr<Presentation> Presentations::Open(const std::string& path, int readOnly,
                                                  int untitled, int /*withWindow*/) {
    app_->checkRunning();
    auto presentation =
        detail::openPresentation(app_, path, readOnly != msoFalse, untitled != msoFalse);
    app_->presentations.push_back(presentation);
    app_->activate(presentation.get());
    return std::make_shared<Presentation>(presentation);
}

int Presentations::Count() const {
    app_->checkRunning();
    return static_cast<int>(app_->presentations.size());
}

std::shared_ptr<Presentation> Presentations::Item(int index) {
    app_->checkRunning();
    detail::checkIndex(index, app_->presentations.size(), "Presentations:", "open");
    return std::make_shared<Presentation>(app_->presentations[index - 1]);
}

// Presentation

Presentation::Presentation(std::shared_ptr<detail::PresentationImpl> impl)
    : impl_(std::move(impl)) {}

std::string Presentation::Name() const {
    impl_->checkOpen();
    return impl_->fullName.empty() ? std::string() : fileName(impl_->fullName);
}

std::string Presentation::FullName() const {
    impl_->checkOpen();
    return impl_->fullName;
}

bool Presentation::ReadOnly() const {
    impl_->checkOpen();
    return impl_->readOnly;
}

std::shared_ptr<ppt::Slides> Presentation::Slides() {
    impl_->checkOpen();
    return std::make_shared<ppt::Slides>(impl_);
}

void Presentation::Save() {
    impl_->checkOpen();
    const std::string& file = impl_->displayName();
    if (impl_->fullName.empty()) {
        throw Error(ErrorCode::ReadOnly,
                    file + ": the presentation was opened untitled; use SaveAs to name a file");
    }
    if (impl_->readOnly) {
        throw Error(ErrorCode::ReadOnly,
                    file + ": the presentation was opened read-only; use SaveAs to write a copy");
    }
    if (impl_->deck) {
        impl_->deck->save(impl_->fullName);
        return;
    }
    impl_->document->package.saveFile(impl_->fullName);
}

void Presentation::SaveAs(const std::string& path, int fileFormat, int /*embedTrueTypeFonts*/) {
    impl_->checkOpen();
    if (impl_->deck) {
        detail::saveBinaryAs(*impl_, path, fileFormat);
        return;
    }
    std::string target = saveAsTarget(path, fileFormat);
    // A show or template written as .pptx must say it is a presentation, or office suites
    // refuse the file for an extension that does not match its content.
    package::Package& package = impl_->document->package;
    if (package.contentType(impl_->mainPart) == kSlideShowType ||
        package.contentType(impl_->mainPart) == kTemplateType) {
        package.setContentType(impl_->mainPart, kPresentationType);
    }
    package.saveFile(target);
    impl_->fullName = target;
    impl_->readOnly = false;
}

void Presentation::Close() {
    impl_->checkOpen();
    impl_->close();
    if (std::shared_ptr<detail::ApplicationImpl> app = impl_->application.lock()) {
        app->forget(impl_.get());
        std::erase(app->presentations, impl_);
    }
}

std::shared_ptr<ppt::Application> Presentation::Application() const {
    impl_->checkOpen();
    std::shared_ptr<detail::ApplicationImpl> app = impl_->application.lock();
    if (!app) {
        throw Error(
            ErrorCode::ObjectRequired,
            impl_->displayName() + ": the presentation's application is no longer held by anyone");
    }
    return std::make_shared<ppt::Application>(app);
}

}  // namespace office::ppt
