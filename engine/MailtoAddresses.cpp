#include "MailtoAddresses.h"

#include <algorithm>
#include <cstring>

#include "AsciiCase.h"
#include "HtmlSpace.h"
#include "UrlEncoding.h"

namespace {

constexpr std::size_t kMaxLocalPart = 64;
constexpr std::size_t kMaxDomain = 255;

// What a byte of an element is part of; separators count only where it is kPlain.
constexpr char kPlain = 0, kQuoted = 1, kComment = 2;

std::string_view Trimmed(std::string_view Text) {
    while (!Text.empty() && IsHtmlSpace(Text.front())) Text.remove_prefix(1);
    while (!Text.empty() && IsHtmlSpace(Text.back())) Text.remove_suffix(1);
    return Text;
}

// For each byte of Text, whether it stands in a quoted string or a comment (delimiters and
// escaped bytes included) or outside both. Comments nest; a quote inside one is no quote.
std::string Structure(std::string_view Text) {
    std::string kind(Text.size(), kPlain);
    bool quoted = false;
    int comment = 0;
    for (std::size_t i = 0; i < Text.size(); ++i) {
        const char c = Text[i];
        if (quoted || comment > 0) {
            kind[i] = quoted ? kQuoted : kComment;
            if (c == '\\' && i + 1 < Text.size()) {
                kind[i + 1] = kind[i];
                ++i;
            } else if (quoted) {
                quoted = c != '"';
            } else if (c == '(') {
                ++comment;
            } else if (c == ')') {
                --comment;
            }
        } else if (c == '"') {
            kind[i] = kQuoted;
            quoted = true;
        } else if (c == '(') {
            kind[i] = kComment;
            comment = 1;
        }
    }
    return kind;
}

// The pieces of Text between the Separators that stand outside quotes and comments.
std::vector<std::string_view> SplitOutside(std::string_view Text, char Separator) {
    const std::string kind = Structure(Text);
    std::vector<std::string_view> pieces;
    std::size_t from = 0;
    for (std::size_t i = 0; i < Text.size(); ++i) {
        if (Text[i] == Separator && kind[i] == kPlain) {
            pieces.push_back(Text.substr(from, i - from));
            from = i + 1;
        }
    }
    pieces.push_back(Text.substr(from));
    return pieces;
}

// Element without the comments that wrap it whole: "( (a@b.de) )" is a@b.de, "(a) (b)" stays.
// Where each "(" closes is found in one walk, so deep nesting costs no more than its length.
std::string_view Unwrapped(std::string_view Element) {
    Element = Trimmed(Element);
    if (Element.empty() || Element.front() != '(') return Element;
    std::vector<std::size_t> closeOf(Element.size(), std::string_view::npos);
    std::vector<std::size_t> open;
    for (std::size_t i = 0; i < Element.size(); ++i) {
        const char c = Element[i];
        if (c == '\\') {
            ++i;
        } else if (c == '(') {
            open.push_back(i);
        } else if (c == ')') {
            closeOf[open.back()] = i;
            open.pop_back();
            if (open.empty()) break;  // the comment that opens the element ends here
        }
    }
    std::size_t from = 0, to = Element.size();
    while (from < to && Element[from] == '(' && closeOf[from] == to - 1) {
        ++from;
        --to;
        while (from < to && IsHtmlSpace(Element[from])) ++from;
        while (from < to && IsHtmlSpace(Element[to - 1])) --to;
    }
    return Element.substr(from, to - from);
}

// The address an element names: what its angle brackets enclose where it has them ("Name
// <a@b.de>"), else the element without its comments. An element wholly in parentheses is an
// address written in brackets, as pages write "(a@b.de)", not a comment.
std::string AddressOf(std::string_view Element) {
    Element = Unwrapped(Element);
    const std::string kind = Structure(Element);
    for (std::size_t i = 0; i < Element.size(); ++i) {
        if (Element[i] != '<' || kind[i] != kPlain) continue;
        const std::size_t close = Element.find('>', i + 1);
        const std::size_t end = close == std::string_view::npos ? Element.size() : close;
        return std::string(Trimmed(Element.substr(i + 1, end - i - 1)));
    }
    std::string address;
    for (std::size_t i = 0; i < Element.size(); ++i)
        if (kind[i] != kComment) address += Element[i];
    return std::string(Trimmed(address));
}

void AddPart(std::vector<TMailPart>& Parts, std::string Text) {
    const bool address = IsMailAddress(Text);
    Parts.push_back({std::move(Text), address});
}

// The elements of an address list (RFC 5322, without groups), escapes decoded already.
void AddList(std::vector<TMailPart>& Parts, std::string_view List) {
    for (const std::string_view element : SplitOutside(List, ',')) {
        if (Trimmed(element).empty()) continue;
        // "a@x.de;b@y.de" as mail programs accept it; "a;b" stays one text, which is no address.
        std::vector<std::string> pieces;
        bool allAddresses = true;
        for (const std::string_view piece : SplitOutside(element, ';')) {
            if (Trimmed(piece).empty()) continue;
            pieces.push_back(AddressOf(piece));
            allAddresses = allAddresses && IsMailAddress(pieces.back());
        }
        if (pieces.size() > 1 && allAddresses) {
            for (std::string& piece : pieces) AddPart(Parts, std::move(piece));
        } else {
            AddPart(Parts, AddressOf(element));
        }
    }
}

// A byte of an unquoted local part: RFC 5322 atext and dots, and as mail servers take them also
// "\\" and bytes from 0x80 up; never a blank, a control byte or a separator of addresses.
bool IsLocalByte(unsigned char c) {
    return c > ' ' && c != 0x7f && std::strchr("\"(),:;<>@[]", c) == nullptr;
}

bool IsLocalPart(std::string_view Local) {
    if (Local.empty() || Local.size() > kMaxLocalPart) return false;
    if (Local.front() == '"') {
        // A quoted string that is the whole local part; inside it anything printable goes.
        const std::string kind = Structure(Local);
        if (Local.size() < 2 || Local.back() != '"' ||
            std::any_of(kind.begin(), kind.end(), [](char k) { return k != kQuoted; }) ||
            Structure(Local.substr(0, Local.size() - 1)).back() != kQuoted)
            return false;
        return std::none_of(Local.begin(), Local.end(), [](char c) {
            return static_cast<unsigned char>(c) < ' ' || c == '\x7f';
        });
    }
    return std::all_of(Local.begin(), Local.end(),
                       [](char c) { return IsLocalByte(static_cast<unsigned char>(c)); });
}

// A byte that has no meaning of its own in a mailto value: letters, digits and ".@_+-".
bool IsPlainByte(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
           c == '@' || c == '_' || c == '+' || c == '-';
}

bool IsDomain(std::string_view Domain) {
    if (Domain.empty() || Domain.size() > kMaxDomain) return false;
    if (Domain.front() == '[') {
        // An address literal: printable ASCII other than the brackets and "\" inside.
        if (Domain.size() < 3 || Domain.back() != ']') return false;
        const std::string_view inner = Domain.substr(1, Domain.size() - 2);
        return std::all_of(inner.begin(), inner.end(), [](char c) {
            return c > ' ' && c < '\x7f' && c != '[' && c != ']' && c != '\\';
        });
    }
    std::size_t label = 0;
    for (const char ch : Domain) {
        const auto c = static_cast<unsigned char>(ch);
        if (c == '.') {
            if (label == 0) return false;
            label = 0;
        } else if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                   c == '-' || c == '_' || c >= 0x80) {
            ++label;
        } else {
            return false;
        }
    }
    return label > 0;
}

}  // namespace

