#include "TJpegImage.h"

#include <QFile>
#include <csetjmp>
#include <cstddef>
#include <cstdio>

// jpeglib.h needs FILE and size_t declared before it.
#include <jerror.h>
#include <jpeglib.h>

namespace {

// A progressive picture may hold any number of scans and each costs a pass over the whole
// picture; real files have about ten.
constexpr int MaxJpegScans = 1000;

// libjpeg reports errors by calling error_exit, which must not return. We jump back to the
// setjmp of the libjpeg call in progress. The frames holding a setjmp (the Stage functions
// below) own no C++ object with a destructor, so the jump skips no destructor.
struct TJpegError {
    jpeg_error_mgr Manager;  // first member: libjpeg hands us a pointer to it
    std::jmp_buf Jump;
    char Message[JMSG_LENGTH_MAX];
};

TJpegError* ErrorOf(j_common_ptr Info) {
    return reinterpret_cast<TJpegError*>(Info->err);
}

[[noreturn]] void ErrorExit(j_common_ptr Info) {
    TJpegError* error = ErrorOf(Info);
    (*Info->err->format_message)(Info, error->Message);
    std::longjmp(error->Jump, 1);
}

// Level -1 is a warning about damaged data (premature end, bad Huffman code, ...); libjpeg would
// carry on and return a partly grey picture, so it ends decoding like an error. Trace messages
// (level >= 0) are dropped.
void EmitMessage(j_common_ptr Info, int Level) {
    if (Level < 0) ErrorExit(Info);
}

// The default writes to standard error; a bad picture is reported through the result instead.
void OutputMessage(j_common_ptr) {}

void ProgressMonitor(j_common_ptr Info) {
    if (!Info->is_decompressor) return;
    if (reinterpret_cast<j_decompress_ptr>(Info)->input_scan_number > MaxJpegScans) {
        TJpegError* error = ErrorOf(Info);
        std::snprintf(error->Message, sizeof error->Message, "too many scans (more than %d)",
                      MaxJpegScans);
        std::longjmp(error->Jump, 1);
    }
}

// Owns one decompressor: jpeg_destroy_decompress runs on every path, also after a jump.
class TDecompressor {
public:
    TDecompressor() {
        Info_.err = jpeg_std_error(&Error_.Manager);
        Error_.Manager.error_exit = ErrorExit;
        Error_.Manager.emit_message = EmitMessage;
        Error_.Manager.output_message = OutputMessage;
        Error_.Message[0] = '\0';
        Progress_.progress_monitor = ProgressMonitor;
    }
    ~TDecompressor() {
        // Safe also when creation failed: libjpeg only frees what its memory manager holds.
        jpeg_destroy_decompress(&Info_);
    }
    TDecompressor(const TDecompressor&) = delete;
    TDecompressor& operator=(const TDecompressor&) = delete;

    // Each stage returns false when libjpeg reported an error; Message() then says which.
    bool StageReadHeader(const unsigned char* Data, unsigned long Size) {
        if (setjmp(Error_.Jump)) return false;
        jpeg_create_decompress(&Info_);
        Info_.progress = &Progress_;
        jpeg_mem_src(&Info_, Data, Size);
        jpeg_read_header(&Info_, TRUE);
        return true;
    }

    // Chooses the output colour space; for CMYK and YCCK libjpeg cannot give RGB, so we take
    // CMYK and convert each line ourselves.
    void ChooseOutput() {
        IsCmyk_ = Info_.jpeg_color_space == JCS_CMYK || Info_.jpeg_color_space == JCS_YCCK;
        Info_.out_color_space = IsCmyk_ ? JCS_CMYK : JCS_RGB;
        Info_.scale_num = 1;
        Info_.scale_denom = 1;
    }

    bool StageStart() {
        if (setjmp(Error_.Jump)) return false;
        jpeg_start_decompress(&Info_);
        // libjpeg's line buffer for CMYK, freed with the decompressor.
        if (IsCmyk_)
            CmykLine_ = (*Info_.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&Info_),
                                                   JPOOL_IMAGE, Info_.output_width * 4, 1);
        return true;
    }

