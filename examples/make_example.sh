#!/usr/bin/env bash
# Makes the bundled example again: sales-report.xlsx (openpyxl) and report-template.pptx
# (pptxgenjs, an embedded spreadsheet object added with ole_embed.py and a Graph chart object
# with graph_object.py), then links the template's
# slides to the workbook's sheets through the office host (link-slides), as the window's
# "linked" and "save" would. The made files are committed; nothing here is needed to build,
# test or run the example.
#
# Needs: Debian's python3-openpyxl, node and npm (pptxgenjs goes into the git-ignored
# examples/node_modules), and a configured build folder (default: build-example).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/.." && pwd)
build=${1:-"$root/build-example"}

cd "$here"
if [ ! -d node_modules/pptxgenjs ]; then
    npm install --no-audit --no-fund --no-package-lock
fi

/usr/bin/python3 make_example.py workbook sales-report.xlsx
node make_example_template.cjs report-template.pptx
/usr/bin/python3 make_example.py embed report-template.pptx

if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DTABULON_BUILD_TESTS=OFF >/dev/null
fi
cmake --build "$build" --target link-slides -j2 >/dev/null
"$build/cli/link-slides" report-template.pptx \
    "Revenue=Revenue Chart" "Mix=Mix Chart" "Trend=Trend Chart" "Costs=Cost Table" \
    "Backlog=Backlog Chart" "Regions=Regions Graph"
echo "made sales-report.xlsx and report-template.pptx in $here"
