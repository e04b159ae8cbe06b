#include "CaseTabs.h"

#include "PlayerCore.h"
#include "SkinEvent.h"
#include "SkinForm.h"
#include "SwitchControl.h"
#include "TextControl.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace {

constexpr int kCutTitleKeeps = 10; // characters kept in front of "..."

// Bytes taken by the first count characters of UTF-8 text (all of it when shorter).
size_t CharacterBytes(const std::string& text, int count)
{
    size_t bytes = 0;
    for (int seen = 0; bytes < text.size(); ++bytes) {
        // A continuation byte belongs to the character before it.
        if ((static_cast<unsigned char>(text[bytes]) & 0xC0u) != 0x80u && seen++ == count)
            break;
    }
    return bytes;
}

int Characters(const std::string& text)
{
    int count = 0;
    for (const char c : text)
        count += (static_cast<unsigned char>(c) & 0xC0u) != 0x80u ? 1 : 0;
    return count;
}

} // namespace

CCaseTabs::CCaseTabs(CPlayerCore& core, CSkinForm& form, std::function<void(int)> select)
    : m_core(core), m_form(form), m_select(std::move(select))
{
    for (int k = 0; k < kTabs; ++k) {
        if (CSkinControl* tab = m_form.FindControl(kFirstTab + k))
            tab->AddListener(this);
    }
}

CCaseTabs::~CCaseTabs()
{
    for (int k = 0; k < kTabs; ++k) {
        if (CSkinControl* tab = m_form.FindControl(kFirstTab + k))
            tab->RemoveListener(this);
    }
}

void CCaseTabs::Caption(const CPlaylist& list, int caseNumber, char (&out)[kCaptionBytes])
{
    const std::string& title = list.Title();
    if (list.Count() == 0) {
        std::snprintf(out, sizeof out, "%s", kEmptyCaption);
    } else if (title.empty()) {
        std::snprintf(out, sizeof out, "Case %i", caseNumber);
    } else if (Characters(title) <= kLongestWholeTitle) {
        std::snprintf(out, sizeof out, "%s", title.c_str());
    } else {
        const auto keep = static_cast<int>(CharacterBytes(title, kCutTitleKeeps));
        std::snprintf(out, sizeof out, "%.*s...", keep, title.c_str());
    }
}

void CCaseTabs::Refresh(int shownCase, bool force)
{
    if (force || shownCase != m_tabShown) {
        m_tabShown = shownCase;
        for (int k = 0; k < kTabs; ++k) {
            if (auto* tab = dynamic_cast<CSwitchControl*>(m_form.FindControl(kFirstTab + k)))
                tab->SetState(k - 1 == shownCase ? 1 : 0);
        }
    }
    for (int i = 0; i < CPlayerCore::kCases; ++i) {
        char caption[kCaptionBytes];
        Caption(m_core.Case(i), i + 1, caption);
        auto& shown = m_captions[static_cast<size_t>(i)];
        if (!force && std::strcmp(caption, shown.data()) == 0)
            continue;
        std::memcpy(shown.data(), caption, sizeof caption);
        if (auto* text = dynamic_cast<CTextControl*>(m_form.FindControl(kFirstCaption + 1 + i)))
            text->SetText(std::string(shown.data()));
    }
}

void CCaseTabs::OnControlEvent(const CSkinEvent& event, int32_t controlId)
{
    const int k = controlId - kFirstTab;
    const CSkinEvent* mouse = event.source;
    if (event.kind != SkinEventKind::SwitchChanged || k < 0 || k >= kTabs || mouse == nullptr ||
        mouse->kind != SkinEventKind::MouseButton || !mouse->down)
        return;
    m_select(k - 1);
}
