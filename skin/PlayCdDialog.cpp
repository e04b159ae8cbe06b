#include "PlayCdDialog.h"

#include "DialogText.h"
#include "StringIds.h"

#include <QDialogButtonBox>
#include <QFontMetrics>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>

CPlayCdDialog::CPlayCdDialog(const std::string& secondOption, bool selectSecond, QWidget* parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("207"));
    setWindowTitle(DialogText(StringId::PlayCdCaption));
    m_list = new QListWidget;
    m_list->setObjectName(QStringLiteral("1201"));
    m_list->addItem(DialogText(StringId::PlayOriginalOrder));
    if (!secondOption.empty())
        m_list->addItem(QString::fromStdString(secondOption));
    m_list->setCurrentRow(selectSecond && m_list->count() > 1 ? 1 : 0);
    // Two rows and every text whole, without a scroll bar.
    int widest = 0;
    for (int i = 0; i < m_list->count(); ++i)
        widest = std::max(widest, m_list->fontMetrics().horizontalAdvance(m_list->item(i)->text()));
    const int frame = 2 * m_list->frameWidth();
    m_list->setMinimumWidth(std::max(300, widest + frame + 24));
    // Rows spaced apart, so that a hurried click in a dark room hits the one it means.
    m_list->setSpacing(3);
    m_list->setFixedHeight(2 * (m_list->sizeHintForRow(0) + 2 * m_list->spacing()) + frame + 2);
    connect(m_list, &QListWidget::itemDoubleClicked, this, &QDialog::accept);

    auto* buttons = new QDialogButtonBox;
    QPushButton* play = buttons->addButton(DialogText(StringId::PlayCdPlay), QDialogButtonBox::AcceptRole);
    play->setObjectName(QString::fromLatin1(kOkButtonName));
    play->setDefault(true);
    buttons->addButton(DialogText(StringId::PlayCdCancel), QDialogButtonBox::RejectRole)
        ->setObjectName(QString::fromLatin1(kCancelButtonName));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_list);
    layout->addWidget(buttons);
    layout->setSizeConstraint(QLayout::SetMinimumSize);
}

int CPlayCdDialog::Choice() const
{
    if (result() != QDialog::Accepted)
        return -1;
    return m_list->currentRow() == 1 ? 1 : 0;
}

int ChoosePlayOrder(QWidget* parent, const std::string& secondOption, bool selectSecond)
{
    CPlayCdDialog dialog(secondOption, selectSecond, parent);
    dialog.exec();
    return dialog.Choice();
}
