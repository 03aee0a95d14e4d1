#include "LinkExtractor.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "AsciiCase.h"
#include "ByteBlock.h"
#include "PlainUrl.h"

namespace {

using TBytes = const unsigned char*;

constexpr std::size_t kMaxBracketValue = 32000;
// Bytes of either text between two anchors of a clean map: a value is found from the nearest.
constexpr std::size_t kAnchorSpacing = 64;

// The same folding as AsciiUpper, as a table for the byte-wise walks.
constexpr std::array<unsigned char, 256> kUpper = [] {
    std::array<unsigned char, 256> table{};
    for (int c = 0; c < 256; ++c)
        table[c] = static_cast<unsigned char>(c >= 'a' && c <= 'z' ? c - 32 : c);
    return table;
}();

bool IsValueMarker(unsigned char c) {
    return c >= kHrefMarker && c <= kBaseMarker;
}
bool IsAreaMarker(unsigned char c) {
    return c == kAreaStart || c == kAreaEnd;
}

// Position of the first byte at or after From whose value is below Limit (at most 128), or N.
// Markers are rare in a page, so the walks that only look for them test a block at a time.
std::size_t FindByteBelow(TBytes p, std::size_t From, std::size_t N, unsigned char Limit) {
    return FindInBlocks(
        p, From, N, [Limit](const TByteBlock& b) { return b.Below(Limit); },
        [Limit](unsigned char c) { return c < Limit; });
}

// Position of the first byte at or after From that may end a value being collected: a blank, a
// ">" or a byte below 17, which holds every marker; N when there is none.
std::size_t FindValueEnd(TBytes p, std::size_t From, std::size_t N) {
    return FindInBlocks(
        p, From, N,
        [](const TByteBlock& b) { return b.Equal(' ') | b.Equal('>') | b.Below(kAreaEnd + 1); },
        [](unsigned char c) { return c == ' ' || c == '>' || c <= kAreaEnd; });
}

// True when the bytes at [Pos, Pos + Pattern.size()) exist and, upper-cased, equal Pattern.
bool UpperMatchAt(TBytes p, std::size_t N, std::size_t Pos, std::string_view Pattern) {
    if (Pos > N || N - Pos < Pattern.size()) return false;
    for (std::size_t k = 0; k < Pattern.size(); ++k)
        if (kUpper[p[Pos + k]] != static_cast<unsigned char>(Pattern[k])) return false;
    return true;
}

// Same test for the bytes that end just before End.
bool UpperMatchBefore(TBytes p, std::size_t N, std::size_t End, std::string_view Pattern) {
    return End >= Pattern.size() && UpperMatchAt(p, N, End - Pattern.size(), Pattern);
}

// Position of the first occurrence of UpperPattern in Text upper-cased, or npos; spares an
// upper-cased copy of a whole page body.
std::size_t FindUpper(std::string_view Text, std::string_view UpperPattern) {
    const auto* p = reinterpret_cast<TBytes>(Text.data());
    const std::size_t n = Text.size();
    if (UpperPattern.empty()) return 0;
    const unsigned char first = static_cast<unsigned char>(UpperPattern[0]);
    const bool firstIsLetter = first >= 'A' && first <= 'Z';
    for (std::size_t i = 0; i < n && n - i >= UpperPattern.size(); ++i) {
        if (!firstIsLetter) {
            // "<HEAD>" and the like: jump from one "<" to the next.
            const void* next = std::memchr(p + i, first, n - i);
            if (next == nullptr) break;
            i = static_cast<std::size_t>(static_cast<TBytes>(next) - p);
        } else if (kUpper[p[i]] != first) {
            continue;
        }
        if (UpperMatchAt(p, n, i, UpperPattern)) return i;
    }
    return std::string_view::npos;
}

// ---- cleaning ----

// kTagSpace: a tab, line feed, form feed or carriage return, which is a blank inside a tag and
// dropped elsewhere.
enum TCleanClass : unsigned char { kKeep, kDrop, kBlank, kQuote, kTagSpace };

bool IsTagSpace(unsigned char c) {
    return c != ' ' && IsHtmlSpace(static_cast<char>(c));
}

std::array<unsigned char, 256> CleanClasses(bool QuotesToBlanks, bool LineFeedsToBlanks) {
    std::array<unsigned char, 256> classes{};
    for (int c = 0; c < 32; ++c) classes[c] = IsTagSpace(c) ? kTagSpace : kDrop;
    if (LineFeedsToBlanks) classes['\n'] = kBlank;
    classes[' '] = kBlank;
    if (QuotesToBlanks) {
        classes['"'] = classes['\''] = kQuote;
        classes[','] = kBlank;
    }
    return classes;
}

// Whether a byte of a page stands inside a tag, outside its quoted attribute values, where a
// browser parts attributes by a line break or tab as by a blank: the nearest "<" or ">" before it
// is a "<" that opens a tag (before a letter, "/", "!" or "?"), and every quote that opened a value
// of that tag since (a quote after "=", blanks between) is closed again. A "<" or ">" inside a
// quoted value counts too: the answer needs only the few bytes back to the nearest one. Asked
// for positions in increasing order; each byte is looked at about once over all questions.
class TTagTracker {
public:
    TTagTracker(TBytes Text, std::size_t Size) : m_p(Text), m_n(Size) {}

