#include "about/SysInfo.h"

#include <filesystem>
#include <stdexcept>

#include "platform/seams.h"
#include "update/MDL_PublicCode.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace about {
namespace {

std::string hexDigits(unsigned value) {
    static constexpr char digits[] = "0123456789ABCDEF";
    std::string text;
    do {
        text.insert(text.begin(), digits[value % 16]);
        value /= 16;
    } while (value != 0);
    return text;
}

bool fileExists(const std::string& path) {
    std::error_code error;
    const auto status = std::filesystem::status(path, error);
    return !error && std::filesystem::exists(status) && !std::filesystem::is_directory(status);
}

void startProgram(const std::string& path) {
    if (!platform::current().startProgram(path)) {
        throw std::runtime_error(path + ": the program could not be started");
    }
}

// StartSysInfo's steps 2 to 5; any failure leaves it by an exception.
void findAndStart(const RegistryLookup& lookup) {
    std::string value;
    if (lookup(kHKeyLocalMachine, kSysInfoKey, kSysInfoValue, value)) {
        startProgram(value);
        return;
    }
    if (!lookup(kHKeyLocalMachine, kSysInfoLocationKey, kSysInfoLocationValue, value)) {
        throw std::runtime_error("no system-information program is registered");
    }
    const std::string path = value + kSysInfoFileName;
    if (!fileExists(path)) {
        throw std::runtime_error(path + ": no such file");
    }
    startProgram(path);
}

}  // namespace

void TakeRegistryValue(std::uint32_t type, const std::string& buffer, std::size_t size,
                       std::string& KeyVal) {
    if (size == 0 || size > buffer.size()) {
        throw std::runtime_error("registry value of " + std::to_string(size) + " bytes");
    }
    const std::size_t length = buffer[size - 1] == '\0' ? size - 1 : size;
    const std::string text = buffer.substr(0, length);
    if (type == kRegistryString) {
        KeyVal = text;
        return;
    }
    if (type != kRegistryNumber) {
        return;
    }
    for (auto c = text.rbegin(); c != text.rend(); ++c) {
        KeyVal += hexDigits(static_cast<unsigned char>(*c));
    }
    KeyVal = "&h" + KeyVal;
}

#ifdef _WIN32
bool GetKeyValue(std::uint32_t KeyRoot, const std::string& KeyName, const std::string& SubKeyRef,
                 std::string& KeyVal) {
    constexpr REGSAM kAccess = 0x2003F;
    constexpr DWORD kBufferSize = 1024;
    HKEY root = reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(static_cast<LONG>(KeyRoot)));
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, KeyName.c_str(), 0, kAccess, &key) != ERROR_SUCCESS) {
        KeyVal.clear();
        return false;
    }
    std::string buffer(kBufferSize, '\0');
    DWORD type = 0;
    DWORD size = kBufferSize;
    const LONG read = RegQueryValueExA(key, SubKeyRef.c_str(), nullptr, &type,
                                       reinterpret_cast<BYTE*>(buffer.data()), &size);
    if (read != ERROR_SUCCESS) {
        KeyVal.clear();
        RegCloseKey(key);
        return false;
    }
    try {
        TakeRegistryValue(type, buffer, size, KeyVal);
    } catch (...) {
        RegCloseKey(key);
        throw;
    }
    RegCloseKey(key);
    return true;
}
#else
bool GetKeyValue(std::uint32_t, const std::string&, const std::string&, std::string& KeyVal) {
    KeyVal.clear();
    return false;
}
#endif

void StartSysInfoWith(const RegistryLookup& lookup) {
    try {
        findAndStart(lookup);
    } catch (...) {
        platform::current().messageBox(kSysInfoUnavailable, MDL_PublicCode::kAppTitle,
                                       platform::kOkOnly);
    }
}

}  // namespace about
