#!/usr/bin/python3
"""Makes the bundled example's workbook, and finishes its template with an embedded
spreadsheet object and a Microsoft Graph chart object. Run by make_example.sh; needs Debian's python3-openpyxl.

  sales-report.xlsx  a monthly sales report laid out in table blocks:
      Revenue  one block: a date title and a bordered table with a blank corner cell
      Mix      one block: product shares in percent
      Trend    two blocks: last year's orders, then this year's (the second one shows)
      Backlog  one block: open orders by week
      Costs    one block: a bordered cost table with blank cells, for the embedded object
      Regions  one block: regions down, quarters across, for the Graph chart object
      Notes    no block: read by nobody

usage: make_example.py workbook OUT.xlsx | make_example.py embed TEMPLATE.pptx
"""
import datetime
import io
import sys

from openpyxl import Workbook
from openpyxl.styles import Border, Font, Side

from graph_object import embed_graph
from ole_embed import embed_workbook

THIN = Side(style="thin")
GRID = Border(left=THIN, right=THIN, top=THIN, bottom=THIN)
MONTHS = ["Jun", "Jul", "Aug", "Sep", "Oct", "Nov"]


def block(sheet, row, marker, title, table, number_format=None, grid=False):
    """Writes a block: marker in column A, title below it, the table from two rows below.
    Returns the row after the table."""
    sheet.cell(row=row, column=1, value=marker).font = Font(color="999999")
    if title is not None:
        sheet.cell(row=row + 1, column=1, value=title).font = Font(bold=True, size=13)
    for r, values in enumerate(table):
        for c, value in enumerate(values):
            cell = sheet.cell(row=row + 2 + r, column=1 + c)
            if value is not None:
                cell.value = value
            if number_format and isinstance(value, (int, float)) and r > 0:
                cell.number_format = number_format
            if grid:
                cell.border = GRID
            if r == 0 or c == 0:
                cell.font = Font(bold=True)
    return row + 2 + len(table)


def revenue(book):
    # Months down, regions across: the layout of the chart's data (one series per region).
    sheet = book.create_sheet("Revenue")
    regions = (("North", 41250), ("South", 38700), ("East", 29980), ("West", 33410))
    table = [[None] + [name for name, _ in regions]]
    for m, month in enumerate(MONTHS):
        table.append([month] + [round(base * (1 + 0.031 * m), 0) for _, base in regions])
    block(sheet, 1, "#", datetime.date(2026, 11, 30), table, "#,##0", grid=True)
    sheet["A2"].number_format = "\"Revenue by region, \"mmmm yyyy"
    sheet.column_dimensions["A"].width = 28


def mix(book):
    sheet = book.create_sheet("Mix")
    block(sheet, 1, "#", "Product mix", [
        [None, "Share"],
        ["Hardware", 0.42],
        ["Software", 0.31],
        ["Services", 0.19],
        ["Training", 0.08],
    ], "0.0%")


def trend(book):
    # Last year's block, then this year's with a forecast for December: the second block is
    # the one the chart shows, since it is pasted over the first.
    sheet = book.create_sheet("Trend")
    months = ["Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"]
    last = [[None, "Orders 2025"]] + [[m, 180 + 7 * i] for i, m in enumerate(months)]
    this = [[None, "Orders 2026"]] + [[m, 196 + 9 * i] for i, m in enumerate(months)]
    after = block(sheet, 1, "#", "Orders 2025", last, "#,##0")
    block(sheet, after + 2, "#", "Orders per month (December forecast)", this, "#,##0")


def backlog(book):
    sheet = book.create_sheet("Backlog")
    weeks = [[f"W{w}", 120 - 6 * (w - 40), 35 + 2 * (w - 40)] for w in range(40, 49)]
    block(sheet, 1, "#", "Open orders by week", [[None, "Open", "Late"]] + weeks, "#,##0")


def fit_cost_columns(sheet):
    """Columns as wide as a user makes them for the cost table: its largest figures
    (182,500.50 and -4,224.15) fit with room to spare, so the table shows them whole."""
    sheet.column_dimensions["A"].width = 16
    for column in "BCD":
        sheet.column_dimensions[column].width = 13


def costs(book):
    sheet = book.create_sheet("Costs")
    block(sheet, 1, "#", "Costs", [
        ["Cost centre", "Budget", "Actual", "Variance"],
        ["Rent", 15000, 15000, 0],
        ["Salaries", 182500.5, 179320.75, -3179.75],
        [None, 2500, 2740.2, 240.2],
        ["Travel", 8200, 6915.4, -1284.6],
        ["Total", 208200.5, 203976.35, -4224.15],
    ], "#,##0.00", grid=True)
    fit_cost_columns(sheet)


def regions(book):
    # Regions down, quarters across: a Graph chart plots its series by rows.
    sheet = book.create_sheet("Regions")
    table = [[None, "Q1", "Q2", "Q3", "Q4"]]
    for r, (name, base) in enumerate((("North", 120), ("South", 96), ("East", 75), ("West", 88))):
        table.append([name] + [base + 6 * q + 3 * r for q in range(4)])
    block(sheet, 1, "#", "Orders by region, 2026", table, "#,##0")


def notes(book):
    sheet = book.create_sheet("Notes")
    sheet["B2"] = "Figures in EUR. Blocks start in column A; this sheet has none."


def make_workbook(path):
    book = Workbook()
    book.remove(book.active)
    for make in (revenue, mix, trend, backlog, costs, regions, notes):
        make(book)
    book.save(path)


def object_workbook():
    """What the embedded object holds before the first conversion: last month's cost table."""
    book = Workbook()
    sheet = book.active
    sheet.title = "Costs"
    rows = [["Cost centre", "Budget", "Actual", "Variance"], ["Rent", 15000, 15000, 0],
            ["Salaries", 182500.5, 180010, -2490.5], ["Other", 2500, 2210.6, -289.4],
            ["Travel", 8200, 5120, -3080], ["Total", 208200.5, 202340.6, -5859.9]]
    for r, values in enumerate(rows, start=1):
        for c, value in enumerate(values, start=1):
            cell = sheet.cell(row=r, column=c, value=value)
            cell.border = GRID
            if isinstance(value, (int, float)):
                cell.number_format = "#,##0.00"
    fit_cost_columns(sheet)
    buffer = io.BytesIO()
    book.save(buffer)
    return buffer.getvalue()


if __name__ == "__main__":
    if len(sys.argv) != 3 or sys.argv[1] not in ("workbook", "embed"):
        sys.exit(__doc__)
    if sys.argv[1] == "workbook":
        make_workbook(sys.argv[2])
    else:
        # Slide 5 of the template is the cost slide; the object's frame has the table's
        # proportions, so that its picture is shown unstretched.
        embed_workbook(sys.argv[2], 5, object_workbook(), "Cost Table", (0.6, 1.2, 8.8, 2.9),
                       preview_size=(4, 6))
        # Slide 7 holds a Graph chart with last year's figures, as an old template would.
        embed_graph(sys.argv[2], 7, "Regions Graph", (0.6, 1.1, 8.8, 4.2),
                    ["Q1", "Q2", "Q3", "Q4"],
                    [("North", [110, 114, 119, 121]), ("South", [90, 92, 97, 99]),
                     ("East", [70, 74, 73, 78])],
                    "Orders by region, 2025")
