#pragma once
// A page's text as the link scan reads it: srcset candidates split apart, cleaned and marked,
// with the map back to the bytes as the page wrote them. The work needs the page's bytes and
// nothing else, so the fetch worker does it before it hands the page over, and the crawler's
// thread only reads the links out.

#include <string>
#include <string_view>

#include "TCleanMap.h"

class TMarkedPage {
public:
    // Splits, cleans and marks Body. Body itself is not kept: Map() is given it again, so it may
    // move (with the slot's body) in between, as long as its bytes stay the same.
    void Prepare(std::string_view Body);
    // Whether Body was prepared: its length is checked as well, so a page never goes with
    // another page's marks.
    bool ReadyFor(std::string_view Body) const { return m_ready && m_bodySize == Body.size(); }
    // Whether marking found anything to mark; a page without any holds no link.
    bool AnyMarks() const { return m_anyMarks; }
    // The cleaned, marked text; the crawler's hooks may change it.
    std::string& Text() { return m_text; }
    // The map of the text back to Body (as given to Prepare) or to its split copy.
    const TCleanMap& Map(std::string_view Body);
    // Frees every byte, as after the page's analysis.
    void Clear();

private:
    std::string m_split;  // Body with srcset candidates split, when it had any
    std::string m_text;
    TCleanMap m_map;
    std::size_t m_bodySize = 0;
    bool m_usesSplit = false;
    bool m_anyMarks = false;
    bool m_ready = false;
};
