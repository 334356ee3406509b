#pragma once

// A zip archive made in memory from named parts, for the package of a binary workbook.

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace office::excel::xls {

// The parts stored uncompressed (they are small and read once). Fails with WriteFailed.
std::vector<std::uint8_t> zipParts(const std::map<std::string, std::string>& parts);

}  // namespace office::excel::xls
