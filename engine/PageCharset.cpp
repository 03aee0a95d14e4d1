#include "PageCharset.h"

#include <QStringDecoder>
#include <QStringEncoder>

#include <algorithm>
#include <iterator>
#include <optional>
#include <vector>

#include "AsciiCase.h"
#include "HtmlSpace.h"
#include "TextBytes.h"
#include "UrlEncoding.h"

namespace {

struct TLabel {
    std::string_view Label, Encoding;
};

constexpr TLabel kLabels[] = {
#include "EncodingLabels.inc"
};

constexpr std::size_t kPrescanBytes = 1024;
constexpr std::string_view kReplacement = "\xEF\xBF\xBD";

bool IsAsciiLetter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// The name ICU knows the WHATWG encoding by, where the two differ: the WHATWG encodings are the
// Microsoft supersets that browsers decode under the older names.
const char* DecoderName(std::string_view Encoding) {
    if (Encoding == "Shift_JIS") return "windows-31j";
    if (Encoding == "EUC-KR") return "windows-949";
    if (Encoding == "Big5") return "Big5-HKSCS";
    if (Encoding == "GBK") return "gb18030";
    if (Encoding == "ISO-8859-8-I") return "ISO-8859-8";
    return nullptr;
}

std::string IcuName(std::string_view Encoding) {
    const char* other = DecoderName(Encoding);
    return other ? std::string(other) : std::string(Encoding);
}

// The most common 8-bit encoding by far, decoded without a converter.
std::string DecodeWindows1252(std::string_view Bytes) {
    std::string out;
    out.reserve(Bytes.size() + Bytes.size() / 8);
    for (const char c : Bytes) {
        const auto b = static_cast<unsigned char>(c);
        AppendUtf8(Windows1252CodePoint(b), out);
    }
    return out;
}

// x-user-defined puts the upper half of the bytes into a private-use block.
std::string DecodeUserDefined(std::string_view Bytes) {
    std::string out;
    out.reserve(Bytes.size());
    for (const char c : Bytes) {
        const auto b = static_cast<unsigned char>(c);
        AppendUtf8(b < 0x80 ? char32_t{b} : char32_t{0xF780} + (b - 0x80), out);
    }
    return out;
}

// UTF-8 as the Encoding Standard decodes it: each maximal part of a broken sequence becomes one
// U+FFFD.
std::string DecodeUtf8(std::string_view Bytes) {
    std::string out;
    out.reserve(Bytes.size());
    for (std::size_t at = 0; at < Bytes.size();) {
        const auto lead = static_cast<unsigned char>(Bytes[at]);
        std::size_t need = 0;
        unsigned char low = 0x80, high = 0xBF;
        if (lead < 0x80) {
            out += Bytes[at++];
            continue;
        }
        if (lead >= 0xC2 && lead <= 0xDF) {
            need = 1;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            need = 2;
            if (lead == 0xE0) low = 0xA0;
            if (lead == 0xED) high = 0x9F;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            need = 3;
            if (lead == 0xF0) low = 0x90;
            if (lead == 0xF4) high = 0x8F;
        }
        std::size_t length = 1;
        while (length <= need && at + length < Bytes.size()) {
            const auto b = static_cast<unsigned char>(Bytes[at + length]);
            if (b < low || b > high) break;
            low = 0x80;
            high = 0xBF;
            ++length;
        }
        if (need > 0 && length == need + 1)
            out.append(Bytes.substr(at, length));
        else
            out += kReplacement;
        at += length;
    }
    return out;
}

std::string ToUtf8(const QString& Text) {
    const QByteArray utf8 = Text.toUtf8();
    return std::string(utf8.constData(), static_cast<std::size_t>(utf8.size()));
}

// Decodes with the platform's converter (ICU); false when it has none for Encoding.
bool DecodeWithConverter(std::string_view Bytes, std::string_view Encoding, std::string& Out) {
    QStringDecoder decoder;
    if (Encoding == "UTF-16LE")
        decoder = QStringDecoder(QStringConverter::Utf16LE, QStringConverter::Flag::Stateless);
    else if (Encoding == "UTF-16BE")
        decoder = QStringDecoder(QStringConverter::Utf16BE, QStringConverter::Flag::Stateless);
    else
        decoder = QStringDecoder(IcuName(Encoding).c_str(), QStringConverter::Flag::Stateless);
    if (!decoder.isValid()) return false;
    Out = ToUtf8(decoder(QByteArrayView(Bytes.data(), static_cast<qsizetype>(Bytes.size()))));
    return true;
}

std::string Decode(std::string_view Bytes, std::string_view Encoding) {
    if (Encoding == "UTF-8") return DecodeUtf8(Bytes);
    if (Encoding == "windows-1252") return DecodeWindows1252(Bytes);
    if (Encoding == "x-user-defined") return DecodeUserDefined(Bytes);
    // The encodings that can smuggle markup past a filter are read as one broken character.
    if (Encoding == "replacement") return Bytes.empty() ? "" : std::string(kReplacement);
    std::string out;
    if (DecodeWithConverter(Bytes, Encoding, out)) return out;
    return DecodeWindows1252(Bytes);
}

void DropNuls(std::string& Text) {
    if (Text.find('\0') == std::string::npos) return;
    Text.erase(std::remove(Text.begin(), Text.end(), '\0'), Text.end());
}

// An attribute as the prescan reads it: name and value lower-cased.
struct TAttribute {
    std::string Name, Value;
};

class TPrescan {
public:
    explicit TPrescan(std::string_view Bytes) : m_s(Bytes) {}
    std::string Run();

private:
    bool At(std::size_t i, char c) const { return i < m_s.size() && m_s[i] == c; }
    // Reads the next attribute of a tag; false when the tag ends or the bytes do.
    bool NextAttribute(TAttribute& A);
    std::string MetaEncoding();
    void SkipTo(char c) {
        while (m_pos < m_s.size() && m_s[m_pos] != c) ++m_pos;
    }

