#pragma once

// Writing a whole file from bytes the way packages are saved: into a file beside the target
// that takes its place only when complete, so a failure leaves the earlier file as it was.

#include <cstdint>
#include <span>
#include <string>

namespace office::package {

// Fails with WriteFailed, naming the file, when the target is a folder or read-only or cannot
// be written.
void writeFileAtomically(const std::string& path, std::span<const std::uint8_t> bytes);

}  // namespace office::package
