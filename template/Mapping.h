#pragma once

// The mapping of worksheets to slides, stored in the template: linking a worksheet to a chart
// or table of a slide, cancelling a link, saving the template, and the rule that enables the
// "linked" button and "Cancel Mapping". Plain functions over the slide table and the keys that
// the nodes of the template tree carry; the main window reads its selection into these calls
// and shows their results, so nothing here needs a window.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "office/powerpoint.h"
#include "template/cls_PptSlide.h"

namespace tabulon {

// The key of the template tree's root node; only the root has a key.
inline constexpr const char* kRootKey = "Root";

// The message of a link refused because a slide bears the worksheet's name already.
inline constexpr const char* kNameTaken = "Sheet Table contain in ppt template";

// What the mapping commands say after Convert, which closed the template the tree still shows.
inline constexpr const char* kTemplateClosedByConvert =
    "Convert closed the template; choose the template again to change its links.";

// The three kinds of node of the template tree.
enum class NodeKind { Root, Slide, Shape };

// A node of the template tree as the mapping sees it. A slide node carries its slide's key in
// the slide table; a shape node its slide's key and its shape's key in the slide's Objects.
struct TreeNode {
    NodeKind kind = NodeKind::Root;
    std::int32_t slideKey = 0;
    std::int32_t shapeKey = 0;
    std::string text;  // the node's text, which messages quote
};

// A node's kind, told by its parent: a node without a parent is the root, a node whose parent
// has the key "Root" is a slide node, any other node is a shape node.
NodeKind KindOfNode(bool hasParent, const std::string& parentKey);

// The enabling rule: whether "linked" and "Cancel Mapping" are enabled after a click on a node
// of this kind (a slide node disables both, a shape node enables both); nothing for the root,
// which leaves them as they were.
std::optional<bool> LinkEnabledAfterClick(NodeKind clicked);

// The template as the mapping commands find it in the main window: the browsing application
// (none before a template was chosen and after Convert), the template's path and SlideTable.
struct BrowsedTemplate {
    const std::shared_ptr<office::ppt::Application>& app;
    const std::string& path;
    SlideCollection& slides;
};

// Whether some slide of the table bears the name now; letter case counts.
bool SlideBearsName(const SlideCollection& slides, const std::string& name);

// Fails with ObjectClosed, naming the template and saying to choose it again, unless the
// browsing application is running (Convert quits it and leaves the slide table behind).
void RequireOpenTemplate(const BrowsedTemplate& browsed);

// Names the slide of the shape node after the worksheet and replaces every tag of the slide by
// "Name" (the shape's name) and, for a chart, a spreadsheet object or a native table, "Type"
// (its classification). Returns the slide's name as the presentation now reports it, for the
// slide node. Fails with InvalidArgument, naming the node, when the node is the root or a
// slide node, changing nothing; other failures come from the presentation, and the steps
// already done stay done.
std::string LinkSheetToSlide(SlideCollection& slides, const std::string& sheetName,
                             const TreeNode& shapeNode);

// Removes every tag of the slide under slideKey and names it "slide" followed by its SlideID.
// Returns that name, for the slide node.
std::string CancelMapping(SlideCollection& slides, std::int32_t slideKey);

// What the "linked" command did.
enum class LinkOutcome {
    NothingToLink,  // no worksheet selected, or no shape node: nothing changed
    NameTaken,      // a slide bears the worksheet's name already: nothing changed (kNameTaken)
    Linked,         // the slide now bears the worksheet's name and the shape's tags
};
struct LinkResult {
    LinkOutcome outcome = LinkOutcome::NothingToLink;
    std::string slideName;  // Linked: the slide's new name, for its node
};

// The "linked" command, given the selected worksheet's name and the selected tree node (nothing
// when none is selected): without both a worksheet and a shape node it does nothing; then it
// requires the open template (RequireOpenTemplate); a name that a slide bears is refused;
// otherwise LinkSheetToSlide.
LinkResult LinkCommand(const BrowsedTemplate& browsed, const std::optional<std::string>& sheetName,
                       const std::optional<TreeNode>& selected);

// The "Cancel Mapping" command, given the selected tree node: nothing unless it is a shape
// node; then it requires the open template and cancels the mapping of the node's slide.
// Returns the slide's new name, for the slide node, when it cancelled.
std::optional<std::string> CancelCommand(const BrowsedTemplate& browsed,
                                         const std::optional<TreeNode>& selected);

// Whether "save" has a template to save: the browsing application is running and holds an
// open presentation.
bool HasTemplateToSave(const std::shared_ptr<office::ppt::Application>& app);

// Saves the application's active presentation in place (the template chosen last).
void SaveTemplate(office::ppt::Application& app);

}  // namespace tabulon