    std::string_view m_s;
    std::size_t m_pos = 0;
};

bool TPrescan::NextAttribute(TAttribute& A) {
    A = {};
    while (m_pos < m_s.size() && (IsHtmlSpace(m_s[m_pos]) || m_s[m_pos] == '/')) ++m_pos;
    if (m_pos >= m_s.size() || m_s[m_pos] == '>') return false;
    for (;; ++m_pos) {
        if (m_pos >= m_s.size()) return false;
        const char c = m_s[m_pos];
        if (c == '=' && !A.Name.empty()) {
            ++m_pos;
            break;
        }
        if (IsHtmlSpace(c)) {
            while (m_pos < m_s.size() && IsHtmlSpace(m_s[m_pos])) ++m_pos;
            if (!At(m_pos, '=')) return true;
            ++m_pos;
            break;
        }
        if (c == '/' || c == '>') return true;
        A.Name += AsciiLower(c);
    }
    while (m_pos < m_s.size() && IsHtmlSpace(m_s[m_pos])) ++m_pos;
    if (m_pos >= m_s.size()) return false;
    const char first = m_s[m_pos];
    if (first == '"' || first == '\'') {
        for (++m_pos; m_pos < m_s.size(); ++m_pos) {
            if (m_s[m_pos] == first) {
                ++m_pos;
                return true;
            }
            A.Value += AsciiLower(m_s[m_pos]);
        }
        return false;
    }
    if (first == '>') return true;
    for (; m_pos < m_s.size(); ++m_pos) {
        if (IsHtmlSpace(m_s[m_pos]) || m_s[m_pos] == '>') return true;
        A.Value += AsciiLower(m_s[m_pos]);
    }
    return false;
}

// The charset inside a content value such as "text/html; charset=koi8-r".
std::string CharsetInContent(std::string_view Content) {
    const std::string lower = AsciiLowerCase(Content);
    for (std::size_t from = 0;;) {
        const std::size_t at = lower.find("charset", from);
        if (at == std::string::npos) return {};
        std::size_t i = at + 7;
        while (i < Content.size() && IsHtmlSpace(Content[i])) ++i;
        if (i >= Content.size() || Content[i] != '=') {
            from = at + 7;
            continue;
        }
        ++i;
        while (i < Content.size() && IsHtmlSpace(Content[i])) ++i;
        if (i >= Content.size()) return {};
        if (Content[i] == '"' || Content[i] == '\'') {
            const std::size_t end = Content.find(Content[i], i + 1);
            return end == std::string_view::npos ? std::string()
                                                 : std::string(Content.substr(i + 1, end - i - 1));
        }
        std::size_t end = i;
        while (end < Content.size() && !IsHtmlSpace(Content[end]) && Content[end] != ';') ++end;
        return std::string(Content.substr(i, end - i));
    }
}

// The attributes of one <meta>: the encoding it declares, or "".
std::string TPrescan::MetaEncoding() {
    std::vector<std::string> seen;
    bool gotPragma = false;
    int needPragma = -1;  // unknown, false, true
    std::string charset;
    TAttribute a;
    while (NextAttribute(a)) {
        if (std::find(seen.begin(), seen.end(), a.Name) != seen.end()) continue;
        seen.push_back(a.Name);
        if (a.Name == "http-equiv") {
            gotPragma = gotPragma || a.Value == "content-type";
        } else if (a.Name == "content" && charset.empty()) {
            const std::string found = EncodingOfLabel(CharsetInContent(a.Value));
            if (!found.empty()) {
                charset = found;
                needPragma = 1;
            }
        } else if (a.Name == "charset") {
            charset = EncodingOfLabel(a.Value);
            needPragma = 0;
        }
    }
    if (needPragma < 0 || (needPragma == 1 && !gotPragma) || charset.empty()) return {};
    if (charset == "UTF-16LE" || charset == "UTF-16BE") return "UTF-8";
    if (charset == "x-user-defined") return "windows-1252";
    return charset;
}

std::string TPrescan::Run() {
    for (; m_pos < m_s.size(); ++m_pos) {
        m_pos = m_s.find('<', m_pos);
        if (m_pos == std::string_view::npos) return {};
        if (AsciiStartsWithNoCase(m_s.substr(m_pos), "<!--")) {
            // The comment ends at the first "-->", whose dashes may be those of "<!--".
            const std::size_t end = m_s.find("-->", m_pos + 2);
            if (end == std::string_view::npos) return {};
            m_pos = end + 2;
        } else if (AsciiStartsWithNoCase(m_s.substr(m_pos), "<meta") && m_pos + 5 < m_s.size() &&
                   (IsHtmlSpace(m_s[m_pos + 5]) || m_s[m_pos + 5] == '/')) {
            m_pos += 5;
            std::string found = MetaEncoding();
            if (!found.empty()) return found;
            if (m_pos >= m_s.size()) return {};
        } else if (const std::size_t name = At(m_pos + 1, '/') ? m_pos + 2 : m_pos + 1;
                   name < m_s.size() && IsAsciiLetter(m_s[name])) {
            // Another tag: its attributes are read past, so a ">" in a quoted value does not
            // end it.
            while (m_pos < m_s.size() && !IsHtmlSpace(m_s[m_pos]) && m_s[m_pos] != '>') ++m_pos;
            TAttribute ignored;
            while (NextAttribute(ignored)) {
            }
            if (m_pos >= m_s.size()) return {};
        } else if (At(m_pos + 1, '!') || At(m_pos + 1, '/') || At(m_pos + 1, '?')) {
            SkipTo('>');
        }
    }
    return {};
}

// Characters of the query that the URL Standard percent-encodes for special schemes.
bool InQueryEncodeSet(unsigned char b) {
    return b <= 0x20 || b >= 0x7F || b == '"' || b == '#' || b == '<' || b == '>' || b == '\'';
}

void AppendPercentEncoded(std::string& Out, std::string_view Bytes) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    for (const char c : Bytes) {
        const auto b = static_cast<unsigned char>(c);
        if (!InQueryEncodeSet(b)) {
            Out += c;
            continue;
        }
        Out += '%';
        Out += kHex[b >> 4];
        Out += kHex[b & 0x0F];
    }
}