    bool InTag(std::size_t Pos) {
        // Only bytes after the last question can hold a nearer "<" or ">".
        for (std::size_t end = Pos; end > m_scanned;) {
            const std::size_t at = FindLastAngle(m_p, m_scanned, end);
            if (at == kNone) break;
            if (m_p[at] == '>' || OpensTag(at)) {
                m_tag = m_p[at] == '<';
                m_walked = at + 1;
                m_quote = 0;
                break;
            }
            end = at;  // a "<" that opens nothing, as in "a < b"
        }
        m_scanned = Pos;
        if (!m_tag) return false;
        WalkQuotes(Pos);
        return m_quote == 0;
    }

private:
    static constexpr std::size_t kNone = static_cast<std::size_t>(-1);

    bool OpensTag(std::size_t At) const {
        const unsigned char next = At + 1 < m_n ? kUpper[m_p[At + 1]] : 0;
        return (next >= 'A' && next <= 'Z') || next == '/' || next == '!' || next == '?';
    }

    // Follows the quoted values of the open tag up to Pos.
    void WalkQuotes(std::size_t Pos) {
        while (m_walked < Pos) {
            if (m_quote != 0) {
                const void* close = std::memchr(m_p + m_walked, m_quote, Pos - m_walked);
                if (close == nullptr) {
                    m_walked = Pos;
                    return;
                }
                m_walked = static_cast<std::size_t>(static_cast<TBytes>(close) - m_p) + 1;
                m_quote = 0;
                continue;
            }
            std::size_t at = m_walked;
            while (at < Pos && m_p[at] != '"' && m_p[at] != '\'') ++at;
            m_walked = at >= Pos ? Pos : at + 1;
            // The value's quote follows "=": the bytes before it down to the tag's "<" are
            // never all blanks, as a name follows the "<".
            if (at < Pos && AfterEquals(at)) m_quote = m_p[at];
        }
    }

    bool AfterEquals(std::size_t Pos) const {
        while (Pos > 0 && IsHtmlSpace(static_cast<char>(m_p[Pos - 1]))) --Pos;
        return Pos > 0 && m_p[Pos - 1] == '=';
    }

    // The last "<" or ">" in [From, End), or kNone. Sixteen bytes at a time where the processor
    // allows it.
    static std::size_t FindLastAngle(TBytes p, std::size_t From, std::size_t End) {
        std::size_t i = End;
#if defined(__SSE2__)
        while (i >= From + 16) {
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i - 16));
            const __m128i hits = _mm_or_si128(_mm_cmpeq_epi8(v, _mm_set1_epi8('<')),
                                              _mm_cmpeq_epi8(v, _mm_set1_epi8('>')));
            const unsigned bits = static_cast<unsigned>(_mm_movemask_epi8(hits));
            if (bits != 0) return i - 16 + 31 - static_cast<std::size_t>(std::countl_zero(bits));
            i -= 16;
        }
#endif
        while (i > From) {
            --i;
            if (p[i] == '<' || p[i] == '>') return i;
        }
        return kNone;
    }

    TBytes m_p;
    std::size_t m_n;
    std::size_t m_scanned = 0;  // every question so far was about a byte before this
    bool m_tag = false;         // the nearest "<" or ">" so far opens a tag
    std::size_t m_walked = 0;   // quotes of that tag are followed up to here
    unsigned char m_quote = 0;  // the quote of the value open there, or 0
};

