#pragma once

// The internet transfer component: a synchronous HTTP GET that returns the whole body as text.

#include <string>

class Inet {
public:
    // Seconds the fetch waits for the service before it gives up.
    int RequestTimeout = 60;

    // Fetches `url` and returns the response body. A fetch that fails (no network, refused,
    // time-out, an HTTP error status) gives the empty text.
    std::string OpenURL(const std::string& url) const;
};
