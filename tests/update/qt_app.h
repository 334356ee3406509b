#pragma once

#include <QCoreApplication>

namespace testing_support {

// The process's Qt application, made on first use: the network fetch runs an event loop.
inline QCoreApplication& qtApplication() {
    static int argc = 1;
    static char name[] = "update_tests";
    static char* argv[] = {name, nullptr};
    static QCoreApplication application(argc, argv);
    return application;
}

}  // namespace testing_support