// The bytes of the block of 64 at p that cleaning must look at one by one (read with the classes
// of CleanClasses); all others are kept as they are. That is every byte it may change, except a
// blank between words: one whose left neighbour is an ordinary byte other than "=" (so it is
// what was written last) and whose right neighbour is neither a blank, "=" nor a control byte
// (which may be a blank inside a tag). Running text is full of them. p[-1] and p[64] must be
// readable.
#if defined(__SSE2__)
// Sixteen bytes at a time, the tests combined before they leave the vector unit.
std::uint64_t BytesToClean(TBytes p, bool QuotesToBlanks) {
    const __m128i quotesOn = QuotesToBlanks ? _mm_set1_epi8(-1) : _mm_setzero_si128();
    const __m128i flip = _mm_set1_epi8(static_cast<char>(0x80));
    auto eq = [](__m128i v, char c) { return _mm_cmpeq_epi8(v, _mm_set1_epi8(c)); };
    auto below = [&](__m128i v, int limit) {
        return _mm_cmplt_epi8(_mm_xor_si128(v, flip),
                              _mm_set1_epi8(static_cast<char>(0x80 + limit)));
    };
    auto quoteOrComma = [&](__m128i v) {
        return _mm_and_si128(quotesOn,
                             _mm_or_si128(_mm_or_si128(eq(v, '"'), eq(v, '\'')), eq(v, ',')));
    };
    auto load = [](TBytes at) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(at)); };
    std::uint64_t mask = 0;
    for (int part = 0; part < 4; ++part) {
        const TBytes q = p + 16 * part;
        const __m128i v = load(q), before = load(q - 1), after = load(q + 1);
        const __m128i space = eq(v, ' ');
        // Control bytes and blanks are the bytes below 33.
        const __m128i changed = _mm_or_si128(below(v, ' ' + 1), quoteOrComma(v));
        const __m128i blocks = _mm_or_si128(
            _mm_or_si128(_mm_or_si128(below(before, ' ' + 1), quoteOrComma(before)),
                         eq(before, '=')),
            _mm_or_si128(_mm_or_si128(eq(after, ' '), eq(after, '=')), below(after, ' ')));
        const __m128i special = _mm_andnot_si128(_mm_andnot_si128(blocks, space), changed);
        mask |= static_cast<std::uint64_t>(static_cast<std::uint16_t>(_mm_movemask_epi8(special)))
                << (16 * part);
    }
    return mask;
}
#else
std::uint64_t BytesToClean(TBytes p, bool QuotesToBlanks) {
    const TByteBlock block(p), before(p - 1), after(p + 1);
    auto quoteOrComma = [&](const TByteBlock& b) {
        return QuotesToBlanks ? b.Equal('"') | b.Equal('\'') | b.Equal(',') : 0;
    };
    const std::uint64_t space = block.Equal(' ');
    const std::uint64_t changed = block.Below(' ' + 1) | quoteOrComma(block);
    const std::uint64_t blocks = before.Below(' ' + 1) | quoteOrComma(before) | before.Equal('=') |
                                 after.Equal(' ') | after.Equal('=') | after.Below(' ');
    return changed & ~(space & ~blocks);
}
#endif

// Copies Size bytes from From to To sixteen at a time: up to 16 bytes beyond each end are read
// and written, which the caller's buffers allow. Most runs between two bytes to clean are
// shorter than 16, so the first sixteen are copied without asking.
void CopyRun(unsigned char* To, TBytes From, std::size_t Size) {
    std::memcpy(To, From, 16);
    for (std::size_t k = 16; k < Size; k += 16) std::memcpy(To + k, From + k, 16);
}

// ---- marking ----

struct TMark {
    std::size_t Pos;
    unsigned char Code;
};

// Markers waiting to be written, in the order found. Its room is made once per page, so that a
// push is a store; it grows only if a page ever needs more.
class TMarkList {
public:
    explicit TMarkList(std::size_t Room) : m_items(Room) {}
    void Push(TMark Mark) {
        if (m_count == m_items.size()) m_items.resize(2 * m_items.size());
        m_items[m_count++] = Mark;
    }
    std::size_t Size() const { return m_count; }
    TMark& operator[](std::size_t Index) { return m_items[Index]; }
    void Truncate(std::size_t Count) { m_count = Count; }

private:
    std::vector<TMark> m_items;
    std::size_t m_count = 0;
};

// Every pattern holds at least one of "=", ">", "<" and "(", which are rare outside tags, so
// patterns are only tested where one of those stands, looking backwards or forwards from it.
enum TMarkAnchor : unsigned char { kNotAnchor, kEquals, kGreater, kLess, kParen };

