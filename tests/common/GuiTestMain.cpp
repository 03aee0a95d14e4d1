#include <gtest/gtest.h>

#include <QApplication>
#include <cstdlib>

#include "CurlSupport.h"

// Window and desktop tests need a QApplication; they run on the offscreen platform.
int main(int argc, char** argv) {
    for (const char* name : {"http_proxy", "https_proxy", "HTTP_PROXY", "HTTPS_PROXY", "all_proxy",
                             "ALL_PROXY", "no_proxy", "NO_PROXY"})
        unsetenv(name);
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    TCurlGlobal curl;
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
