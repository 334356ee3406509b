#include "settings/profile.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string_view>
#include <system_error>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>

#ifdef _WIN32
#include <io.h>
#include <process.h>
#else
#include <unistd.h>
#endif

#include "platform/read_only.h"

namespace settings::profile {
namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

// The file as lines (without their line ends), with what is needed to write it back as it was.
struct Document {
    bool exists = false;
    bool byteOrderMark = false;
    std::string lineEnd;
    std::vector<std::string> lines;
};

// A key line inside a section.
struct KeyLine {
    std::string name;
    std::string value;
};

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string trimmed(std::string_view text) {
    std::size_t first = 0;
    std::size_t last = text.size();
    while (first < last && isBlank(text[first])) {
        ++first;
    }
    while (last > first && isBlank(text[last - 1])) {
        --last;
    }
    return std::string(text.substr(first, last - first));
}

char asciiLower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool sameName(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return asciiLower(x) == asciiLower(y);
           });
}

std::string nativeLineEnd() {
#ifdef _WIN32
    return "\r\n";
#else
    return "\n";
#endif
}

// The section name of a header line "[name]"; nothing for any other line.
std::optional<std::string> sectionHeader(const std::string& line) {
    const std::string text = trimmed(line);
    if (text.empty() || text.front() != '[') {
        return std::nullopt;
    }
    const std::size_t close = text.find(']');
    const std::size_t end = close == std::string::npos ? text.size() : close;
    return trimmed(std::string_view(text).substr(1, end - 1));
}

bool isComment(const std::string& text) {
    return !text.empty() && (text.front() == ';' || text.front() == '#');
}

// Drops one pair of matching quotes around a value, as the platform read does.
std::string unquoted(std::string value) {
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front()) {
        return value.substr(1, value.size() - 2);
    }
    return value;
}

// The name and value of a "name=value" line; nothing for headers, comments and other lines.
std::optional<KeyLine> keyLine(const std::string& line) {
    const std::string text = trimmed(line);
    if (text.empty() || text.front() == '[' || isComment(text)) {
        return std::nullopt;
    }
    const std::size_t equals = text.find('=');
    if (equals == std::string::npos) {
        return std::nullopt;
    }
    return KeyLine{trimmed(std::string_view(text).substr(0, equals)),
                   unquoted(trimmed(std::string_view(text).substr(equals + 1)))};
}

std::vector<std::string> splitLines(const std::string& text, std::string& lineEnd) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) {
            end = text.size();
        }
        std::string line = text.substr(start, end - start);
        const bool crlf = !line.empty() && line.back() == '\r';
        if (crlf) {
            line.pop_back();
        }
        if (lineEnd.empty() && end < text.size()) {
            lineEnd = crlf ? "\r\n" : "\n";
        }
        lines.push_back(std::move(line));
        start = end + 1;
    }
    return lines;
}

// Reads the file. Nothing when it exists but cannot be read (a write must then not replace
// it); an empty, non-existing document when it is missing.
std::optional<Document> load(const std::string& file) {
    Document document;
    std::error_code error;
    const auto status = std::filesystem::status(file, error);
    if (status.type() == std::filesystem::file_type::not_found) {
        document.lineEnd = nativeLineEnd();
        return document;
    }
    if (error || status.type() != std::filesystem::file_type::regular) {
        return std::nullopt;
    }
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        return std::nullopt;
    }
    std::ostringstream content;
    content << in.rdbuf();
    std::string text = content.str();
    document.exists = true;
    if (text.starts_with(kByteOrderMark)) {
        document.byteOrderMark = true;
        text.erase(0, kByteOrderMark.size());
    }
    document.lines = splitLines(text, document.lineEnd);
    if (document.lineEnd.empty()) {
        document.lineEnd = nativeLineEnd();
    }
    return document;
}

// Lines [first, last) of the first section called `section` (header included); nothing when
// the file has no such section.
struct SectionRange {
    std::size_t first = 0;
    std::size_t last = 0;
};

std::optional<SectionRange> findSection(const Document& document, const std::string& section,
                                        std::size_t from = 0) {
    for (std::size_t i = from; i < document.lines.size(); ++i) {
        const auto name = sectionHeader(document.lines[i]);
        if (!name || !sameName(*name, section)) {
            continue;
        }
        std::size_t end = i + 1;
        while (end < document.lines.size() && !sectionHeader(document.lines[end])) {
            ++end;
        }
        return SectionRange{i, end};
    }
    return std::nullopt;
}

std::optional<std::size_t> findKey(const Document& document, SectionRange range,
                                   const std::string& key) {
    for (std::size_t i = range.first + 1; i < range.last; ++i) {
        const auto line = keyLine(document.lines[i]);
        if (line && sameName(line->name, key)) {
            return i;
        }
    }
    return std::nullopt;
}

std::string serialised(const Document& document) {
    std::string text = document.byteOrderMark ? std::string(kByteOrderMark) : std::string();
    for (const auto& line : document.lines) {
        text += line;
        text += document.lineEnd;
    }
    return text;
}

std::string temporaryName(const std::string& file) {
    static std::atomic<unsigned> counter{0};
#ifdef _WIN32
    const long pid = _getpid();
#else
    const long pid = static_cast<long>(getpid());
#endif
    return file + ".~" + std::to_string(pid) + "-" + std::to_string(counter++);
}