constexpr std::array<unsigned char, 256> kMarkAnchors = [] {
    std::array<unsigned char, 256> table{};
    table['='] = kEquals;
    table['>'] = kGreater;
    table['<'] = kLess;
    table['('] = kParen;
    return table;
}();

// Attributes that name a picture, sound or film only in one element, as a browser reads them:
// elsewhere " data=" is as likely a parameter in a code sample as a link.
struct TElementSource {
    std::string_view Attribute;  // with its leading blank, without "="
    std::string_view Element;    // "<" and the name, with the blank after it
};
constexpr TElementSource kElementSources[] = {{" DATA", "<OBJECT "}, {" POSTER", "<VIDEO "}};
static_assert(std::all_of(std::begin(kElementSources), std::end(kElementSources),
                          [](const TElementSource& s) {
                              return s.Attribute.back() == 'A' || s.Attribute.back() == 'R';
                          }),
              "MarkAtEquals looks for these attributes after an A or an R");

// TagStart: the "<" of the tag the "=" at i stands in, or npos when a ">" came after the last "<".
// The patterns before an anchor differ in their last letter, so that letter picks the one
// pattern that can match there; most anchors have none.
void MarkAtEquals(TBytes p, std::size_t n, std::size_t i, std::size_t TagStart, TMarkList& marks) {
    if (i == 0) return;
    switch (kUpper[p[i - 1]]) {
        case 'F':
            if (UpperMatchBefore(p, n, i, " HREF")) {
                // "BASE HREF=" ends on the same "=" and comes later in the pattern table, so it
                // wins.
                const bool base = UpperMatchBefore(p, n, i - 5, "BASE");
                marks.Push({i, base ? kBaseMarker : kHrefMarker});
            }
            break;
        case 'C':
        case 'T':
            // A srcset holds one candidate here: SplitSourceSets gave each its own attribute.
            if (UpperMatchBefore(p, n, i, " SRC") || UpperMatchBefore(p, n, i, " SRCSET"))
                marks.Push({i, kSrcMarker});
            break;
        case 'E':
            if (UpperMatchBefore(p, n, i, " VALUE")) marks.Push({i, kValueMarker});
            break;
        case 'A':
        case 'R':
            if (TagStart == std::string_view::npos) break;
            // The element's name is never overwritten by a marker, however far back it stands.
            for (const TElementSource& source : kElementSources)
                if (UpperMatchBefore(p, n, i, source.Attribute) &&
                    UpperMatchAt(p, n, TagStart, source.Element))
                    marks.Push({i, kSrcMarker});
            break;
        default:
            break;
    }
}

// What ends an area before a ">"; each ends in a character of its own.
constexpr std::string_view kAreaEnds[] = {"/A", "A/", "/OPTION", "/APPLET"};

void MarkAtGreater(TBytes p, std::size_t n, std::size_t i, TMarkList& marks) {
    if (i == 0) return;
    const unsigned char last = kUpper[p[i - 1]];
    for (const std::string_view end : kAreaEnds) {
        if (static_cast<unsigned char>(end.back()) != last) continue;
        if (UpperMatchBefore(p, n, i, end)) marks.Push({i, kAreaEnd});
        return;
    }
}

void MarkAtLess(TBytes p, std::size_t n, std::size_t i, TMarkList& marks) {
    if (i + 1 >= n) return;
    switch (kUpper[p[i + 1]]) {
        case 'A':
            marks.Push({i + 1, kAreaStart});
            if (UpperMatchAt(p, n, i, "<APPLET")) marks.Push({i + 6, kAreaStart});
            break;
        case 'F':
            if (UpperMatchAt(p, n, i, "<FRAME")) marks.Push({i + 5, kAreaStart});
            break;
        case 'O':
            if (UpperMatchAt(p, n, i, "<OPTION")) marks.Push({i + 6, kAreaStart});
            break;
        case '/':
            if (UpperMatchAt(p, n, i, "</FRAME")) marks.Push({i + 6, kAreaEnd});
            break;
        default:
            break;
    }
}

void MarkAtParen(TBytes p, std::size_t n, std::size_t i, TMarkList& marks) {
    if (i + 1 < n && p[i + 1] == ' ' && UpperMatchBefore(p, n, i, "OPENWIN"))
        marks.Push({i + 1, kHrefMarker});
}

