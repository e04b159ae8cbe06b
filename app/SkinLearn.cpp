#include "SkinLearn.h"

#include "ControlTable.h"
#include "SkinControl.h"
#include "SkinEvent.h"
#include "SkinForm.h"

#include <algorithm>
#include <array>

namespace {

// The deck panel's Play button runs the play ("Run/Stop") as the Space key does; the master
// fader is "Master Volume".
constexpr std::array<SkinLearnTarget, 2> kDeckPanel = {{
    {800, ControlId::RunStop, -1},
    {204, ControlId::MasterVolume, -1},
}};
constexpr std::array<SkinLearnTarget, 1> kMixerPanel = {{
    {6, ControlId::XFader, -1},
}};

// The mouse button behind an event: the event itself, or the one a control reports it with.
const CSkinEvent* MouseButtonOf(const CSkinEvent& event)
{
    const CSkinEvent* mouse = event.kind == SkinEventKind::MouseButton ? &event : event.source;
    return mouse != nullptr && mouse->kind == SkinEventKind::MouseButton ? mouse : nullptr;
}

} // namespace

std::span<const SkinLearnTarget> CSkinLearn::DeckPanelTargets()
{
    return kDeckPanel;
}

std::span<const SkinLearnTarget> CSkinLearn::MixerPanelTargets()
{
    return kMixerPanel;
}

CSkinLearn::CSkinLearn(CSkinForm& form, CControlTable& controls, std::span<const SkinLearnTarget> targets,
                       Learning learning, Learn learn)
    : m_form(form), m_controls(controls), m_targets(targets), m_learning(std::move(learning)),
      m_learn(std::move(learn))
{
    for (const SkinLearnTarget& target : m_targets) {
        if (CSkinControl* control = m_form.FindControl(target.skinId))
            control->AddListener(this);
    }
}

CSkinLearn::~CSkinLearn()
{
    for (const SkinLearnTarget& target : m_targets) {
        if (CSkinControl* control = m_form.FindControl(target.skinId))
            control->RemoveListener(this);
    }
}

const SkinLearnTarget* CSkinLearn::Find(int32_t skinId) const
{
    for (const SkinLearnTarget& target : m_targets) {
        if (target.skinId == skinId)
            return &target;
    }
    return nullptr;
}

bool CSkinLearn::Intercepts(int32_t skinId) const
{
    return Find(skinId) != nullptr && m_learning && m_learning();
}

void CSkinLearn::OnControlEvent(const CSkinEvent& event, int32_t skinId)
{
    if (!Intercepts(skinId))
        return;
    const SkinLearnTarget* target = Find(skinId);
    // A fader or button pointed at may have drawn itself moved: the function is marked changed,
    // so that the panel's next refresh shows its value again. Only if nothing wrote it since it
    // was read, so that a value Automix stores meanwhile is never put back.
    if (CControlFunction* function = m_controls.FindFunction(target->controlId)) {
        const int channel = std::max(target->deck, 0);
        const int32_t value = function->Value(channel);
        function->CompareAndSet(channel, value, value, Marks::Changed);
    }
    // A control may report one press twice (as a mouse event and with its change): naming the
    // same target again changes nothing.
    const CSkinEvent* mouse = MouseButtonOf(event);
    if (mouse != nullptr && mouse->down && m_learn)
        m_learn(target->controlId, target->deck);
}
