#include "TMarkedPage.h"

#include "LinkExtractor.h"
#include "SourceSet.h"

void TMarkedPage::Prepare(std::string_view Body) {
    m_split.clear();
    const std::string_view page = SplitSourceSets(Body, m_split);
    m_usesSplit = page.data() != Body.data();
    m_text = CleanText(page, true, false, &m_map);
    m_anyMarks = MarkTags(m_text);
    m_bodySize = Body.size();
    m_ready = true;
}

const TCleanMap& TMarkedPage::Map(std::string_view Body) {
    // The map's view was taken before the page moved: a short body moves its bytes with it.
    m_map.Source = m_usesSplit ? std::string_view(m_split) : Body;
    return m_map;
}

void TMarkedPage::Clear() {
    *this = TMarkedPage();
}