// ---- extraction ----

// The signs the value rules look for, gathered in one walk over a value.
enum TValueSign : unsigned char {
    kSignOpen = 1,    // "("
    kSignScript = 2,  // "(", ")", "+", "[" or "]": script calls, concatenations, array accesses
    kSignAngle = 4,   // "<" or ">"
    kSignSlash = 8,
    kSignSemicolon = 16,
};

constexpr std::array<unsigned char, 256> kValueSigns = [] {
    std::array<unsigned char, 256> table{};
    table['('] = kSignOpen | kSignScript;
    table[')'] = table['+'] = table['['] = table[']'] = kSignScript;
    table['<'] = table['>'] = kSignAngle;
    table['/'] = kSignSlash;
    table[';'] = kSignSemicolon;
    return table;
}();

unsigned SignsOf(std::string_view Value) {
    unsigned signs = 0;
    for (const char c : Value) signs |= kValueSigns[static_cast<unsigned char>(c)];
    return signs;
}

// A value that names its scheme is an address written out, no script expression: "+",
// parentheses, commas and square brackets are characters of it, as in "mailto:anna+news@...",
// ".../wiki/Mercury_(planet)", "http://[2001:db8::1]/" or "?a[]=1".
bool NamesItsScheme(std::string_view Value) {
    const auto* p = reinterpret_cast<TBytes>(Value.data());
    return UpperMatchAt(p, Value.size(), 0, "MAILTO:") ||
           UpperMatchAt(p, Value.size(), 0, "HTTP:") || UpperMatchAt(p, Value.size(), 0, "HTTPS:");
}

// "top.window" in any case. Most values hold dots, few a dot before a "w": only those are read
// through.
bool ContainsTopWindow(std::string_view Value) {
    for (std::size_t dot = Value.find('.'); dot != std::string_view::npos;
         dot = Value.find('.', dot + 1)) {
        if (dot + 1 < Value.size() && kUpper[static_cast<unsigned char>(Value[dot + 1])] == 'W')
            return FindUpper(Value, "TOP.WINDOW") != std::string_view::npos;
    }
    return false;
}

// The value rules: script calls give their argument, embedded markup is cut off, script
// expressions and values that cannot be addresses are refused. Value is narrowed to what is
// kept of it, always a part of itself; false when it is dropped.
bool AcceptValue(std::string_view& Value, TTagKind Kind) {
    if (ContainsTopWindow(Value)) return false;
    const bool address = NamesItsScheme(Value);
    unsigned signs = SignsOf(Value);

    bool narrowed = false;
    const std::size_t open =
        address || (signs & kSignOpen) == 0 ? std::string_view::npos : Value.find('(');
    if (open != std::string_view::npos && open >= 1) {
        Value = Value.substr(open + 1, kMaxBracketValue);
        const std::size_t close = Value.find(')');
        if (close != std::string_view::npos && close >= 1) Value = Value.substr(0, close);
        narrowed = true;
    }
    if ((signs & kSignAngle) != 0) {
        Value = Value.substr(0, Value.find('<'));
        Value = Value.substr(0, Value.find('>'));
        narrowed = true;
    }
    if (narrowed) signs = SignsOf(Value);

    if (!address && (signs & kSignScript) != 0) return false;

    if (Kind == tagValue) return (signs & kSignSlash) != 0 && (signs & kSignSemicolon) == 0;
    return Value != "=";
}

// ---- head ----

// Attributes of a head tag begin at its sixth character.
constexpr std::size_t kFirstAttribute = 5;
constexpr int kHeadTagPairs = 3;

bool IsAnalysedHeadTag(std::string_view UpperTag) {
    return UpperTag.size() > 5 && UpperTag[4] == ' ';
}

// The "<" of the first tag called UpperOpen ("<HEAD", "</HEAD"; ASCII case ignored) that is the
// tag's whole name, as a ">", "/" or blank follows it: <HEADER> is not <HEAD>. npos when there is
// none.
std::size_t FindTagNamed(std::string_view Body, std::string_view UpperOpen) {
    for (std::size_t from = 0;;) {
        const std::size_t at = FindUpper(Body.substr(from), UpperOpen);
        if (at == std::string_view::npos) return std::string_view::npos;
        const std::size_t after = from + at + UpperOpen.size();
        if (after >= Body.size()) return std::string_view::npos;
        if (Body[after] == '>' || Body[after] == '/' || IsHtmlSpace(Body[after])) return from + at;
        from = after;
    }
}

