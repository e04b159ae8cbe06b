#pragma once

#include <QWidget>

#include <string>
#include <vector>

class QCheckBox;
class QComboBox;
class QTableWidget;

// One DJ controller as the setup sheet shows it.
struct SetupController {
    std::string port;
    std::string mapping; // the mapping's name; empty when none is used
    bool connected = false;
};

// What the Controllers page shows and edits: the devices with the mapping chosen for each, the
// mappings there are, learn on or off, and the problems found in mapping files and ports.
struct SetupControllers {
    std::vector<SetupController> devices;
    std::vector<std::string> mappings;
    std::vector<std::string> problems;
    bool learn = false;
};

// The setup sheet's "Controllers" page: a table of the devices found (port, connected or
// unplugged, a mapping chosen from a list), the Learn box with its note, and the problems.
class CControllersPage : public QWidget {
public:
    explicit CControllersPage(const SetupControllers& controllers, QWidget* parent = nullptr);

    // The mapping chosen for each device (in the order given) and learn.
    void Store(SetupControllers& controllers) const;

    QTableWidget* Devices() const { return m_devices; }
    QCheckBox* Learn() const { return m_learn; }

private:
    QTableWidget* m_devices = nullptr; // children of the page
    std::vector<QComboBox*> m_choices;
    QCheckBox* m_learn = nullptr;
};
