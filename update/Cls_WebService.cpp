#include "update/Cls_WebService.h"

#include <QUrl>
#include <algorithm>

#include "office/error.h"
#include "update/MDL_PublicCode.h"

namespace update {
namespace {

std::string asciiLower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) {
        return static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    });
    return text;
}

bool hasSpaceOrControl(const std::string& text) {
    return std::any_of(text.begin(), text.end(),
                       [](unsigned char c) { return c <= ' ' || c == 0x7F; });
}

// An address that the desktop will hand to a web browser and nothing else.
bool isAbsoluteWebAddress(const std::string& address) {
    const std::string lower = asciiLower(address);
    if (!lower.starts_with("http://") && !lower.starts_with("https://")) {
        return false;
    }
    if (hasSpaceOrControl(address) || address.find('\\') != std::string::npos) {
        return false;
    }
    const QUrl url(QString::fromStdString(address), QUrl::StrictMode);
    return url.isValid() && !url.host().isEmpty() && !url.isRelative();
}

}  // namespace

std::string ProductCheckUrl(const std::string& host, std::int32_t productId,
                            const std::string& productGuid, const std::string& version) {
    return "http://" + host + "/productcheck.aspx" + "?Productid=" + std::to_string(productId) +
           "&ProductGUID=" + productGuid + "&Version=" + version;
}

std::optional<std::string> DownloadAddress(const std::string& answer) {
    if (asciiLower(answer.substr(0, 4)) != "http") {
        return std::nullopt;
    }
    const std::size_t exe = asciiLower(answer).find("exe");
    if (exe == std::string::npos) {
        return std::nullopt;
    }
    std::string address = answer.substr(0, exe + 3);
    if (!isAbsoluteWebAddress(address)) {
        return std::nullopt;
    }
    return address;
}

std::string VersionText(int major, int minor, int revision) {
    return std::to_string(major) + "." + std::to_string(minor) + "." + std::to_string(revision) +
           ".0";
}

}  // namespace update

Cls_WebService::Cls_WebService() : Cls_WebService(MDL_PublicCode::UpdateHost()) {}

Cls_WebService::Cls_WebService(std::string host) : host_(std::move(host)) {}

void Cls_WebService::CheckProduct(const std::int32_t& ProductID, const std::string& ProductGuid,
                                  const std::string& Version) {
    if (!inetTrans_) {
        throw office::Error(office::ErrorCode::ObjectRequired,
                            "update check: no internet transfer component was assigned to "
                            "InetTrans");
    }
    const std::string url = update::ProductCheckUrl(host_, ProductID, ProductGuid, Version);
    const std::string answer = inetTrans_->OpenURL(url);
    if (const auto address = update::DownloadAddress(answer)) {
        MDL_PublicCode::ShellOpen(*address);
    }
}