// Just after the ">" of the head's start tag, with or without attributes; npos when there is none.
std::size_t HeadContentStart(std::string_view Body) {
    const std::size_t at = FindTagNamed(Body, "<HEAD");
    if (at == std::string_view::npos) return at;
    const std::size_t close = Body.find('>', at);
    return close == std::string_view::npos ? close : close + 1;
}

}  // namespace

std::string CleanText(std::string_view Text, bool QuotesToBlanks, bool LineFeedsToBlanks,
                      TCleanMap* Map) {
    const std::array<unsigned char, 256> classes = CleanClasses(QuotesToBlanks, LineFeedsToBlanks);
    const auto* p = reinterpret_cast<TBytes>(Text.data());
    const std::size_t n = Text.size();
    std::string result(n, '\0');
    auto* const begin = reinterpret_cast<unsigned char*>(result.data());
    unsigned char* out = begin;  // never ahead of the byte read, so runs copied in place fit
    TTagTracker tags(p, n);
    // A blank of Text, or a tab or line break inside a tag, which counts as one.
    auto blankAt = [&](std::size_t Pos) {
        return Pos < n && (p[Pos] == ' ' || (IsTagSpace(p[Pos]) && tags.InTag(Pos)));
    };
    // The rules for the byte at Pos.
    auto clean = [&](std::size_t Pos) {
        const unsigned char c = p[Pos];
        bool blank = false;
        switch (classes[c]) {
            case kKeep:
                *out++ = c;
                break;
            case kDrop:
                break;
            case kTagSpace:
                // Next to "=" or before a blank it is dropped wherever it stands: no need to ask.
                blank = !(out != begin && out[-1] == '=') &&
                        !(Pos + 1 < n &&
                          (IsHtmlSpace(static_cast<char>(p[Pos + 1])) || p[Pos + 1] == '=')) &&
                        tags.InTag(Pos);
                break;
            case kQuote:
                // The quote that closes an empty value (alt="") leaves a blank, so the attribute
                // after it keeps the blank before its name: <img alt="" src=x.gif> still gives
                // x.gif.
                if (Pos >= 2 && p[Pos - 1] == c && p[Pos - 2] == '=')
                    *out++ = ' ';
                else
                    blank = true;
                break;
            default:
                blank = true;
                break;
        }
        if (blank) {
            // Last is the byte appended most recently ("X" before the first). The look-ahead
            // reads Text itself: a quote that will become a blank does not count, so a blank
            // before a quote survives.
            const bool afterEquals = out != begin && out[-1] == '=';
            const bool beforeBlankOrEquals = blankAt(Pos + 1) || (Pos + 1 < n && p[Pos + 1] == '=');
            if (!afterEquals && !beforeBlankOrEquals) *out++ = ' ';
        }
    };
    std::size_t i = 0;
    // Anchors are noted between blocks, where the cleaned bytes so far are those of Text[0, i).
    const bool anchored = Map != nullptr && n <= UINT32_MAX;
    if (Map != nullptr) {
        Map->Source = Text;
        Map->Anchors.clear();
        Map->Hint = 0;
        if (anchored) Map->Anchors.reserve(n / kAnchorSpacing + 2);
    }
    auto anchor = [&] {
        if (anchored)
            Map->Anchors.push_back(
                {static_cast<std::uint32_t>(out - begin), static_cast<std::uint32_t>(i)});
    };
    static_assert(TByteBlock::kSize == kAnchorSpacing);
    // A block needs the byte before it and 16 after it: runs are copied sixteen bytes at a time.
    constexpr std::size_t kBlockReach = TByteBlock::kSize + 16;
    if (n > 0) {
        anchor();
        clean(0);
        i = 1;
    }
    for (; n - i >= kBlockReach; i += TByteBlock::kSize) {
        anchor();
        std::size_t from = i;
        for (std::uint64_t mask = BytesToClean(p + i, QuotesToBlanks); mask != 0;
             mask &= mask - 1) {
            const std::size_t at = i + static_cast<std::size_t>(std::countr_zero(mask));
            CopyRun(out, p + from, at - from);
            out += at - from;
            clean(at);
            from = at + 1;
        }
        const std::size_t end = i + TByteBlock::kSize;
        CopyRun(out, p + from, end - from);
        out += end - from;
    }
    if (i < n) anchor();
    for (; i < n; ++i) clean(i);
    result.resize(static_cast<std::size_t>(out - begin));
    return result;
}

