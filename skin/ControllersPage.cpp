#include "ControllersPage.h"

#include "DialogText.h"
#include "StringIds.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QPlainTextEdit>
#include <QTableWidget>
#include <QVBoxLayout>

CControllersPage::CControllersPage(const SetupControllers& controllers, QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("controllers"));
    auto* group = new QGroupBox(DialogText(StringId::ControllersDevices));
    auto* groupLayout = new QVBoxLayout(group);
    m_devices = new QTableWidget(static_cast<int>(controllers.devices.size()), 3);
    m_devices->setObjectName(QStringLiteral("devices"));
    m_devices->setHorizontalHeaderLabels({DialogText(StringId::ControllersPort),
                                          DialogText(StringId::ControllersState),
                                          DialogText(StringId::ControllersMapping)});
    m_devices->verticalHeader()->hide();
    m_devices->setSelectionMode(QAbstractItemView::NoSelection);
    m_devices->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_devices->horizontalHeader()->setSectionResizeMode(0, QHeaderView::Stretch);
    m_devices->horizontalHeader()->setSectionResizeMode(1, QHeaderView::ResizeToContents);
    m_devices->horizontalHeader()->setSectionResizeMode(2, QHeaderView::ResizeToContents);
    for (size_t i = 0; i < controllers.devices.size(); ++i) {
        const SetupController& device = controllers.devices[i];
        const int row = static_cast<int>(i);
        m_devices->setItem(row, 0, new QTableWidgetItem(QString::fromStdString(device.port)));
        m_devices->setItem(
            row, 1,
            new QTableWidgetItem(DialogText(device.connected ? StringId::ControllersConnected
                                                             : StringId::ControllersUnplugged)));
        auto* choice = new QComboBox;
        for (const std::string& mapping : controllers.mappings)
            choice->addItem(QString::fromStdString(mapping));
        choice->setCurrentText(QString::fromStdString(device.mapping));
        m_devices->setCellWidget(row, 2, choice);
        m_choices.push_back(choice);
    }
    // Room for four devices before the table scrolls.
    m_devices->setMinimumHeight(m_devices->horizontalHeader()->sizeHint().height() +
                                4 * m_devices->verticalHeader()->defaultSectionSize() +
                                2 * m_devices->frameWidth());
    groupLayout->addWidget(m_devices);
    if (controllers.devices.empty())
        groupLayout->addWidget(new QLabel(DialogText(StringId::ControllersNone)));

    m_learn = new QCheckBox(DialogText(StringId::ControllersLearn));
    m_learn->setObjectName(QStringLiteral("learn"));
    m_learn->setChecked(controllers.learn);
    auto* learnNote = new QLabel(DialogText(StringId::ControllersLearnNote));
    learnNote->setWordWrap(false);

    auto* problemsGroup = new QGroupBox(DialogText(StringId::ControllersProblems));
    auto* problemsLayout = new QVBoxLayout(problemsGroup);
    auto* problems = new QPlainTextEdit;
    problems->setObjectName(QStringLiteral("problems"));
    problems->setReadOnly(true);
    for (const std::string& problem : controllers.problems)
        problems->appendPlainText(QString::fromStdString(problem));
    problemsLayout->addWidget(problems);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(group, 2);
    layout->addWidget(m_learn);
    layout->addWidget(learnNote);
    layout->addWidget(problemsGroup, 1);
}

void CControllersPage::Store(SetupControllers& controllers) const
{
    for (size_t i = 0; i < m_choices.size() && i < controllers.devices.size(); ++i)
        controllers.devices[i].mapping = m_choices[i]->currentText().toStdString();
    controllers.learn = m_learn->isChecked();
}