// A run of characters outside ASCII in Encoding; those it lacks as "&#N;".
std::string EncodeRun(const QString& Run, QStringEncoder& Encoder) {
    std::string out;
    for (qsizetype i = 0; i < Run.size();) {
        const qsizetype length = Run[i].isHighSurrogate() && i + 1 < Run.size() ? 2 : 1;
        const QString character = Run.mid(i, length);
        Encoder.resetState();
        const QByteArray bytes = Encoder(character);
        if (Encoder.hasError() || bytes.isEmpty())
            out += "&#" +
                   std::to_string(length == 2 ? QChar::surrogateToUcs4(Run[i], Run[i + 1])
                                              : char32_t{Run[i].unicode()}) +
                   ";";
        else
            out.append(bytes.constData(), static_cast<std::size_t>(bytes.size()));
        i += length;
    }
    return out;
}

}  // namespace

std::string EncodingOfLabel(std::string_view Label) {
    while (!Label.empty() && IsHtmlSpace(Label.front())) Label.remove_prefix(1);
    while (!Label.empty() && IsHtmlSpace(Label.back())) Label.remove_suffix(1);
    const std::string lower = AsciiLowerCase(Label);
    const auto it =
        std::lower_bound(std::begin(kLabels), std::end(kLabels), lower,
                         [](const TLabel& l, const std::string& v) { return l.Label < v; });
    if (it == std::end(kLabels) || it->Label != lower) return {};
    return std::string(it->Encoding);
}

