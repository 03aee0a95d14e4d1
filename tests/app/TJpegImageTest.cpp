#include <gtest/gtest.h>

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QTemporaryDir>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <random>
#include <vector>

// clang-format off
#include <jpeglib.h>
// clang-format on

#include "TJpegImage.h"

namespace {

// The shipped pictures in the source tree (a relative __FILE__ would depend on the test's folder).
QString RecomFolder() {
    return QStringLiteral(TARNWICK_DATA_DIR "/recom");
}

struct TRgb {
    int R, G, B;
};

// Encodes a test picture with libjpeg's compressor. Pixel(x, y) gives Components bytes.
QByteArray EncodeJpeg(int Width, int Height, J_COLOR_SPACE Space, int Components,
                      const std::function<std::vector<unsigned char>(int, int)>& Pixel,
                      bool Progressive = false) {
    jpeg_compress_struct info{};
    jpeg_error_mgr error{};
    info.err = jpeg_std_error(&error);
    jpeg_create_compress(&info);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&info, &buffer, &size);
    info.image_width = static_cast<JDIMENSION>(Width);
    info.image_height = static_cast<JDIMENSION>(Height);
    info.input_components = Components;
    info.in_color_space = Space;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, 95, TRUE);
    if (Progressive) jpeg_simple_progression(&info);
    jpeg_start_compress(&info, TRUE);
    std::vector<unsigned char> line(static_cast<std::size_t>(Width * Components));
    while (info.next_scanline < info.image_height) {
        for (int x = 0; x < Width; ++x) {
            const std::vector<unsigned char> p = Pixel(x, static_cast<int>(info.next_scanline));
            std::copy(p.begin(), p.end(), line.begin() + x * Components);
        }
        JSAMPROW row = line.data();
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    QByteArray result(reinterpret_cast<const char*>(buffer), static_cast<qsizetype>(size));
    std::free(buffer);
    return result;
}

// Four coloured quadrants; odd sizes so that lines are padded inside the QImage.
QByteArray QuadrantJpeg(bool Progressive = false) {
    return EncodeJpeg(
        37, 23, JCS_RGB, 3,
        [](int x, int y) -> std::vector<unsigned char> {
            if (y < 11)
                return x < 18 ? std::vector<unsigned char>{230, 20, 20}
                              : std::vector<unsigned char>{20, 200, 30};
            return x < 18 ? std::vector<unsigned char>{30, 40, 220}
                          : std::vector<unsigned char>{250, 250, 250};
        },
        Progressive);
}

::testing::AssertionResult ColourNear(const QImage& Image, int X, int Y, TRgb Expected,
                                      int Tolerance = 16) {
    const QColor c = Image.pixelColor(X, Y);
    if (std::abs(c.red() - Expected.R) <= Tolerance &&
        std::abs(c.green() - Expected.G) <= Tolerance &&
        std::abs(c.blue() - Expected.B) <= Tolerance)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "pixel (" << X << "," << Y << ") is " << c.red() << ","
                                         << c.green() << "," << c.blue() << ", expected about "
                                         << Expected.R << "," << Expected.G << "," << Expected.B;
}

// Rewrites the size in the frame header (SOF0 or SOF2) of a JPEG.
QByteArray WithAnnouncedSize(QByteArray Jpeg, int Width, int Height) {
    for (qsizetype i = 2; i + 9 < Jpeg.size(); ++i) {
        const auto marker = static_cast<unsigned char>(Jpeg[i + 1]);
        if (static_cast<unsigned char>(Jpeg[i]) == 0xFF && (marker == 0xC0 || marker == 0xC2)) {
            Jpeg[i + 5] = static_cast<char>(Height >> 8);
            Jpeg[i + 6] = static_cast<char>(Height & 0xFF);
            Jpeg[i + 7] = static_cast<char>(Width >> 8);
            Jpeg[i + 8] = static_cast<char>(Width & 0xFF);
            return Jpeg;
        }
    }
    ADD_FAILURE() << "no frame header found";
    return Jpeg;
}

