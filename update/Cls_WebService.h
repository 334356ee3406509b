#pragma once

// The client of the vendor's update service: tells the service which product and version is
// running and, when the answer is a download address, hands that address to the desktop.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "update/Inet.h"

class Cls_WebService {
public:
    // Asks the service at MDL_PublicCode::UpdateHost().
    Cls_WebService();
    // Asks the service at `host` (a host name, optionally with ":port").
    explicit Cls_WebService(std::string host);

    // Sends the product's identity and version to the update service through InetTrans and,
    // when the answer is a download address, opens it with ShellOpen. Throws office::Error
    // (object required, 91) when no InetTrans was assigned.
    void CheckProduct(const std::int32_t& ProductID, const std::string& ProductGuid,
                      const std::string& Version);

    // The internet transfer component through which CheckProduct fetches; none until assigned.
    std::shared_ptr<Inet> InetTrans() const { return inetTrans_; }
    void InetTrans(std::shared_ptr<Inet> vNewValue) { inetTrans_ = std::move(vNewValue); }

    const std::string& Host() const { return host_; }

private:
    std::string host_;
    std::shared_ptr<Inet> inetTrans_;
};

namespace update {

// The query address: "http://" host "/productcheck.aspx?Productid=" id "&ProductGUID=" guid
// "&Version=" version, joined without escaping.
std::string ProductCheckUrl(const std::string& host, std::int32_t productId,
                            const std::string& productGuid, const std::string& version);

// The address to open for an answer of the update service, or nothing. An answer whose first
// four characters are "http" in any case is cut after the first "exe" (any case); the result is
// opened only when it is an absolute http:// or https:// address with a host, so that no answer
// can make the shell start a local program. An answer without "exe" opens nothing.
std::optional<std::string> DownloadAddress(const std::string& answer);

// "major.minor.revision.0", each number in decimal without leading zeros.
std::string VersionText(int major, int minor, int revision);

}  // namespace update
