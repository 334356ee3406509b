// Writes the bundled example's template with pptxgenjs: a title slide and one slide per
// report chart (column, pie, line, area), each chart carrying last month's figures; slide 5 is
// left for the embedded cost table, slide 7 for the Graph chart object that make_example.py adds.
// usage: node make_example_template.cjs OUTPUT.pptx
const PptxGenJS = require("pptxgenjs");

const out = process.argv[2];
const pptx = new PptxGenJS();
pptx.layout = "LAYOUT_16x9";
pptx.title = "Monthly sales report";
const heading = { x: 0.6, y: 0.3, w: 8.8, h: 0.6, fontSize: 24, bold: true, color: "1F3864" };
const box = { x: 0.6, y: 1.1, w: 8.8, h: 4.2 };
const months = ["May", "Jun", "Jul", "Aug", "Sep", "Oct"];

function titleSlide() {
    const slide = pptx.addSlide();
    slide.background = { color: "1F3864" };
    slide.addText("Monthly sales report", { x: 0.6, y: 2.0, w: 8.8, h: 1.0, fontSize: 36, bold: true, color: "FFFFFF", objectName: "Title" });
    slide.addText("Charts and tables refreshed from sales-report.xlsx", { x: 0.6, y: 3.0, w: 8.8, h: 0.6, fontSize: 16, color: "D9E1F2", objectName: "Subtitle" });
}

function chartSlide(heading_text, type, data, options) {
    const slide = pptx.addSlide();
    slide.addText(heading_text, { ...heading, objectName: "Heading" });
    slide.addChart(type, data, { ...box, ...options });
}

titleSlide();

const regions = ["North", "South", "East", "West"].map((name, i) => ({
    name, labels: months, values: months.map((_, m) => 30000 + 3000 * i + 900 * m),
}));
chartSlide("Revenue", pptx.ChartType.bar, regions, {
    barDir: "col", barGrouping: "clustered", showTitle: true, title: "Revenue by region",
    showLegend: true, legendPos: "b", valAxisLabelFormatCode: "#,##0", objectName: "Revenue Chart",
});

chartSlide("Product mix", pptx.ChartType.pie, [{ name: "Share", labels: ["Hardware", "Software", "Services", "Training"], values: [0.45, 0.3, 0.17, 0.08] }], {
    showTitle: true, title: "Product mix", showPercent: true, showLegend: true, legendPos: "r", objectName: "Mix Chart",
});

chartSlide("Orders", pptx.ChartType.line, [{ name: "Orders", labels: months, values: [170, 176, 181, 190, 188, 195] }], {
    showTitle: false, showLegend: false, lineDataSymbol: "circle", objectName: "Trend Chart",
});

const costs = pptx.addSlide();
costs.addText("Costs", { ...heading, objectName: "Heading" });

chartSlide("Backlog", pptx.ChartType.area, [
    { name: "Open", labels: ["W38", "W39", "W40"], values: [140, 133, 128] },
    { name: "Late", labels: ["W38", "W39", "W40"], values: [30, 31, 33] },
], { showTitle: true, title: "Backlog", showLegend: true, legendPos: "b", objectName: "Backlog Chart" });

const graphSlide = pptx.addSlide();
graphSlide.addText("Regions by quarter", { ...heading, objectName: "Heading" });

pptx.writeFile({ fileName: out }).then(() => console.log("wrote " + out));
