#include "MixInfoDialog.h"

#include "DialogText.h"
#include "StringIds.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

CMixInfoDialog::CMixInfoDialog(const std::string& listTitle, const std::string& mixTitle,
                               const std::string& comment, QWidget* parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("198"));
    setWindowTitle(DialogText(StringId::MixInfoCaption));
    m_listTitle = new QLineEdit(QString::fromStdString(listTitle));
    m_listTitle->setObjectName(QStringLiteral("1203"));
    m_mixTitle = new QLineEdit(QString::fromStdString(mixTitle));
    m_mixTitle->setObjectName(QStringLiteral("1088"));
    m_comment = new QPlainTextEdit(QString::fromStdString(comment));
    m_comment->setObjectName(QStringLiteral("1094"));
    // Return in the comment is a new line, not OK; Tab moves on to the buttons.
    m_comment->setTabChangesFocus(true);
    const int lineWidth = m_listTitle->fontMetrics().averageCharWidth() * 48;
    m_listTitle->setMinimumWidth(lineWidth);
    m_comment->setMinimumHeight(m_comment->fontMetrics().lineSpacing() * 6);

    auto* form = new QFormLayout;
    form->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
    form->addRow(DialogText(StringId::MixInfoListTitle), m_listTitle);
    form->addRow(DialogText(StringId::MixInfoMixTitle), m_mixTitle);
    form->addRow(DialogText(StringId::MixInfoComment), m_comment);

    auto* buttons = new QDialogButtonBox;
    QPushButton* ok = buttons->addButton(DialogText(StringId::MixInfoOk), QDialogButtonBox::AcceptRole);
    ok->setObjectName(QString::fromLatin1(kOkButtonName));
    ok->setDefault(true);
    buttons->addButton(DialogText(StringId::MixInfoCancel), QDialogButtonBox::RejectRole)
        ->setObjectName(QString::fromLatin1(kCancelButtonName));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(buttons);
    layout->setSizeConstraint(QLayout::SetMinimumSize);
}

std::string CMixInfoDialog::ListTitle() const
{
    return m_listTitle->text().toStdString();
}

std::string CMixInfoDialog::MixTitle() const
{
    return m_mixTitle->text().toStdString();
}

std::string CMixInfoDialog::Comment() const
{
    return m_comment->toPlainText().toStdString();
}

int EditMixInfo(QWidget* parent, std::string& listTitle, std::string& mixTitle, std::string& comment)
{
    CMixInfoDialog dialog(listTitle, mixTitle, comment, parent);
    if (dialog.exec() != QDialog::Accepted)
        return 0;
    listTitle = dialog.ListTitle();
    mixTitle = dialog.MixTitle();
    comment = dialog.Comment();
    return 1;
}
