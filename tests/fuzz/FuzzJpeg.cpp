// The window's JPEG decoder on arbitrary bytes: it either refuses with a reason or returns a
// picture within the size limits, in the one format the window draws.

#include <QByteArray>
#include <QImage>
#include <QString>
#include <cstdint>

#include "FuzzCheck.h"
#include "TJpegImage.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
    const QByteArray input(reinterpret_cast<const char*>(Data), static_cast<qsizetype>(Size));
    QString error = QStringLiteral("stale");
    const QImage image = DecodeJpeg(input, &error);
    if (image.isNull()) {
        FUZZ_CHECK(!error.isEmpty() && error != "stale");
        return 0;
    }
    FUZZ_CHECK(error.isEmpty());
    FUZZ_CHECK(image.format() == QImage::Format_RGB888);
    FUZZ_CHECK(image.width() > 0 && image.height() > 0);
    FUZZ_CHECK(image.width() <= MaxJpegSide && image.height() <= MaxJpegSide);
    FUZZ_CHECK(std::int64_t{image.width()} * image.height() <= MaxJpegPixels);
    // Touch the last pixel row, so that a picture shorter than announced shows up under ASan.
    const uchar* last = image.constScanLine(image.height() - 1);
    volatile uchar sink = last[3 * image.width() - 1];
    (void)sink;
    return 0;
}
