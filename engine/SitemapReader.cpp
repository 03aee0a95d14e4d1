#include "SitemapReader.h"

#include <QByteArray>
#include <QXmlStreamReader>

#include <zlib.h>

#include <algorithm>

#include "AsciiCase.h"

namespace {

const QString kSitemapNamespace = QStringLiteral("http://www.sitemaps.org/schemas/sitemap/0.9");

std::string Megabytes(std::size_t Bytes) {
    return std::to_string(Bytes / (1024 * 1024)) + " MB";
}

// Ends the inflate stream on every way out.
class TInflater {
public:
    TInflater() { m_ok = inflateInit2(&m_stream, 16 + MAX_WBITS) == Z_OK; }
    ~TInflater() {
        if (m_ok) inflateEnd(&m_stream);
    }
    TInflater(const TInflater&) = delete;
    TInflater& operator=(const TInflater&) = delete;
    bool Ok() const { return m_ok; }
    z_stream& Stream() { return m_stream; }

private:
    z_stream m_stream{};
    bool m_ok = false;
};

bool IsWebLocation(const std::string& Url) {
    const std::string head = AsciiLowerCase(std::string_view(Url).substr(0, 8));
    return head.rfind("http://", 0) == 0 || head.rfind("https://", 0) == 0;
}

// Reads the elements below the root: the <loc> of each <url> (or <sitemap>) of the namespace.
class TSitemapWalk {
public:
    TSitemapWalk(QXmlStreamReader& Xml, TSitemap& Out) : m_xml(Xml), m_out(Out) {}

    void Run() {
        int depth = 1;  // the root element has been read
        bool inEntry = false;
        const QString entryName =
            m_out.Kind == TSitemapKind::UrlSet ? QStringLiteral("url") : QStringLiteral("sitemap");
        while (!m_xml.atEnd() && !m_full) {
            const QXmlStreamReader::TokenType token = m_xml.readNext();
            if (token == QXmlStreamReader::EndElement) {
                if (--depth < 2) inEntry = false;
                continue;
            }
            if (token != QXmlStreamReader::StartElement) continue;
            ++depth;
            const bool ours = m_xml.namespaceUri() == kSitemapNamespace;
            if (depth == 2) {
                inEntry = ours && m_xml.name() == entryName;
            } else if (depth == 3 && inEntry && ours && m_xml.name() == QStringLiteral("loc")) {
                const QString text = m_xml.readElementText();
                --depth;  // its end element has been read with it
                if (!m_xml.hasError()) Take(text.trimmed().toStdString());
            }
        }
        if (m_dropped > 0)
            m_out.Problems.push_back(std::to_string(m_dropped) +
                                     (m_dropped == 1 ? " location" : " locations") +
                                     " dropped: not an http or https URL of at most " +
                                     std::to_string(kSitemapMaxUrlLength) + " bytes");
    }

private:
    void Take(std::string Url) {
        if (Url.size() > kSitemapMaxUrlLength || !IsWebLocation(Url)) {
            ++m_dropped;
            return;
        }
        if (m_out.Locations.size() == kSitemapMaxUrls) {
            m_full = true;
            m_out.Problems.push_back("more than " + std::to_string(kSitemapMaxUrls) +
                                     " locations: the rest is not read");
            return;
        }
        m_out.Locations.push_back(std::move(Url));
    }

    QXmlStreamReader& m_xml;
    TSitemap& m_out;
    std::size_t m_dropped = 0;
    bool m_full = false;
};

}  // namespace

bool IsGzip(std::string_view Body) {
    return Body.size() >= 2 && static_cast<unsigned char>(Body[0]) == 0x1f &&
           static_cast<unsigned char>(Body[1]) == 0x8b;
}

void InflateGzip(std::string_view Body, std::size_t MaxBytes, std::string& Out,
                 std::string& Problem) {
    Out.clear();
    Problem.clear();
    TInflater inflater;
    if (!inflater.Ok()) {
        Problem = "cannot inflate gzip data";
        return;
    }
    z_stream& zs = inflater.Stream();
    zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(Body.data()));
    zs.avail_in = static_cast<uInt>(std::min<std::size_t>(Body.size(), UINT32_MAX));
    constexpr std::size_t kChunk = 64 * 1024;
    while (true) {
        if (Out.size() >= MaxBytes) {
            Problem = "larger than " + Megabytes(MaxBytes) + " uncompressed: only its first " +
                      Megabytes(MaxBytes) + " are read";
            return;
        }
        const std::size_t had = Out.size();
        const std::size_t room = std::min(kChunk, MaxBytes - had);
        Out.resize(had + room);
        zs.next_out = reinterpret_cast<Bytef*>(Out.data() + had);
        zs.avail_out = static_cast<uInt>(room);
        const int result = inflate(&zs, Z_NO_FLUSH);
        Out.resize(had + room - zs.avail_out);
        if (result == Z_STREAM_END) {
            // gzip files may be several members one after the other.
            const std::string_view rest(reinterpret_cast<const char*>(zs.next_in), zs.avail_in);
            if (!IsGzip(rest) || inflateReset(&zs) != Z_OK) return;
            continue;
        }
        if (result == Z_BUF_ERROR && zs.avail_in == 0) {
            Problem = "gzip data cut short";
            return;
        }
        if (result != Z_OK && result != Z_BUF_ERROR) {
            Problem = "bad gzip data";
            return;
        }
    }
}

TSitemap ReadSitemap(std::string_view Body) {
    TSitemap out;
    std::string inflated;
    if (IsGzip(Body)) {
        std::string problem;
        InflateGzip(Body, kSitemapMaxBytes, inflated, problem);
        if (!problem.empty()) out.Problems.push_back(problem);
        Body = inflated;
    } else if (Body.size() > kSitemapMaxBytes) {
        Body = Body.substr(0, kSitemapMaxBytes);
        out.Problems.push_back("larger than " + Megabytes(kSitemapMaxBytes) + ": only its first " +
                               Megabytes(kSitemapMaxBytes) + " are read");
    }
    // No copy: the reader works on the bytes where they are.
    const QByteArray bytes =
        QByteArray::fromRawData(Body.data(), static_cast<qsizetype>(Body.size()));
    QXmlStreamReader xml(bytes);
    while (!xml.atEnd() && !xml.isStartElement()) xml.readNext();
    if (xml.isStartElement()) {
        const bool ours = xml.namespaceUri() == kSitemapNamespace;
        if (ours && xml.name() == QStringLiteral("urlset"))
            out.Kind = TSitemapKind::UrlSet;
        else if (ours && xml.name() == QStringLiteral("sitemapindex"))
            out.Kind = TSitemapKind::Index;
        if (out.Kind == TSitemapKind::None) {
            out.Problems.push_back("not a sitemap: its root element is <" +
                                   xml.qualifiedName().toString().toStdString() +
                                   "> of namespace \"" +
                                   xml.namespaceUri().toString().toStdString() + "\"");
            return out;
        }
        TSitemapWalk(xml, out).Run();
    }
    if (xml.hasError())
        out.Problems.push_back(
            "bad XML at line " + std::to_string(xml.lineNumber()) + ": " +
            xml.errorString().toStdString() +
            "; locations read before it are kept: " + std::to_string(out.Locations.size()));
    return out;
}
