#include "DialogAnswers.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMenu>
#include <QTest>

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

CDialogAnswers::CDialogAnswers(std::vector<Answer> answers) : m_answers(std::move(answers))
{
    m_timer.setInterval(20);
    QObject::connect(&m_timer, &QTimer::timeout, [this] { Look(); });
    m_timer.start();
}

void CDialogAnswers::Look()
{
    QWidget* modal = QApplication::activeModalWidget();
    if (modal == nullptr)
        modal = QApplication::activePopupWidget(); // a menu
    if (modal == nullptr || modal == m_last)
        return;
    m_last = modal;
    m_seen.push_back(modal->metaObject()->className());
    if (static_cast<size_t>(m_answered) < m_answers.size())
        m_answers[static_cast<size_t>(m_answered++)](modal);
    else
        modal->close();
}

void Click(QWidget* dialog, const char* objectName)
{
    auto* button = dialog->findChild<QAbstractButton*>(QString::fromLatin1(objectName));
    ASSERT_NE(button, nullptr) << objectName;
    QTest::mouseClick(button, Qt::LeftButton);
}

void ClickBox(QWidget* dialog, QMessageBox::StandardButton which)
{
    auto* box = qobject_cast<QMessageBox*>(dialog);
    ASSERT_NE(box, nullptr) << dialog->metaObject()->className();
    QTest::mouseClick(box->button(which), Qt::LeftButton);
}

std::string Bytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}
