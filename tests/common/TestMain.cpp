#include <gtest/gtest.h>

#include <QCoreApplication>
#include <cstdlib>

#include "CurlSupport.h"

// Tests talk only to servers on 127.0.0.1; a proxy of the machine's environment must not
// stand between them and the engine.
int main(int argc, char** argv) {
    for (const char* name : {"http_proxy", "https_proxy", "HTTP_PROXY", "HTTPS_PROXY", "all_proxy",
                             "ALL_PROXY", "no_proxy", "NO_PROXY"})
        unsetenv(name);
    TCurlGlobal curl;
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
