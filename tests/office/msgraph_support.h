#pragma once

// Helpers of the Graph chart object tests: the record builder, and reading the stream out of an
// OLE object part.

#include <string>

#include "office/compound/compound_file.h"
#include "office/package/package.h"
#include "tests/support/graph_records.h"

namespace msgraph_test {

using support::graph_records::Body;
using support::graph_records::Bytes;
using support::graph_records::Stream;

// The "Workbook" stream of an OLE object part of a package; empty when it has none.
inline Bytes workbookStream(const office::package::Package& package, const std::string& part) {
    const std::string raw = package.read(part);
    const auto file = office::compound::File::openBytes(Bytes(raw.begin(), raw.end()), part);
    return file.hasStream("Workbook") ? file.readStream("Workbook") : Bytes();
}

}  // namespace msgraph_test