// How far before its anchor a pattern test reads: " HREF" and "BASE" before an "=". Tests read
// at most this far back and a few bytes ahead, and marks stand at or after their anchor.
constexpr std::size_t kMarkLookBehind = 10;
constexpr std::size_t kMarkBatch = 64;

bool MarkTags(std::string& Text) {
    const auto* p = reinterpret_cast<TBytes>(Text.data());
    const std::size_t n = Text.size();
    // Matching must see the text as it was: one occurrence may end on a character that another
    // one reads ("<A/>", "openWin( href="). So a marker waits until the walk has passed beyond
    // every test that could read its character; the waiting ones are few, whatever the page.
    TMarkList pending(2 * kMarkBatch);
    bool any = false;
    auto writeBefore = [&](std::size_t Limit) {
        std::size_t kept = 0;
        // In the order found, so that of two markers on one character the later pattern wins.
        for (std::size_t k = 0; k < pending.Size(); ++k) {
            const TMark mark = pending[k];
            if (mark.Pos < Limit)
                Text[mark.Pos] = static_cast<char>(mark.Code);
            else
                pending[kept++] = mark;
        }
        pending.Truncate(kept);
    };
    std::size_t tagStart = std::string_view::npos;
    // Anchors are a few per cent of a page: a block at a time, the walk goes from one to the next.
    auto anchors = [](const TByteBlock& b) {
        return b.Equal('=') | b.Equal('>') | b.Equal('<') | b.Equal('(');
    };
    auto isAnchor = [](unsigned char c) { return kMarkAnchors[c] != kNotAnchor; };
    ForEachInBlocks(p, n, anchors, isAnchor, [&](std::size_t i) {
        // Written in batches: a few dozen waiting markers cost nothing, a walk per anchor does.
        if (pending.Size() >= kMarkBatch && i > kMarkLookBehind) writeBefore(i - kMarkLookBehind);
        const std::size_t before = pending.Size();
        switch (kMarkAnchors[p[i]]) {
            case kNotAnchor:
                break;
            case kEquals:
                MarkAtEquals(p, n, i, tagStart, pending);
                break;
            case kGreater:
                MarkAtGreater(p, n, i, pending);
                tagStart = std::string_view::npos;
                break;
            case kLess:
                MarkAtLess(p, n, i, pending);
                tagStart = i;
                break;
            case kParen:
                MarkAtParen(p, n, i, pending);
                break;
        }
        any = any || pending.Size() != before;
    });
    writeBefore(n);
    return any;
}

void CloseOpenAreas(std::string& Text) {
    auto* p = reinterpret_cast<unsigned char*>(Text.data());
    bool open = false;
    ForEachInBlocks(
        p, Text.size(), [](const TByteBlock& b) { return b.Below(kAreaEnd + 1); },
        [](unsigned char c) { return c <= kAreaEnd; },
        [&](std::size_t i) {
            if (p[i] == kAreaEnd) {
                open = false;
            } else if (p[i] == kAreaStart) {
                // An area opened again is closed just before: the area end written there closes
                // it, and this start opens the next, so the area stays open.
                if (open && i >= 2) p[i - 1] = kAreaEnd;
                open = true;
            }
        });
}

void ExtractLinks(
    std::string_view Text,
    const std::function<bool(const std::string& Value, TTagKind TagKind)>& OnCandidate) {
    ExtractLinks(Text, nullptr, OnCandidate);
}

void ExtractLinks(
    std::string_view Text, const TCleanMap* Map,
    const std::function<bool(const std::string& Value, TTagKind TagKind)>& OnCandidate) {
    std::string value;
    ExtractLinkValues(Text, Map, [&](std::string_view Value, TTagKind TagKind) {
        value.assign(Value);
        return OnCandidate(value, TagKind);
    });
}