std::string CharsetOfContentType(std::string_view ContentType) {
    for (std::size_t semicolon = ContentType.find(';'); semicolon != std::string_view::npos;) {
        std::size_t at = semicolon + 1;
        while (at < ContentType.size() && IsHtmlSpace(ContentType[at])) ++at;
        const std::size_t equals = ContentType.find('=', at);
        const std::size_t next = ContentType.find(';', at);
        if (equals == std::string_view::npos) return {};
        if (next != std::string_view::npos && next < equals) {
            semicolon = next;
            continue;
        }
        std::string_view name = ContentType.substr(at, equals - at);
        while (!name.empty() && IsHtmlSpace(name.back())) name.remove_suffix(1);
        std::string_view value = ContentType.substr(equals + 1);
        if (!value.empty() && value.front() == '"') {
            value.remove_prefix(1);
            value = value.substr(0, value.find('"'));
        } else {
            value = value.substr(0, value.find(';'));
        }
        if (AsciiEqualsNoCase(name, "charset")) return std::string(value);
        if (next == std::string_view::npos) return {};
        semicolon = ContentType.find(';', equals);
    }
    return {};
}

std::string PrescanForEncoding(std::string_view Bytes) {
    return TPrescan(Bytes.substr(0, std::min(Bytes.size(), kPrescanBytes))).Run();
}

TPageText DecodePage(std::string Body, std::string_view ContentType) {
    TPageText page;
    std::string_view bytes = Body;
    // Asked once: the answer both detects an undeclared page and spares a declared one decoding.
    std::optional<bool> utf8;
    const auto isUtf8 = [&] {
        if (!utf8) utf8 = IsUtf8(bytes);
        return *utf8;
    };
    if (bytes.substr(0, 3) == "\xEF\xBB\xBF") {
        page = {{}, "UTF-8", TCharsetSource::Bom};
        bytes.remove_prefix(3);
    } else if (bytes.substr(0, 2) == "\xFE\xFF") {
        page = {{}, "UTF-16BE", TCharsetSource::Bom};
        bytes.remove_prefix(2);
    } else if (bytes.substr(0, 2) == "\xFF\xFE") {
        page = {{}, "UTF-16LE", TCharsetSource::Bom};
        bytes.remove_prefix(2);
    } else if (std::string e = EncodingOfLabel(CharsetOfContentType(ContentType)); !e.empty()) {
        page = {{}, std::move(e), TCharsetSource::Header};
    } else if (std::string m = PrescanForEncoding(bytes); !m.empty()) {
        page = {{}, std::move(m), TCharsetSource::Meta};
    } else {
        page = {{}, isUtf8() ? "UTF-8" : "windows-1252", TCharsetSource::Detected};
    }
    // The common case keeps its bytes: valid UTF-8 needs no decoding.
    if (page.Encoding == "UTF-8" && isUtf8()) {
        if (bytes.size() != Body.size()) Body.erase(0, Body.size() - bytes.size());
        page.Text = std::move(Body);
    } else {
        page.Text = Decode(bytes, page.Encoding);
    }
    // A NUL character is dropped alone, as the fetch always did with NUL bytes.
    DropNuls(page.Text);
    return page;
}

std::string QueryInEncoding(std::string_view Value, std::string_view Encoding) {
    if (Encoding.empty() || Encoding == "UTF-8" || Encoding == "UTF-16LE" ||
        Encoding == "UTF-16BE" || Encoding == "replacement")
        return std::string(Value);
    const std::size_t query = Value.find('?');
    if (query == std::string_view::npos) return std::string(Value);
    const std::size_t end = std::min(Value.find('#', query), Value.size());
    const std::string_view part = Value.substr(query, end - query);
    if (!HasNonAscii(part)) return std::string(Value);
    QStringEncoder encoder(
        IcuName(Encoding == "x-user-defined" ? "windows-1252" : Encoding).c_str(),
        QStringConverter::Flag::Stateless);
    if (!encoder.isValid()) encoder = QStringEncoder("windows-1252");
    std::string out(Value.substr(0, query));
    for (std::size_t at = 0; at < part.size();) {
        if (static_cast<unsigned char>(part[at]) < 0x80) {
            out += part[at++];
            continue;
        }
        std::size_t runEnd = at;
        while (runEnd < part.size() && static_cast<unsigned char>(part[runEnd]) >= 0x80) ++runEnd;
        const std::string_view run = part.substr(at, runEnd - at);
        const QString text = QString::fromUtf8(run.data(), static_cast<qsizetype>(run.size()));
        AppendPercentEncoded(out, EncodeRun(text, encoder));
        at = runEnd;
    }
    out += Value.substr(end);
    return out;
}
