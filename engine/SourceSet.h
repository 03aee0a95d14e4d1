#pragma once
// The srcset attribute of pictures (<img srcset>, <picture><source srcset>): a list of candidate
// addresses, each with optional descriptors ("a.jpg 1x, b.jpg 2x"). Cleaning turns its commas
// and quotes into blanks, after which nothing tells a descriptor from the next candidate or from
// the next attribute; so before cleaning each candidate gets an attribute of its own. A plain
// function of the page text, without state or I/O.

#include <string>
#include <string_view>
#include <vector>

// The candidate addresses of a srcset value, in order, as a browser parses them: an address runs
// to the next blank and loses its trailing commas; its descriptors run to the next comma outside
// parentheses.
std::vector<std::string_view> SourceSetUrls(std::string_view Value);

// Body with every srcset attribute (its name after a blank, in any case) rewritten as one
// "srcset=" attribute per candidate address, in the quotes the value was written with, so that
// the link scan reads each as it reads a src. Returns Body itself when nothing was rewritten,
// else a view of Storage, which holds the rewritten text. A quoted value without its closing
// quote is left as it stands.
std::string_view SplitSourceSets(std::string_view Body, std::string& Storage);
