#pragma once

#include "ControlListener.h"

#include <cstdint>
#include <functional>
#include <span>

class CControlTable;
class CSkinForm;

// A skin control that stands for a control function: the controller element learned while it is
// pointed at writes that function.
struct SkinLearnTarget {
    int32_t skinId;    // the control's id in its form
    int32_t controlId; // the control function
    int deck;          // 0 = Deck A, 1 = Deck B, -1 for a global function
};

// Learn mode's one way in from the skin: listens to the controls of a form that stand for a
// control function, and while learn mode is on, a press on any of them names that function (and
// deck) as the target of the next controller element moved. The form's own listener asks
// Intercepts first, so that the press is not also a move of the deck or the mixer.
//
// Threads: user-interface thread only.
class CSkinLearn : public CControlListener {
public:
    using Learning = std::function<bool()>;
    using Learn = std::function<void(int32_t controlId, int deck)>;

    // The controls of the deck panel and of the mixer panel that stand for a function.
    static std::span<const SkinLearnTarget> DeckPanelTargets();
    static std::span<const SkinLearnTarget> MixerPanelTargets();

    // form and controls outlive this object; listens to those of targets that the form has.
    CSkinLearn(CSkinForm& form, CControlTable& controls, std::span<const SkinLearnTarget> targets,
               Learning learning, Learn learn);
    ~CSkinLearn() override;
    CSkinLearn(const CSkinLearn&) = delete;
    CSkinLearn& operator=(const CSkinLearn&) = delete;

    // True while learn mode is on for a control that stands for a function: its events point at
    // the function and must not act.
    bool Intercepts(int32_t skinId) const;
    void OnControlEvent(const CSkinEvent& event, int32_t skinId) override;

private:
    const SkinLearnTarget* Find(int32_t skinId) const;

    CSkinForm& m_form;
    CControlTable& m_controls;
    std::span<const SkinLearnTarget> m_targets;
    Learning m_learning;
    Learn m_learn;
};
