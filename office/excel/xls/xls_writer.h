#pragma once

// Writing a binary workbook stream (BIFF8) back after its cells were edited through the workbook
// model. Every record that the edit does not touch is kept byte for byte: the globals (names,
// the drawing group, the palette, styles and the sheet list), sheets that were not changed,
// and in a changed sheet everything outside its cell table (columns, views, drawings, embedded
// charts, unknown records). What is rewritten: the changed sheets' cell records (in row order,
// with their ROW records and DIMENSIONS), cells whose value did not change keeping their own
// records (formulas too); MERGEDCELLS of those sheets; the shared strings (SST and EXTSST);
// FONT, FORMAT and XF records appended for new looks, never renumbering the existing ones; the
// sheet offsets in BOUNDSHEET and the stream offsets of the INDEX records of the sheets that
// moved; OLESIZE, the visible area of an embedded workbook. The INDEX and DBCELL records of a
// changed sheet are left out (they are optional and would only repeat offsets).

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "office/excel/a1.h"
#include "office/excel/model.h"

namespace office::excel::xls {

// The visible area that the stream's OLESIZE record names (1-based); nothing when it has none
// or the globals cannot be framed.
std::optional<detail::Area> visibleArea(std::span<const std::uint8_t> stream);

// Fails with NotSupported, naming displayName, for a stream this writer cannot write back (an
// encrypted workbook).
void checkWritable(std::span<const std::uint8_t> stream, const std::string& displayName);

// The stream of `book`, which was read from `original` (by loadBiffWorkbook) and has been
// edited since; its styles part holds the styles as the edits left them. `visible`, when
// given, becomes the OLESIZE record. Fails with OutOfSheet for a cell beyond the 65,536 rows
// and 256 columns of the format, and with CorruptPart where the original cannot be framed.
std::vector<std::uint8_t> writeWorkbookStream(std::span<const std::uint8_t> original,
                                              const detail::WorkbookImpl& book,
                                              const std::optional<detail::Area>& visible);

}  // namespace office::excel::xls
