#pragma once
// The target of a meta refresh, read as a browser reads it. Plain functions of a head tag's text,
// without state or I/O; whether redirects are allowed, and resolving the target against the page,
// are the caller's.

#include <optional>
#include <string>
#include <string_view>

#include "LinkExtractor.h"

// The value of the first attribute called Name (ASCII case ignored) of a tag's Text (the text
// between "<" and ">"), read as a browser reads a tag: values quoted with either quote or bare,
// a name without a value gives an empty one; nullopt when there is no such attribute.
std::optional<std::string_view> TagAttribute(std::string_view Tag, std::string_view Name);

// The refresh target of a head tag, from its Text: a meta tag with http-equiv "refresh"
// (attribute names and that value in any case, in any order, quoted either way or not), whose
// content is a time, then ";", "," or blanks, then the address, optionally after "url=" in any
// case and in quotes. Empty when the tag is no refresh or names no address (a refresh of the page
// itself). The meta-tag event keeps the described values of THeadTag; only the target is read so.
std::string MetaRefreshTarget(const THeadTag& Tag);

// The address of a refresh's content value ("5; url='next.htm'" gives "next.htm"), or empty.
std::string RefreshContentUrl(std::string_view Content);
