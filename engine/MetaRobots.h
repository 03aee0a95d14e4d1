#pragma once
// What a page says about following its links, in a meta robots tag of its head or in an
// X-Robots-Tag header of its response. Plain functions without state or I/O; whether robots
// rules are obeyed at all is the caller's.
//
// A value is a list of words separated by commas or blanks, in any case and order. "nofollow"
// and "none" forbid following the page's links; everything else ("noindex", "noarchive", ...)
// concerns search engines and changes nothing for a crawler that indexes nothing.

#include <string_view>

#include "LinkExtractor.h"

// Whether a robots value ("noindex, NoFollow") forbids following.
bool RobotsValueForbidsFollowing(std::string_view Value);

// Whether a head tag is a meta tag addressed to us (name "robots" or "tarnwick", in any case)
// whose content forbids following.
bool MetaTagForbidsFollowing(const THeadTag& Tag);

// Whether the X-Robots-Tag headers of a raw response head forbid following. Every such header
// counts. A value may begin with a crawler's name and a colon ("googlebot: nofollow"): it then
// applies to that crawler alone, so only "tarnwick:" or no name concern us.
bool HeadersForbidFollowing(std::string_view RawHeaders);
