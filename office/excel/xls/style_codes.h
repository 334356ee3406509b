#pragma once

// The names that SpreadsheetML gives to the codes of a binary XF record: its border lines,
// fill patterns and alignments, indexed by the code. The reader turns codes into names and the
// writer names back into codes with the same tables.

namespace office::excel::xls {

// The line styles of a border edge, by the code a binary XF gives it.
inline constexpr const char* kLineStyles[] = {"",
                                              "thin",
                                              "medium",
                                              "dashed",
                                              "dotted",
                                              "thick",
                                              "double",
                                              "hair",
                                              "mediumDashed",
                                              "dashDot",
                                              "mediumDashDot",
                                              "dashDotDot",
                                              "mediumDashDotDot",
                                              "slantDashDot"};

inline constexpr const char* kPatterns[] = {
    "none",           "solid",           "mediumGray",    "darkGray",  "lightGray",
    "darkHorizontal", "darkVertical",    "darkDown",      "darkUp",    "darkGrid",
    "darkTrellis",    "lightHorizontal", "lightVertical", "lightDown", "lightUp",
    "lightGrid",      "lightTrellis",    "gray125",       "gray0625"};

inline constexpr const char* kHorizontal[] = {
    "general", "left", "center", "right", "fill", "justify", "centerContinuous", "distributed"};
inline constexpr const char* kVertical[] = {"top", "center", "bottom", "justify", "distributed"};

}  // namespace office::excel::xls
