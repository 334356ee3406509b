#include "office/excel/number_format.h"

#include <vector>

#include "office/excel/format_code.h"

namespace office::excel::detail {

namespace {

bool meets(const Section& section, double x) {
    const auto& op = section.op;
    const double v = section.operand;
    if (op == "<")
        return x < v;
    if (op == "<=")
        return x <= v;
    if (op == ">")
        return x > v;
    if (op == ">=")
        return x >= v;
    if (op == "<>")
        return x != v;
    return x == v;
}

std::string renderSection(const Section& section, double x, bool withSign) {
    if (isDateSection(section)) {
        return renderDate(section, x);
    }
    FractionLayout fraction;
    if (isFraction(section, fraction)) {
        return renderFraction(section, fraction, x, withSign);
    }
    return renderNumber(section, x, withSign);
}

std::string formatNumber(double x, std::string_view code) {
    const auto texts = splitSections(code);
    std::vector<Section> sections;
    for (const auto& text : texts) {
        sections.push_back(parseSection(text));
    }
    if (sections.size() == 1 && sections[0].tokens.size() == 1 &&
        sections[0].tokens[0].kind == TokenKind::General) {
        return generalNumber(x);
    }
    if (sections[0].hasCondition) {
        if (meets(sections[0], x)) {
            return renderSection(sections[0], x, true);
        }
        if (sections.size() > 1 && (!sections[1].hasCondition || meets(sections[1], x))) {
            return renderSection(sections[1], x, !sections[1].hasCondition);
        }
        return renderSection(sections.size() > 2 ? sections[2] : sections[0], x, true);
    }
    if (x < 0 && sections.size() >= 2) {
        return renderSection(sections[1], -x, false);
    }
    if (x == 0 && sections.size() >= 3) {
        return renderSection(sections[2], x, false);
    }
    return renderSection(sections[0], x, true);
}

std::string formatText(const std::string& text, std::string_view code) {
    const auto texts = splitSections(code);
    Section section;
    if (texts.size() >= 4) {
        section = parseSection(texts[3]);
    } else {
        section = parseSection(texts[0]);
        bool hasAt = false;
        for (const auto& token : section.tokens) {
            hasAt = hasAt || token.kind == TokenKind::TextAt;
        }
        if (!hasAt) {
            return text;
        }
    }
    std::string out;
    for (const auto& token : section.tokens) {
        if (token.kind == TokenKind::TextAt) {
            out += text;
        } else if (token.kind == TokenKind::Literal) {
            out += token.text;
        }
    }
    return out;
}

}  // namespace

// Excel's own texts for the ids 0-49; 27-36 and 50-58 are the East Asian date and time formats,
// which Excel shows in the locale of the file, rendered here in one locale. Where the standard
// spells an id differently (37-40, 44, 47), looking a code up accepts both (kStandardSpellings).
std::string builtinNumberFormat(int id) {
    switch (id) {
        case 0:
            return "General";
        case 1:
            return "0";
        case 2:
            return "0.00";
        case 3:
            return "#,##0";
        case 4:
            return "#,##0.00";
        case 5:
            return "\"$\"#,##0_);\\(\"$\"#,##0\\)";
        case 6:
            return "\"$\"#,##0_);[Red]\\(\"$\"#,##0\\)";
        case 7:
            return "\"$\"#,##0.00_);\\(\"$\"#,##0.00\\)";
        case 8:
            return "\"$\"#,##0.00_);[Red]\\(\"$\"#,##0.00\\)";
        case 9:
            return "0%";
        case 10:
            return "0.00%";
        case 11:
            return "0.00E+00";
        case 12:
            return "# ?/?";
        case 13:
            return "# ?\?/?\?";
        case 14:
            return "m/d/yyyy";
        case 15:
            return "d-mmm-yy";
        case 16:
            return "d-mmm";
        case 17:
            return "mmm-yy";
        case 18:
            return "h:mm AM/PM";
        case 19:
            return "h:mm:ss AM/PM";
        case 20:
            return "h:mm";
        case 21:
            return "h:mm:ss";
        case 22:
            return "m/d/yyyy h:mm";
        case 27:
        case 36:
        case 50:
            return "yyyy\"年\"m\"月\"";
        case 28:
        case 29:
        case 51:
        case 56:
            return "m\"月\"d\"日\"";
        case 30:
            return "m-d-yy";
        case 31:
        case 52:
        case 53:
        case 57:
        case 58:
            return "yyyy\"年\"m\"月\"d\"日\"";
        case 32:
            return "h\"时\"mm\"分\"";
        case 33:
            return "h\"时\"mm\"分\"ss\"秒\"";
        case 34:
        case 54:
            return "上午/下午h\"时\"mm\"分\"";
        case 35:
        case 55:
            return "上午/下午h\"时\"mm\"分\"ss\"秒\"";
        case 37:  // the standard: #,##0 ;(#,##0)
            return "#,##0_);\\(#,##0\\)";
        case 38:  // the standard: #,##0 ;[Red](#,##0)
            return "#,##0_);[Red]\\(#,##0\\)";
        case 39:  // the standard: #,##0.00;(#,##0.00)
            return "#,##0.00_);\\(#,##0.00\\)";
        case 40:  // the standard: #,##0.00;[Red](#,##0.00)
            return "#,##0.00_);[Red]\\(#,##0.00\\)";
        case 41:
            return "_(* #,##0_);_(* \\(#,##0\\);_(* \"-\"_);_(@_)";
        case 42:
            return "_(\"$\"* #,##0_);_(\"$\"* \\(#,##0\\);_(\"$\"* \"-\"_);_(@_)";
        case 43:
            return "_(* #,##0.00_);_(* \\(#,##0.00\\);_(* \"-\"??_);_(@_)";
        case 44:  // the standard: _("$"* #,##0.00_)_("$"* \(#,##0.00\)_("$"* "-"??_)_(@_)
            return "_(\"$\"* #,##0.00_);_(\"$\"* \\(#,##0.00\\);_(\"$\"* \"-\"??_);_(@_)";
        case 45:
            return "mm:ss";
        case 46:
            return "[h]:mm:ss";
        case 47:  // the standard: mmss.0
            return "mm:ss.0";
        case 48:
            return "##0.0E+0";
        case 49:
            return "@";
        default:
            return {};
    }
}

namespace {

// Codes of built-in formats as the file-format standard spells them where Excel writes and
// shows another text for the same id.
struct StandardSpelling {
    int id;
    std::string_view code;
};
constexpr StandardSpelling kStandardSpellings[] = {
    // Excel pads the positive section with "_)" so that it lines up with the parenthesised
    // negatives; the standard writes a plain space there.
    {37, "#,##0 ;(#,##0)"},
    {38, "#,##0 ;[Red](#,##0)"},
    // Excel again pads with "_)" and escapes the parentheses; the standard does neither.
    {39, "#,##0.00;(#,##0.00)"},
    {40, "#,##0.00;[Red](#,##0.00)"},
    // Excel's texts without the backslashes before the parentheses, which mean the same.
    {37, "#,##0_);(#,##0)"},
    {38, "#,##0_);[Red](#,##0)"},
    {39, "#,##0.00_);(#,##0.00)"},
    {40, "#,##0.00_);[Red](#,##0.00)"},
    // The standard's Accounting text lost its section separators; files written after its
    // table carry it so.
    {44, "_(\"$\"* #,##0.00_)_(\"$\"* \\(#,##0.00\\)_(\"$\"* \"-\"??_)_(@_)"},
    // Minutes and seconds with tenths: the standard leaves out the colon that Excel shows.
    {47, "mmss.0"},
};

}  // namespace

int builtinNumberFormatId(std::string_view code) {
    for (int id = 0; id <= 49; ++id) {
        const std::string builtin = builtinNumberFormat(id);
        if (!builtin.empty() && builtin == code) {
            return id;
        }
    }
    for (const auto& spelling : kStandardSpellings) {
        if (spelling.code == code) {
            return spelling.id;
        }
    }
    return -1;
}

bool isDateFormat(std::string_view code) {
    const auto sections = splitSections(code);
    return isDateSection(parseSection(sections[0]));
}

std::string formatValue(const Value& value, std::string_view code) {
    switch (value.kind()) {
        case Value::Kind::Empty:
            return {};
        case Value::Kind::Text:
            return formatText(value.asText(), code);
        case Value::Kind::Boolean:
            return value.asBoolean() ? "TRUE" : "FALSE";
        case Value::Kind::Error:
            return value.asText();
        case Value::Kind::Number:
        case Value::Kind::Date:
            return formatNumber(value.asNumber(), code);
    }
    return {};
}

}  // namespace office::excel::detail
