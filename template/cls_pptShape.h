#pragma once

// The wrapper of one template shape that holds an embedded object. It keeps a reference to the
// live shape of the presentation application and reads it on every call: nothing is cached.

#include <memory>
#include <string>

#include "office/powerpoint.h"

namespace tabulon {

// The classifications that the rest of the program relies on, byte for byte.
inline constexpr const char* kShapeTypeChart = "Chart";
inline constexpr const char* kShapeTypeExcelTable = "ExcelTable";
inline constexpr const char* kShapeTypeOther = "other";
// A native table of the presentation (a graphic frame that holds an a:tbl).
inline constexpr const char* kShapeTypeTable = "Table";

class cls_pptShape {
public:
    // The wrapped shape's name. Fails as the presentation application fails (ObjectRequired
    // before AddShape).
    std::string Name() const;
    void SetName(const std::string& name);

    // The name of the group shape that holds the wrapped shape (the innermost one); empty for a
    // shape that lies on the slide itself. Fails as Name does.
    std::string GroupName() const;

    // Wraps the given shape, replacing any shape wrapped before.
    void AddShape(std::shared_ptr<office::ppt::Shape> shape);

    // GetShpType of the wrapped shape, computed afresh on each call. Never fails.
    std::string ShapeType() const;

    // "Table" for a native table; otherwise "Chart" when the embedded object's ProgID contains
    // "graph" (any letter case), else
    // "ExcelTable" when it contains "excel", else the ProgID itself; "other" when the shape has
    // no embedded object or any step fails. Never fails.
    static std::string GetShpType(const std::shared_ptr<office::ppt::Shape>& shape);

private:
    office::ppt::Shape& shape() const;

    std::shared_ptr<office::ppt::Shape> shape_;
};

}  // namespace tabulon
