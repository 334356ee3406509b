#pragma once

// Every file entry of a zip read into memory, for the programs that take fixture decks apart to
// build their own (benchmarks, fuzz targets). A zip that cannot be read ends the program.

#include <zip.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>

namespace support {

inline std::map<std::string, std::string> readZipEntries(const std::string& path) {
    std::map<std::string, std::string> entries;
    int error = 0;
    zip_t* zip = zip_open(path.c_str(), ZIP_RDONLY, &error);
    if (!zip) {
        std::fprintf(stderr, "cannot open %s\n", path.c_str());
        std::exit(1);
    }
    for (zip_int64_t i = 0; i < zip_get_num_entries(zip, 0); ++i) {
        zip_stat_t stat;
        zip_stat_index(zip, static_cast<zip_uint64_t>(i), 0, &stat);
        if (std::string(stat.name).ends_with("/")) {
            continue;  // a folder entry
        }
        std::string bytes(stat.size, '\0');
        zip_file_t* file = zip_fopen_index(zip, static_cast<zip_uint64_t>(i), 0);
        zip_fread(file, bytes.data(), stat.size);
        zip_fclose(file);
        entries[stat.name] = std::move(bytes);
    }
    zip_discard(zip);
    return entries;
}

}  // namespace support