void ExtractLinkValues(
    std::string_view Text, const TCleanMap* Map,
    const std::function<bool(std::string_view Value, TTagKind TagKind)>& OnCandidate) {
    const auto* p = reinterpret_cast<TBytes>(Text.data());
    const std::size_t n = Text.size();
    std::string written;  // a value read as the page wrote it; reused from value to value
    std::size_t i = 0;
    while (true) {
        // Not collecting: area markers change nothing, only a value marker starts a value.
        do {
            i = FindByteBelow(p, i, n, kBaseMarker + 1);
            if (i >= n) return;
        } while (!IsValueMarker(p[i++]));
        const auto kind = static_cast<TTagKind>(p[i - 1]);

        // Collecting: leading blanks are skipped, then the value runs to a blank or ">" (a ">"
        // right at the start belongs to it). Another marker drops what was collected.
        while (i < n && p[i] == ' ') ++i;
        const std::size_t start = i;
        bool complete = false;
        bool restart = false;
        for (;; ++i) {
            i = FindValueEnd(p, i, n);
            if (i >= n) break;
            const unsigned char c = p[i];
            if (c == ' ' || (c == '>' && i > start)) {
                complete = true;
                break;
            }
            if (IsAreaMarker(c) || IsValueMarker(c)) {
                restart = IsValueMarker(c);
                break;
            }
        }
        if (restart) continue;  // i stands on the new value marker
        if (!complete) {
            if (i >= n) return;  // a value still open at the end of the text is not complete
            ++i;                 // an area marker dropped the value
            continue;
        }
        std::string_view value = Text.substr(start, i - start);
        // Where a value that names its scheme ends is read from the page as written.
        std::size_t resume = i + 1;
        if (Map != nullptr && NamesItsScheme(value) &&
            Map->ReadValue(Text, start, i, written, resume))
            value = written;
        i = resume;
        if (AcceptValue(value, kind) && !OnCandidate(value, kind)) return;
    }
}

void ParseHead(std::string_view Body, const std::function<void(const std::string& Title)>& OnTitle,
               const std::function<void(const THeadTag& Tag, bool Raise)>& OnHeadTag) {
    const std::size_t from = HeadContentStart(Body);
    const std::size_t headEnd = FindTagNamed(Body, "</HEAD");
    if (from == std::string_view::npos || headEnd == std::string_view::npos) return;

    const std::string_view rawHead =
        headEnd > from ? Body.substr(from, headEnd - from) : std::string_view{};
    const std::string head = CleanText(rawHead, false, true);
    const std::string upperHead = AsciiUpperCase(head);

    const std::size_t titleStart = upperHead.find("<TITLE>");
    const std::size_t titleEnd = upperHead.find("</TITLE>");
    if (titleStart != std::string::npos && titleEnd != std::string::npos) {
        const std::size_t textStart = titleStart + 7;
        const std::string title =
            titleEnd > textStart ? head.substr(textStart, titleEnd - textStart) : std::string{};
        if (OnTitle) OnTitle(title);
    }

    // Quotes are not considered when looking for ">": the head is read as plain text. A tag is
    // what stands between a ">" and the "<" or ">" before it (or the head's start).
    const std::string_view text = head;
    const std::string_view upperText = upperHead;
    std::size_t tagStart = 0;
    for (std::size_t i = FindAnyOf(text, "<>"); i != std::string_view::npos;
         i = FindAnyOf(text, "<>", i + 1)) {
        const std::string_view upperTag = upperText.substr(tagStart, i - tagStart);
        if (text[i] == '>' && IsAnalysedHeadTag(upperTag)) {
            bool raise = false;
            const THeadTag parsed =
                ParseHeadTag(text.substr(tagStart, i - tagStart), upperTag, raise);
            if (OnHeadTag) OnHeadTag(parsed, raise);
        }
        tagStart = i + 1;
    }
}

THeadTag ParseHeadTag(std::string_view Tag, std::string_view UpperTag, bool& Raise) {
    THeadTag result;
    result.TagType = std::string(UpperTag.substr(0, 4));
    result.Text = std::string(Tag);
    const std::size_t length = std::min(Tag.size(), UpperTag.size());
    int pair = 0;
    bool inValue = false;
    bool inQuote = false;
    bool stopped = false;
    for (std::size_t i = kFirstAttribute; i < length && !stopped; ++i) {
        const char c = Tag[i];
        const char u = UpperTag[i];
        if (c == '=') {
            inValue = true;
        } else if (c == '"') {
            inQuote = !inQuote;
        } else if (c == ' ' && !inQuote) {
            if (!inValue) continue;
            if (pair == kHeadTagPairs - 1) {
                stopped = true;
            } else {
                ++pair;
                inValue = false;
            }
        } else if (!inValue) {
            result.Attrib[pair] += u;
        } else {
            result.Value[pair] += inQuote ? c : u;
        }
    }
    Raise = !stopped && inValue;
    return result;
}
