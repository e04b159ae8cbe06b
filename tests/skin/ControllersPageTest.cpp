// The setup sheet's Controllers page through real mouse events on Qt's offscreen platform.
#include "DialogTestKit.h"
#include "SetupSheet.h"

#include <QCheckBox>
#include <QComboBox>
#include <QPlainTextEdit>
#include <QTabWidget>
#include <QTableWidget>

#include <memory>

using namespace dialogtest;

namespace {

SetupControllers TwoControllers()
{
    SetupControllers controllers;
    controllers.devices = {{"Deckstar Mini:out 129:0", "generic-two-deck", true},
                           {"Aurelle Twin:controller 130:0", "aurelle-twin", false}};
    controllers.mappings = {"aurelle-twin", "generic-two-deck"};
    controllers.problems = {"aurelle-twin.midimap:7: unknown control id 999"};
    return controllers;
}

} // namespace

TEST(ControllersPage, ShowsTheDevicesAndStoresTheChosenMappingAndLearnOnlyOnOk)
{
    PlayerSettings settings;
    for (const bool ok : {false, true}) {
        SetupControllers controllers = TwoControllers();
        CSetupSheet sheet(settings, {{"ALSA Default Device", 0}}, {}, nullptr, &controllers);
        Show(&sheet);
        ASSERT_EQ(sheet.Tabs()->count(), 4);
        EXPECT_EQ(sheet.Tabs()->tabText(3), "Controllers");
        sheet.Tabs()->setCurrentIndex(3);
        QApplication::processEvents();

        auto* table = Control<QTableWidget>(&sheet, "devices");
        ASSERT_EQ(table->rowCount(), 2);
        EXPECT_EQ(table->item(0, 0)->text(), "Deckstar Mini:out 129:0");
        EXPECT_EQ(table->item(0, 1)->text(), "connected");
        EXPECT_EQ(table->item(1, 1)->text(), "unplugged");
        auto* first = qobject_cast<QComboBox*>(table->cellWidget(0, 2));
        ASSERT_NE(first, nullptr);
        EXPECT_EQ(first->currentText(), "generic-two-deck");
        EXPECT_EQ(Control<QPlainTextEdit>(&sheet, "problems")->toPlainText(),
                  "aurelle-twin.midimap:7: unknown control id 999");

        first->setCurrentIndex(0);
        ClickCheckBox(Control<QCheckBox>(&sheet, "learn"));
        Click(&sheet, ok ? "1" : "2");
        EXPECT_EQ(controllers.devices[0].mapping, ok ? "aurelle-twin" : "generic-two-deck") << ok;
        EXPECT_EQ(controllers.learn, ok);
    }
}

TEST(ControllersPage, IsLeftOutWithoutControllersToShow)
{
    PlayerSettings settings;
    CSetupSheet sheet(settings, {{"ALSA Default Device", 0}}, {});
    EXPECT_EQ(sheet.Tabs()->count(), 3);
}
