#pragma once
// The follow-keyword rule of the link decision, as pure functions: which page links a crawl
// limited to certain pages (a site's address and legal pages, say) may follow. No threads, no I/O.

#include <string>
#include <string_view>

#include "TCrackUrl.h"
#include "TQuickSortStringList.h"

// Text folded for a comparison without regard to case, by Unicode's simple case folding, so that
// "Über" and "über" fold alike. Text is read as UTF-8; text that is not UTF-8 is read as Latin-1
// (a query sent in a page's 8-bit encoding), so every byte stands for some character.
std::string FoldKeywordCase(std::string_view Text);

// The keyword list of the lines of Text: each folded, empty lines left out, sorted.
void LoadFollowKeywords(TQuickSortStringList& List, const std::string& Text);

// True when the path (UrlPathWithFile) or the query (ExtraInfos) of Link, both percent-decoded,
// holds one of Keywords (folded entries) once folded. The host never counts: every page of
// "kontakt-gmbh.de" holds "kontakt" there.
bool PathOrQueryHoldsKeyword(const TCrackUrl& Link, const TQuickSortStringList& Keywords);
