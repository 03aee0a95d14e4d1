#pragma once
// Link extraction from one page, without a document tree: the page text is cleaned, a fixed set
// of tag and attribute patterns is marked in it by replacing one character with a small code,
// and one walk over the marked text collects the value after each marker. Plain functions
// without state, events or I/O: the crawler raises its events around them.

#include <functional>
#include <string>
#include <string_view>

#include "EngineTypes.h"
#include "HtmlSpace.h"
#include "TCleanMap.h"

// Marker codes. A marker stands in the cleaned text in place of one character; the cleaned text
// holds no other byte below 32. A value marker is the tag kind of the value after it.
constexpr unsigned char kHrefMarker = tagHref, kValueMarker = tagValue, kSrcMarker = tagSrc,
                        kBaseMarker = tagBase, kAreaStart = 14, kAreaEnd = 16;

// Drops control bytes (a line feed becomes a blank when LineFeedsToBlanks), turns double quotes,
// apostrophes and commas into blanks when QuotesToBlanks, and drops every blank that stands
// after "=" or before a blank or "=" of Text. The blank of a quote that closes an empty quoted
// value ('=""') stays, so that the next attribute is not glued to the "=". Inside a tag and
// outside its quoted values, a tab, line feed, form feed or carriage return is a blank like any
// other, as a browser reads it ("<a\nhref=x>" is "<a href=x>"). With a Map, also records where
// the cleaned bytes came from; Text must then outlive the map.
std::string CleanText(std::string_view Text, bool QuotesToBlanks, bool LineFeedsToBlanks,
                      TCleanMap* Map = nullptr);

// Replaces the last character of every occurrence (ASCII case ignored) of the tag and attribute
// patterns by its marker code; where two patterns end on the same character the later one of the
// pattern table wins ("BASE HREF=" gives the base marker). " SRCSET=", and " DATA=" in an
// <object> tag and " POSTER=" in a <video> tag, give the src marker. True when any marker was
// written.
bool MarkTags(std::string& Text);

// Closes an area that is opened again before it was closed: the character just before the second
// area start becomes an area end. The page hook installed when a crawler is created.
void CloseOpenAreas(std::string& Text);

// Walks the marked text and hands every accepted candidate (the value rules applied) with its tag
// kind to OnCandidate in document order; OnCandidate returns false to end the scan at once (the
// scheduler is stopping). A base value (kind 7) is handed on like the others; the caller re-splits
// the page parts for it. A value that names its scheme (mailto:, http:, https:) keeps "+", "(",
// ")" and square brackets, and with the Map of the cleaning, it is read as the page wrote it
// (TCleanMap::ReadValue): commas and a quoted value's blanks stay, and markers within it are no
// tags.
void ExtractLinks(
    std::string_view Text, const TCleanMap* Map,
    const std::function<bool(const std::string& Value, TTagKind TagKind)>& OnCandidate);
void ExtractLinks(
    std::string_view Text,
    const std::function<bool(const std::string& Value, TTagKind TagKind)>& OnCandidate);
// The same without a copy of each value: Value is a part of Text, or of a buffer of the scan when
// it was read as the page wrote it, and is valid during the call only.
void ExtractLinkValues(
    std::string_view Text, const TCleanMap* Map,
    const std::function<bool(std::string_view Value, TTagKind TagKind)>& OnCandidate);

// A head tag: its four-letter type and up to three attribute/value pairs. Names and unquoted
// values are upper-cased, quoted values keep their case. Text is the tag as it stands in the
// cleaned head, between "<" and ">", for what must read it as a browser does.
struct THeadTag {
    std::string TagType;
    std::string Attrib[3];
    std::string Value[3];
    std::string Text;
};

// Head analysis of a page body: OnTitle(title) when the head has a title; OnHeadTag(tag, raise)
// for every analysed head tag, raise = whether the meta-tag event is raised for it (the end of the
// tag text was reached with a value open). The head runs from its start tag, with or without
// attributes, to the first </HEAD> (blanks allowed before its ">"); nothing when either is
// missing.
void ParseHead(std::string_view Body, const std::function<void(const std::string& Title)>& OnTitle,
               const std::function<void(const THeadTag& Tag, bool Raise)>& OnHeadTag);

// Tag is the text between "<" and ">" as written, UpperTag the same text upper-cased. The type is
// the first four characters, attributes begin at the sixth.
THeadTag ParseHeadTag(std::string_view Tag, std::string_view UpperTag, bool& Raise);
