#pragma once

// Workbooks of the Excel 97-2003 binary format (BIFF8, the "Workbook" stream of a compound
// file), read into the same inner model as an .xlsx: cells, shared strings and styles go
// straight into the model; a small in-memory package holds what the rest of the workbook code
// reads as parts (the workbook and sheet list, each worksheet's columns, row heights and
// merged areas), so that copying cells out of a binary workbook works as from an
// .xlsx. Such a workbook is read, never written back.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "office/excel/model.h"

namespace office::excel::detail {

// The workbook in the Workbook stream `stream`; `displayName` names the file in messages.
// Fails with Encrypted, LegacyFormat (BIFF5 and older) or CorruptPart (with the stream
// offset of the damaged record).
std::shared_ptr<WorkbookImpl> loadBiffWorkbook(std::vector<std::uint8_t> stream, std::string path,
                                               const std::string& displayName);

// The workbook of a compound file, from its bytes (the file read once); nullptr when it is no
// compound file or holds no workbook stream (the package layer then says what the file is).
// Fails as loadBiffWorkbook does, with LegacyFormat for a workbook of Excel 5.0/95 ("Book"), and
// with the compound file's own error (CorruptPart naming the damage) when its structure is
// damaged.
std::shared_ptr<WorkbookImpl> binaryWorkbookFromBytes(std::vector<std::uint8_t> file,
                                                      std::string path,
                                                      const std::string& displayName);

}  // namespace office::excel::detail