TEST(TJpegImageTest, ShippedPicturesDecodeWithTheirSizeAndBlueBackground) {
    struct TPicture {
        const char* Name;
        QSize Size;
    };
    for (const TPicture& picture :
         {TPicture{"banner.jpg", {744, 57}}, TPicture{"about.jpg", {360, 120}},
          TPicture{"tip.jpg", {120, 120}}}) {
        SCOPED_TRACE(picture.Name);
        const QString file = QDir(RecomFolder()).filePath(QString::fromLatin1(picture.Name));
        QString error;
        const QImage image = LoadJpeg(file, &error);
        ASSERT_FALSE(image.isNull()) << error.toStdString();
        EXPECT_TRUE(error.isEmpty());
        EXPECT_EQ(image.format(), QImage::Format_RGB888);
        EXPECT_EQ(image.size(), picture.Size);
        // The top-left corner is the dark end of the blue gradient.
        const QColor corner = image.pixelColor(1, 1);
        EXPECT_GT(corner.blue(), corner.red() + 40);
        EXPECT_GT(corner.blue(), corner.green() + 20);

        // Qt's own JPEG reader, where installed, must see the same picture.
        QImageReader reader(file, "jpeg");
        const QImage reference = reader.read().convertToFormat(QImage::Format_RGB888);
        if (reference.isNull()) continue;
        ASSERT_EQ(reference.size(), image.size());
        int worst = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x) {
                const QColor a = image.pixelColor(x, y), b = reference.pixelColor(x, y);
                worst = std::max({worst, std::abs(a.red() - b.red()),
                                  std::abs(a.green() - b.green()), std::abs(a.blue() - b.blue())});
            }
        EXPECT_LE(worst, 8);
    }
}

TEST(TJpegImageTest, DecodesColourGreyAndCmykPictures) {
    for (bool progressive : {false, true}) {
        SCOPED_TRACE(progressive ? "progressive" : "baseline");
        const QImage image = DecodeJpeg(QuadrantJpeg(progressive));
        ASSERT_FALSE(image.isNull());
        EXPECT_EQ(image.size(), QSize(37, 23));
        EXPECT_TRUE(ColourNear(image, 4, 4, {230, 20, 20}));
        EXPECT_TRUE(ColourNear(image, 30, 4, {20, 200, 30}));
        EXPECT_TRUE(ColourNear(image, 4, 19, {30, 40, 220}));
        EXPECT_TRUE(ColourNear(image, 33, 19, {250, 250, 250}));
    }

    // A grey gradient from left to right comes out as equal red, green and blue.
    const QImage grey = DecodeJpeg(EncodeJpeg(64, 9, JCS_GRAYSCALE, 1, [](int x, int) {
        return std::vector<unsigned char>{static_cast<unsigned char>(x * 4)};
    }));
    ASSERT_FALSE(grey.isNull());
    EXPECT_EQ(grey.format(), QImage::Format_RGB888);
    EXPECT_EQ(grey.size(), QSize(64, 9));
    EXPECT_TRUE(ColourNear(grey, 5, 4, {20, 20, 20}, 6));
    EXPECT_TRUE(ColourNear(grey, 40, 4, {160, 160, 160}, 6));

    // CMYK as Adobe writes it (inverted, with its marker): full magenta and yellow make red,
    // no ink at all makes white.
    const QImage cmyk = DecodeJpeg(EncodeJpeg(32, 16, JCS_CMYK, 4, [](int x, int) {
        return x < 16 ? std::vector<unsigned char>{255, 0, 0, 255}
                      : std::vector<unsigned char>{255, 255, 255, 255};
    }));
    ASSERT_FALSE(cmyk.isNull());
    EXPECT_EQ(cmyk.size(), QSize(32, 16));
    EXPECT_TRUE(ColourNear(cmyk, 4, 8, {255, 0, 0}));
    EXPECT_TRUE(ColourNear(cmyk, 28, 8, {255, 255, 255}));
}

