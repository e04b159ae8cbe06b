#include "MainToolTips.h"

#include "PanelStack.h"
#include "SkinControl.h"
#include "SkinForm.h"

namespace {

// Panels as the main window numbers them.
constexpr int kDeck = 0;
constexpr int kMixer = 2;
constexpr int kTimeLine = 3;
constexpr int kTabs = 4;
constexpr int kCases = 5;

constexpr std::array<CMainToolTips::Row, CMainToolTips::kRows> kTable = {{
    // The deck panel.
    {kDeck, 800, 32871},
    {kDeck, 24, 32963},
    {kDeck, 6, 32964},
    {kDeck, 29, 32962},
    {kDeck, 802, 32863},
    {kDeck, 204, 32862},
    {kDeck, 4, 32864},
    {kDeck, 2, 32873},
    {kDeck, 1005, 32970},
    {kDeck, 1006, 32971},
    {kDeck, 1002, 32972},
    {kDeck, 1004, 32973},
    {kDeck, 803, 32974},
    {kDeck, 804, 32975},
    {kDeck, 17, 32977},
    {kDeck, 18, 32976},
    {kDeck, 60, 32978},
    {kDeck, 61, 32978},
    {kDeck, 10, 32979},
    {kDeck, 11, 32979},
    // The mixer.
    {kMixer, 28, 32917},
    {kMixer, 11, 33016},
    {kMixer, 8, 33015},
    {kMixer, 6, 32920},
    {kMixer, 110, 33017},
    {kMixer, 111, 33017},
    {kMixer, 100, 33018},
    {kMixer, 101, 33018},
    {kMixer, 120, 33019},
    {kMixer, 121, 33019},
    {kMixer, 130, 33020},
    {kMixer, 131, 33020},
    {kMixer, 140, 33021},
    {kMixer, 141, 33021},
    {kMixer, 150, 33022},
    {kMixer, 151, 33022},
    {kMixer, 160, 33023},
    {kMixer, 161, 33023},
    {kMixer, 170, 33024},
    {kMixer, 171, 33024},
    {kMixer, 190, 33025},
    {kMixer, 191, 33025},
    {kMixer, 30, 33026},
    {kMixer, 31, 33027},
    {kMixer, 32, 33028},
    // The Time Line panel.
    {kTimeLine, 6, 33029},
    {kTimeLine, 8, 33030},
    {kTimeLine, 12, 33031},
    {kTimeLine, 11, 33032},
    {kTimeLine, 9, 33033},
    {kTimeLine, 10, 33034},
    {kTimeLine, 14, 33035},
    {kTimeLine, 15, 33036},
    {kTimeLine, 16, 33037},
    {kTimeLine, 24, 33038},
    // The tabs over the list.
    {kTabs, 15, 33039},
    {kTabs, 16, 33040},
    {kTabs, 17, 33040},
    {kTabs, 18, 33040},
    {kTabs, 19, 33040},
    // The Cases panel.
    {kCases, 6, 32949},
    {kCases, 7, 32952},
    {kCases, 10, 32953},
    {kCases, 11, 32957},
    {kCases, 12, 32959},
    {kCases, 8, 32960},
    {kCases, 14, 32961},
    {kCases, 5, 32958},
    {kCases, 4, 32954},
}};

} // namespace

const std::array<CMainToolTips::Row, CMainToolTips::kRows>& CMainToolTips::Table()
{
    return kTable;
}

void CMainToolTips::Reposition(const CPanelStack& stack, CSkinForm* const* forms, size_t formCount)
{
    for (size_t row = 0; row < kRows; ++row) {
        m_rects[row] = SkinRect{};
        const Row& tool = kTable[row];
        if (tool.panel < 0 || static_cast<size_t>(tool.panel) >= formCount || forms[tool.panel] == nullptr)
            continue;
        CSkinForm* form = forms[tool.panel];
        if (!stack.IsPanelVisible(form))
            continue;
        const CSkinControl* control = form->FindControl(tool.controlId);
        if (control == nullptr || !control->IsVisible())
            continue;
        m_rects[row] = stack.PanelRectToWindow(form, control->GetRect());
    }
}

int CMainToolTips::ToolAt(int32_t x, int32_t y) const
{
    if (!m_active)
        return -1;
    for (size_t row = 0; row < kRows; ++row) {
        const SkinRect& r = m_rects[row];
        if (x >= r.left && x < r.right && y >= r.top && y < r.bottom)
            return static_cast<int>(row);
    }
    return -1;
}
