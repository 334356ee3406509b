#include "office/clipboard.h"

namespace office {

Clipboard& Clipboard::instance() {
    static Clipboard clipboard;
    return clipboard;
}

}  // namespace office
