#include "AboutDialog.h"

#include "DialogText.h"
#include "PanelStack.h"
#include "SkinControl.h"
#include "SkinEvent.h"
#include "SkinWindow.h"
#include "StringIds.h"
#include "TextControl.h"

#include <QDesktopServices>
#include <QDialogButtonBox>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

CAboutDialog::CAboutDialog(CPictureManager& pictures, QWidget* parent)
    : QDialog(parent), m_window(new CSkinWindow(this)), m_form(pictures),
      m_stack(std::make_unique<CPanelStack>(*m_window))
{
    setObjectName(QStringLiteral("100"));
    setWindowTitle(DialogText(StringId::AboutCaption));
    m_formLoaded = m_form.LoadResource(kForm) != 0;
    m_stack->AddPanel(&m_form, true);
    if (auto* version = dynamic_cast<CTextControl*>(m_form.FindControl(kVersionText)))
        version->SetText(kVersion);
    if (auto* date = dynamic_cast<CTextControl*>(m_form.FindControl(kDateText)))
        date->SetText(kDate);
    if (CSkinControl* link = m_form.FindControl(kMakerLink))
        link->AddListener(this);
    m_window->Attach(m_stack.get());
    m_stack->PaintWindow();
    // The links light up under the pointer on the skin's tick.
    m_stack->Start();

    auto* buttons = new QDialogButtonBox;
    QPushButton* ok = buttons->addButton(DialogText(StringId::AboutOk), QDialogButtonBox::AcceptRole);
    ok->setObjectName(QString::fromLatin1(kOkButtonName));
    ok->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_window);
    auto* buttonRow = new QVBoxLayout;
    buttonRow->setContentsMargins(8, 8, 8, 8);
    buttonRow->addWidget(buttons);
    layout->addLayout(buttonRow);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

CAboutDialog::~CAboutDialog()
{
    // The window is a child widget and outlives the members: it must not reach the stack.
    m_window->Attach(nullptr);
    m_stack->Stop();
    if (CSkinControl* link = m_form.FindControl(kMakerLink))
        link->RemoveListener(this);
}

void CAboutDialog::OnControlEvent(const CSkinEvent& event, int32_t controlId)
{
    if (controlId == kMakerLink && event.kind == SkinEventKind::SwitchChanged)
        QDesktopServices::openUrl(QUrl(DialogText(StringId::MakerWebAddress)));
}

void ShowAbout(QWidget* parent, CPictureManager& pictures)
{
    CAboutDialog dialog(pictures, parent);
    dialog.exec();
}