    // Writes the picture into Bits, one line every BytesPerLine bytes.
    bool StageReadLines(unsigned char* Bits, std::ptrdiff_t BytesPerLine) {
        if (setjmp(Error_.Jump)) return false;
        while (Info_.output_scanline < Info_.output_height) {
            unsigned char* line = Bits + BytesPerLine * Info_.output_scanline;
            if (!IsCmyk_) {
                JSAMPROW row = line;
                jpeg_read_scanlines(&Info_, &row, 1);
                continue;
            }
            jpeg_read_scanlines(&Info_, CmykLine_, 1);
            CmykToRgb(CmykLine_[0], line, Info_.output_width);
        }
        jpeg_finish_decompress(&Info_);
        return true;
    }

    const jpeg_decompress_struct& Info() const { return Info_; }
    QString Message() const { return QString::fromLocal8Bit(Error_.Message); }

private:
    // Adobe's writers store CMYK inverted (0 = full ink) and mark the file with their APP14
    // marker; other writers store plain CMYK. No colour management: the pictures are ours.
    void CmykToRgb(const unsigned char* Cmyk, unsigned char* Rgb, unsigned Width) const {
        const bool inverted = Info_.saw_Adobe_marker;
        for (unsigned x = 0; x < Width; ++x, Cmyk += 4, Rgb += 3) {
            const unsigned k = inverted ? Cmyk[3] : 255u - Cmyk[3];
            for (int c = 0; c < 3; ++c) {
                const unsigned ink = inverted ? Cmyk[c] : 255u - Cmyk[c];
                Rgb[c] = static_cast<unsigned char>((ink * k + 127) / 255);
            }
        }
    }

    jpeg_decompress_struct Info_{};
    TJpegError Error_{};
    jpeg_progress_mgr Progress_{};
    JSAMPARRAY CmykLine_ = nullptr;
    bool IsCmyk_ = false;
};

void SetError(QString* ErrorText, const QString& Text) {
    if (ErrorText) *ErrorText = Text;
}

}  // namespace

QImage DecodeJpeg(const QByteArray& Data, QString* ErrorText) {
    SetError(ErrorText, {});
    if (Data.isEmpty()) {
        SetError(ErrorText, QStringLiteral("empty picture data"));
        return {};
    }
    TDecompressor decompressor;
    if (!decompressor.StageReadHeader(reinterpret_cast<const unsigned char*>(Data.constData()),
                                      static_cast<unsigned long>(Data.size()))) {
        SetError(ErrorText, decompressor.Message());
        return {};
    }
    // Checked before jpeg_start_decompress, which allocates per the announced size.
    const std::int64_t width = decompressor.Info().image_width;
    const std::int64_t height = decompressor.Info().image_height;
    if (width <= 0 || height <= 0 || width > MaxJpegSide || height > MaxJpegSide ||
        width * height > MaxJpegPixels) {
        SetError(ErrorText, QStringLiteral("picture too large: %1 x %2").arg(width).arg(height));
        return {};
    }
    decompressor.ChooseOutput();
    if (!decompressor.StageStart()) {
        SetError(ErrorText, decompressor.Message());
        return {};
    }
    const jpeg_decompress_struct& info = decompressor.Info();
    if (info.output_components != (info.out_color_space == JCS_CMYK ? 4 : 3) ||
        info.output_width != width || info.output_height != height) {
        SetError(ErrorText, QStringLiteral("unexpected output layout"));
        return {};
    }
    QImage image(static_cast<int>(width), static_cast<int>(height), QImage::Format_RGB888);
    if (image.isNull()) {  // Qt could not allocate it
        SetError(ErrorText, QStringLiteral("out of memory"));
        return {};
    }
    if (!decompressor.StageReadLines(image.bits(), image.bytesPerLine())) {
        SetError(ErrorText, decompressor.Message());
        return {};
    }
    return image;
}

QImage LoadJpeg(const QString& FileName, QString* ErrorText) {
    QFile file(FileName);
    if (!file.open(QIODevice::ReadOnly)) {
        SetError(ErrorText, file.errorString());
        return {};
    }
    // Read one byte more than allowed to tell a file at the limit from a larger one; this also
    // bounds endless devices.
    const QByteArray data = file.read(MaxJpegFileBytes + 1);
    if (data.size() > MaxJpegFileBytes) {
        SetError(ErrorText, QStringLiteral("file too large"));
        return {};
    }
    return DecodeJpeg(data, ErrorText);
}
