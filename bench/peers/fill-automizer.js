// The conversion of bench_convert done by pptx-automizer: every slide of TEMPLATE gets the first
// table block of the worksheet of its number (categories in A4:A15, series in B to D, names in
// row 3), written into its chart "Bar Chart"; the deck goes to OUTPUT. Prints the wall time,
// the CPU time and the peak resident memory.
//
//   node fill-automizer.js WORKBOOK TEMPLATE OUTPUT
const fs = require('fs');
const path = require('path');
const JSZip = require('jszip');
const { default: Automizer, modify } = require('pptx-automizer');

// The cells of a worksheet's XML, by reference ("B4" -> 11, "A4" -> "2026-01").
function cellsOf(xml) {
  const cells = {};
  const cell = /<c r="([A-Z]+[0-9]+)"[^>]*?(?:\/>|>(.*?)<\/c>)/g;
  for (let m; (m = cell.exec(xml)); ) {
    const body = m[2] || '';
    const text = /<t[^>]*>(.*?)<\/t>/.exec(body);
    const value = /<v>(.*?)<\/v>/.exec(body);
    cells[m[1]] = text ? text[1] : value ? Number(value[1]) : '';
  }
  return cells;
}

// The worksheets' first blocks, in the workbook's order of sheets.
async function blocksOf(workbookPath) {
  const zip = await JSZip.loadAsync(fs.readFileSync(workbookPath));
  const workbook = await zip.file('xl/workbook.xml').async('string');
  const rels = await zip.file('xl/_rels/workbook.xml.rels').async('string');
  const targets = {};
  for (const m of rels.matchAll(/<Relationship [^>]*?Id="([^"]+)"[^>]*?Target="([^"]+)"/g)) {
    targets[m[1]] = m[2];
  }
  for (const m of rels.matchAll(/<Relationship [^>]*?Target="([^"]+)"[^>]*?Id="([^"]+)"/g)) {
    targets[m[2]] = m[1];
  }
  const blocks = [];
  for (const m of workbook.matchAll(/<sheet [^>]*?r:id="([^"]+)"/g)) {
    const target = targets[m[1]].replace(/^\/?xl\//, '');
    const cells = cellsOf(await zip.file('xl/' + target).async('string'));
    const series = ['B', 'C', 'D'].map((column) => ({ label: String(cells[column + '3']) }));
    const categories = [];
    for (let row = 4; row <= 15; ++row) {
      categories.push({
        label: String(cells['A' + row]),
        values: ['B', 'C', 'D'].map((column) => cells[column + row]),
      });
    }
    blocks.push({ series, categories });
  }
  return blocks;
}

async function main() {
  const [workbookPath, templatePath, outputPath] = process.argv.slice(2);
  const started = process.hrtime.bigint();
  const cpu = process.cpuUsage();
  const blocks = await blocksOf(workbookPath);
  const automizer = new Automizer({
    templateDir: path.dirname(path.resolve(templatePath)),
    outputDir: path.dirname(path.resolve(outputPath)),
    removeExistingSlides: true,
    verbosity: 0,
  });
  const template = path.basename(templatePath);
  const deck = automizer.loadRoot(template).load(template, 'deck');
  blocks.forEach((block, index) => {
    deck.addSlide('deck', index + 1, (slide) => {
      slide.modifyElement('Bar Chart', [modify.setChartData(block)]);
    });
  });
  await deck.write(path.basename(outputPath));
  const wall = Number(process.hrtime.bigint() - started) / 1e9;
  const used = process.cpuUsage(cpu);
  const peak = process.resourceUsage().maxRSS / 1024;
  console.log(
    `pptx-automizer: ${blocks.length} charts in ${wall.toFixed(2)} s wall, ` +
      `${((used.user + used.system) / 1e6).toFixed(2)} s CPU, ${peak.toFixed(0)} MB peak`,
  );
}

main().catch((error) => {
  console.error(error);
  process.exit(1);
});
