#pragma once

#include "ControlListener.h"
#include "SkinForm.h"

#include <QDialog>

#include <cstdint>
#include <memory>

class CPanelStack;
class CPictureManager;
class CSkinWindow;

// The about window (dialog 100, "About..."): skin form 2 in a panel stack of its own, painted
// with the application's picture map, showing the program's version and build date. The
// maker's link (switch 14) opens the web address of string 33067.
class CAboutDialog : public QDialog, public CControlListener {
public:
    static constexpr int32_t kForm = 2;
    static constexpr int32_t kVersionText = 1;
    static constexpr int32_t kDateText = 2;
    static constexpr int32_t kMakerLink = 14;
    static constexpr const char* kVersion = "Version 1.10";
    static constexpr const char* kDate = "Oct  2 2001";

    // The picture manager, with its map loaded, outlives the dialog.
    explicit CAboutDialog(CPictureManager& pictures, QWidget* parent = nullptr);
    ~CAboutDialog() override;

    void OnControlEvent(const CSkinEvent& event, int32_t controlId) override;

    // 0 when the program carries no form 2: the window is then empty.
    bool HasForm() const { return m_formLoaded; }
    CSkinForm& Form() { return m_form; }
    CSkinWindow& Window() { return *m_window; }
    CPanelStack& Stack() { return *m_stack; }

private:
    CSkinWindow* m_window = nullptr; // a child of the dialog, detached from the stack first
    CSkinForm m_form;                // outlives the stack, which unhooks it when it goes
    std::unique_ptr<CPanelStack> m_stack;
    bool m_formLoaded = false;
};

// Shows the about window modally.
void ShowAbout(QWidget* parent, CPictureManager& pictures);