#ifdef _WIN32
// Writes the new file's text and commits it to the disk before it is renamed over the old
// file, so that a crash leaves either the old or the new file.
bool writeTemporary(const std::string& path, const std::string& text, const std::string&) {
    const int fd =
        ::_open(path.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, _S_IREAD | _S_IWRITE);
    if (fd < 0) {
        return false;
    }
    std::size_t done = 0;
    while (done < text.size()) {
        const unsigned chunk =
            static_cast<unsigned>(std::min<std::size_t>(text.size() - done, 1u << 20));
        const int written = ::_write(fd, text.data() + done, chunk);
        if (written <= 0) {
            break;
        }
        done += static_cast<std::size_t>(written);
    }
    const bool ok = done == text.size() && ::_commit(fd) == 0;
    return ::_close(fd) == 0 && ok;
}
#else
bool writeAll(int fd, const std::string& text) {
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t written = ::write(fd, text.data() + done, text.size() - done);
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            return false;
        }
        done += static_cast<std::size_t>(written);
    }
    return true;
}

// Writes the new file's text and puts it on the disk before it is renamed over the old file,
// so that a crash leaves either the old or the new file. The old file's permissions carry over.
bool writeTemporary(const std::string& path, const std::string& text, const std::string& target) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) {
        return false;
    }
    struct stat old {};
    if (::stat(target.c_str(), &old) == 0) {
        ::fchmod(fd, old.st_mode & 07777);
    }
    const bool ok = writeAll(fd, text) && ::fsync(fd) == 0;
    return ::close(fd) == 0 && ok;
}
#endif

bool replaceFile(const std::string& file, const std::string& text) {
    if (platform::isReadOnlyFile(file)) {
        return false;  // a settings file the user protected is read, never replaced
    }
    const std::string temporary = temporaryName(file);
    std::error_code error;
    if (!writeTemporary(temporary, text, file)) {
        std::filesystem::remove(temporary, error);
        return false;
    }
    std::filesystem::rename(temporary, file, error);
    if (error) {
        std::filesystem::remove(temporary, error);
        return false;
    }
    return true;
}

bool hasLineBreak(const std::string& text) {
    return text.find_first_of("\r\n") != std::string::npos;
}

std::size_t lastContentLine(const Document& document, SectionRange range) {
    std::size_t last = range.first;
    for (std::size_t i = range.first + 1; i < range.last; ++i) {
        if (!trimmed(document.lines[i]).empty()) {
            last = i;
        }
    }
    return last;
}

}  // namespace

std::string readValue(const std::string& file, const std::string& section, const std::string& key,
                      const std::string& fallback, std::size_t size) {
    const std::size_t limit = size == 0 ? 0 : size - 1;
    const auto document = load(file);
    const auto range = document ? findSection(*document, section) : std::nullopt;
    const auto line = range ? findKey(*document, *range, key) : std::nullopt;
    const std::string value = line ? keyLine(document->lines[*line])->value : trimmed(fallback);
    return value.substr(0, std::min(limit, value.size()));
}

KeyNames readKeyNames(const std::string& file, const std::string& section, std::size_t size) {
    KeyNames result;
    const auto document = load(file);
    const auto range = document ? findSection(*document, section) : std::nullopt;
    std::string list;
    for (std::size_t i = range ? range->first + 1 : 0; range && i < range->last; ++i) {
        const auto line = keyLine(document->lines[i]);
        if (line && !line->name.empty()) {
            list += line->name;
            list += '\0';
        }
    }
    const bool cut = size >= 2 && list.size() + 1 > size;
    if (cut) {
        list.resize(size - 2);
        list += '\0';
    }
    // A cut list counts the size - 2 characters before its two closing NULs.
    result.count = size < 2 ? 0 : cut ? size - 2 : list.size();
    result.buffer = list;
    result.buffer.resize(size, '\0');
    return result;
}

bool writeValue(const std::string& file, const std::string& section, const std::string& key,
                const std::string& value) {
    if (hasLineBreak(section) || hasLineBreak(key) || hasLineBreak(value) ||
        key.find('=') != std::string::npos) {
        return false;
    }
    auto document = load(file);
    if (!document) {
        return false;
    }
    const std::string entry = key + "=" + value;
    const auto range = findSection(*document, section);
    if (!range) {
        if (!document->lines.empty() && !trimmed(document->lines.back()).empty()) {
            document->lines.emplace_back();
        }
        document->lines.push_back("[" + section + "]");
        document->lines.push_back(entry);
        return replaceFile(file, serialised(*document));
    }
    if (const auto line = findKey(*document, *range, key)) {
        document->lines[*line] = entry;
        return replaceFile(file, serialised(*document));
    }
    const std::size_t after = lastContentLine(*document, *range);
    document->lines.insert(document->lines.begin() + static_cast<std::ptrdiff_t>(after + 1), entry);
    return replaceFile(file, serialised(*document));
}

bool deleteSection(const std::string& file, const std::string& section) {
    auto document = load(file);
    if (!document || !document->exists) {
        return false;
    }
    bool removed = false;
    while (const auto range = findSection(*document, section)) {
        const auto begin = document->lines.begin();
        document->lines.erase(begin + static_cast<std::ptrdiff_t>(range->first),
                              begin + static_cast<std::ptrdiff_t>(range->last));
        removed = true;
    }
    return removed && replaceFile(file, serialised(*document));
}

}  // namespace settings::profile
