#pragma once

// Reads a Microsoft Graph object's "Workbook" stream: a workbook-globals substream and a chart
// substream in the binary workbook record format, the chart substream holding the data sheet's
// cells as well as the chart's records. Anything the reader cannot take for sure (a record cut
// short, a chart kind without a native counterpart, more than one chart group) fails with an
// office::Error that names the object and the reason.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "office/binary/records.h"
#include "office/graph/msgraph/model.h"

namespace office::graph::msgraph {

// One record of the stream: the same framing as a workbook's records.
using Record = binary::Record;

// Reads the whole stream. `where` is the text that begins every message, e.g.
// "deck.pptx: slide 2, shape \"Chart 3\"".
GraphChart readGraphChart(std::span<const std::uint8_t> stream, const std::string& where);

}  // namespace office::graph::msgraph
