#pragma once
// JPEG pictures of the window (banner, about picture, hint picture), decoded by calling libjpeg
// directly. A missing, empty, truncated, corrupt or oversized picture gives a null QImage, so the
// caller shows an empty area; nothing here throws or aborts.

#include <QByteArray>
#include <QImage>
#include <QString>
#include <cstdint>

// A header may announce any size up to 65535 x 65535; these limits keep a hostile file from
// making us allocate gigabytes. They are checked before libjpeg allocates the picture's buffers.
inline constexpr int MaxJpegSide = 16384;
inline constexpr std::int64_t MaxJpegPixels = 40'000'000;  // about 120 MB as RGB888
// The largest file LoadJpeg reads; the shipped pictures are a few kilobytes.
inline constexpr std::int64_t MaxJpegFileBytes = 64 * 1024 * 1024;

// Decodes a JPEG held in memory into a QImage::Format_RGB888 picture. Grey, YCbCr, RGB, CMYK and
// YCCK input are accepted. Any libjpeg warning counts as a failure, because libjpeg otherwise
// pads a truncated or damaged picture with grey and calls it good. On failure returns a null
// image and, when ErrorText is given, sets it to libjpeg's message or the refusal's reason.
QImage DecodeJpeg(const QByteArray& Data, QString* ErrorText = nullptr);

// Reads FileName (at most MaxJpegFileBytes) and decodes it as DecodeJpeg does.
QImage LoadJpeg(const QString& FileName, QString* ErrorText = nullptr);