bool IsMailAddress(std::string_view Text) {
    const std::string kind = Structure(Text);
    std::size_t at = std::string_view::npos;
    for (std::size_t i = 0; i < Text.size(); ++i) {
        if (Text[i] != '@' || kind[i] != kPlain) continue;
        if (at != std::string_view::npos) return false;  // two "@" outside quotes
        at = i;
    }
    if (at == std::string_view::npos) return false;
    return IsLocalPart(Text.substr(0, at)) && IsDomain(Text.substr(at + 1));
}

std::vector<TMailPart> MailtoParts(std::string_view AfterScheme) {
    // Nearly every value is one plain address: no escape, query, list, quote, comment or
    // bracket to read, so it is its own single element.
    if (!AfterScheme.empty() && std::all_of(AfterScheme.begin(), AfterScheme.end(), IsPlainByte))
        return {TMailPart{std::string(AfterScheme), IsMailAddress(AfterScheme)}};
    const std::string_view value = AfterScheme.substr(0, AfterScheme.find('#'));
    const std::size_t query = value.find('?');
    std::vector<TMailPart> parts;
    AddList(parts, PercentDecode(value.substr(0, query)));
    if (query != std::string_view::npos) {
        std::string_view fields = value.substr(query + 1);
        while (!fields.empty()) {
            const std::size_t amp = fields.find('&');
            const std::string_view field = fields.substr(0, amp);
            fields = amp == std::string_view::npos ? std::string_view{} : fields.substr(amp + 1);
            const std::size_t equals = field.find('=');
            if (equals == std::string_view::npos) continue;
            const std::string name = AsciiLowerCase(PercentDecode(field.substr(0, equals)));
            if (name == "to" || name == "cc" || name == "bcc")
                AddList(parts, PercentDecode(field.substr(equals + 1)));
        }
    }
    if (parts.empty()) parts.emplace_back();
    return parts;
}
