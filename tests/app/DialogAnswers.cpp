#include "DialogAnswers.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <filesystem>
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

CDialogAnswers::Answer ChooseFile(const std::string& path)
{
    return [path](QWidget* dialog) {
        auto* files = qobject_cast<QFileDialog*>(dialog);
        ASSERT_NE(files, nullptr) << dialog->metaObject()->className();
        const std::filesystem::path chosen(path);
        files->setDirectory(QString::fromStdString(chosen.parent_path().string()));
        auto* name = files->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        ASSERT_NE(name, nullptr);
        files->activateWindow();
        name->setFocus();
        EXPECT_TRUE(QTest::qWaitFor([name] { return name->hasFocus(); }, 2000));
        name->selectAll();
        QTest::keyClicks(name, QString::fromStdString(chosen.filename().string()));
        auto* buttons = files->findChild<QDialogButtonBox*>(QStringLiteral("buttonBox"));
        ASSERT_NE(buttons, nullptr);
        QPushButton* accept = buttons->button(QDialogButtonBox::Open);
        if (accept == nullptr)
            accept = buttons->button(QDialogButtonBox::Save);
        ASSERT_NE(accept, nullptr);
        QTest::mouseClick(accept, Qt::LeftButton);
        if (files->isVisible()) {
            ADD_FAILURE() << "the file dialog refused " << path;
            files->reject();
        }
    };
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
