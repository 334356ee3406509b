#pragma once

// Workbook streams protected with RC4 (the FilePass record). Excel encrypts a workbook that is
// only write-protected with a password of its own; such a stream is decrypted in place. Any
// other password fails with Encrypted, naming the file.

#include <cstdint>
#include <string>
#include <vector>

#include "office/excel/xls/biff.h"

namespace office::excel::xls {

// The password Excel applies to a write-protected workbook.
inline constexpr char kDefaultPassword[] = "VelvetSweatshop";

// Decrypts the records of the stream `bytes` (which holds `filePass`) with the default password:
// RC4 with MD5 keys, or RC4 with SHA-1 keys (CryptoAPI). Record headers and the records that
// are never encrypted stay as they are.
void decryptStream(std::vector<std::uint8_t>& bytes, const Record& filePass,
                   const RecordStream& stream);

}  // namespace office::excel::xls