TEST(TJpegImageTest, MissingEmptyAndForeignFilesGiveNullImages) {
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    QString error;
    EXPECT_TRUE(LoadJpeg(folder.filePath(QStringLiteral("missing.jpg")), &error).isNull());
    EXPECT_FALSE(error.isEmpty());
    EXPECT_TRUE(LoadJpeg(folder.path()).isNull());  // a folder

    const QString empty = folder.filePath(QStringLiteral("empty.jpg"));
    QFile(empty).open(QIODevice::WriteOnly);
    EXPECT_TRUE(LoadJpeg(empty).isNull());
    EXPECT_TRUE(DecodeJpeg(QByteArray()).isNull());

    // A PNG picture under any name is no JPEG.
    QImage picture(8, 8, QImage::Format_RGB32);
    picture.fill(Qt::red);
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    ASSERT_TRUE(picture.save(&buffer, "PNG"));
    EXPECT_TRUE(DecodeJpeg(png, &error).isNull());
    EXPECT_FALSE(error.isEmpty());

    // A device that never ends is read only up to the limit.
    if (QFileInfo::exists(QStringLiteral("/dev/zero"))) {
        EXPECT_TRUE(LoadJpeg(QStringLiteral("/dev/zero"), &error).isNull());
        EXPECT_EQ(error, QStringLiteral("file too large"));
    }
}

TEST(TJpegImageTest, EveryTruncationIsRefused) {
    // libjpeg alone would pad a cut picture with grey and report success.
    for (bool progressive : {false, true}) {
        const QByteArray jpeg = QuadrantJpeg(progressive);
        ASSERT_FALSE(DecodeJpeg(jpeg).isNull());
        for (qsizetype length = 0; length < jpeg.size(); ++length)
            EXPECT_TRUE(DecodeJpeg(jpeg.left(length)).isNull())
                << "cut at " << length << " of " << jpeg.size();
    }
}

TEST(TJpegImageTest, RandomAndDamagedDataNeverCrash) {
    std::mt19937 random(20240607);
    std::uniform_int_distribution<int> byte(0, 255);
    for (int round = 0; round < 50; ++round) {
        QByteArray noise(1 + round * 37, '\0');
        for (char& c : noise) c = static_cast<char>(byte(random));
        EXPECT_TRUE(DecodeJpeg(noise).isNull());
        // Also with a JPEG start marker, so libjpeg reads on into the noise.
        noise.prepend(QByteArray("\xFF\xD8\xFF\xDB", 4));
        EXPECT_TRUE(DecodeJpeg(noise).isNull());
    }

    // Damaged copies of a good picture: each either fails or keeps the announced size.
    const QByteArray jpeg = QuadrantJpeg();
    std::uniform_int_distribution<qsizetype> place(2, jpeg.size() - 1);
    int refused = 0;
    for (int round = 0; round < 300; ++round) {
        QByteArray damaged = jpeg;
        for (int i = 0; i < 1 + round % 4; ++i)
            damaged[place(random)] = static_cast<char>(byte(random));
        const QImage image = DecodeJpeg(damaged);
        if (image.isNull())
            ++refused;
        else
            EXPECT_EQ(image.size(), QSize(37, 23));
    }
    EXPECT_GT(refused, 0);
}

TEST(TJpegImageTest, HugeAnnouncedSizesAreRefusedBeforeDecoding) {
    const QByteArray jpeg = QuadrantJpeg();
    QString error;
    // 60000 x 60000 would need about 10 GB as RGB.
    EXPECT_TRUE(DecodeJpeg(WithAnnouncedSize(jpeg, 60000, 60000), &error).isNull());
    EXPECT_EQ(error, QStringLiteral("picture too large: 60000 x 60000"));
    // Each side within the limit, the pixel count not.
    EXPECT_TRUE(DecodeJpeg(WithAnnouncedSize(jpeg, MaxJpegSide, MaxJpegSide), &error).isNull());
    EXPECT_TRUE(error.startsWith(QStringLiteral("picture too large")));
    EXPECT_TRUE(DecodeJpeg(WithAnnouncedSize(jpeg, 20000, 10), &error).isNull());
    EXPECT_TRUE(error.startsWith(QStringLiteral("picture too large")));
    // Below the limits the size is accepted, and the missing data is what fails.
    EXPECT_TRUE(DecodeJpeg(WithAnnouncedSize(jpeg, 4000, 3000), &error).isNull());
    EXPECT_FALSE(error.startsWith(QStringLiteral("picture too large")));
    EXPECT_FALSE(error.isEmpty());
}

}  // namespace
