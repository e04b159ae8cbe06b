// The about window: the program's own about form in a skin window, and its link to the maker.
#include "AboutDialog.h"
#include "ControlClassTable.h"
#include "DialogTestKit.h"
#include "PanelStack.h"
#include "PictureManager.h"
#include "ResourceTable.h"
#include "SkinControl.h"
#include "SkinForm.h"
#include "SkinPicture.h"
#include "SkinWindow.h"
#include "TextControl.h"

#include <QDesktopServices>
#include <QUrl>

#include <set>
#include <vector>

using namespace dialogtest;

// Takes the addresses the desktop would open.
class CUrlCatcher : public QObject {
    Q_OBJECT
public:
    std::vector<QUrl> opened;
public slots:
    void Open(const QUrl& url) { opened.push_back(url); }
};

namespace {

class AboutDialogTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        RegisterSkinControlClasses();
        CSkinForm::SetInputEnabled(true);
        ASSERT_EQ(pictures.LoadMap(), 1);
        QDesktopServices::setUrlHandler(QStringLiteral("https"), &catcher, "Open");
        QDesktopServices::setUrlHandler(QStringLiteral("http"), &catcher, "Open");
    }
    void TearDown() override
    {
        QDesktopServices::unsetUrlHandler(QStringLiteral("https"));
        QDesktopServices::unsetUrlHandler(QStringLiteral("http"));
        CSkinForm::SetInputEnabled(false);
    }
    // A press and release at the centre of a control of the about form.
    static void ClickControl(CAboutDialog& dialog, int32_t id)
    {
        CSkinControl* control = dialog.Form().FindControl(id);
        ASSERT_NE(control, nullptr) << id;
        const SkinRect r = control->GetRect();
        const QPoint centre((r.left + r.right) / 2, (r.top + r.bottom) / 2);
        QTest::mouseMove(&dialog.Window(), centre);
        QTest::mouseClick(&dialog.Window(), Qt::LeftButton, Qt::NoModifier, centre);
    }

    CPictureManager pictures{CResourceTable::Program()};
    CUrlCatcher catcher;
};

TEST_F(AboutDialogTest, ShowsTheProgramsVersionAndDateOnTheAboutForm)
{
    CAboutDialog dialog(pictures);
    Show(&dialog);
    EXPECT_EQ(dialog.windowTitle(), "About...");
    ASSERT_TRUE(dialog.HasForm());
    EXPECT_EQ(dialog.Window().width(), 480);
    EXPECT_EQ(dialog.Window().height(), 360);
    auto* version = dynamic_cast<CTextControl*>(dialog.Form().FindControl(1));
    auto* date = dynamic_cast<CTextControl*>(dialog.Form().FindControl(2));
    ASSERT_NE(version, nullptr);
    ASSERT_NE(date, nullptr);
    EXPECT_EQ(version->GetText(), "Version 1.10");
    EXPECT_EQ(date->GetText(), "Oct  2 2001");
    // Both texts fit their boxes: nothing of them scrolls or is cut.
    EXPECT_FALSE(version->IsScrolling());
    EXPECT_FALSE(date->IsScrolling());
}

TEST_F(AboutDialogTest, TheWindowShowsThePaintedForm)
{
    CAboutDialog dialog(pictures);
    Show(&dialog);
    const QImage image = dialog.Window().grab().toImage();
    ASSERT_EQ(image.size(), QSize(480, 360));
    // The back picture holds the form's background and texts: many colours, not a blank.
    std::set<QRgb> colours;
    for (int y = 0; y < image.height(); y += 3)
        for (int x = 0; x < image.width(); x += 3)
            colours.insert(image.pixel(x, y));
    EXPECT_GT(colours.size(), 50u);
    // What is presented is the stack's back picture.
    const CSkinPicture& back = dialog.Stack().BackPicture();
    EXPECT_EQ(image.pixel(240, 80) | 0xFF000000u, back.PixelAt(240, 80) | 0xFF000000u);
}

TEST_F(AboutDialogTest, TheMakersLinkOpensTheMakersAddress)
{
    CAboutDialog dialog(pictures);
    Show(&dialog);
    ClickControl(dialog, CAboutDialog::kMakerLink);
    ASSERT_EQ(catcher.opened.size(), 1u);
    EXPECT_EQ(catcher.opened[0], QUrl(QStringLiteral("https://www.kelmaric.example/quandel")));
}

TEST_F(AboutDialogTest, TheOtherLinkAndTheTextsOpenNothing)
{
    CAboutDialog dialog(pictures);
    Show(&dialog);
    for (const int32_t id : {3, 1, 2})
        ClickControl(dialog, id);
    EXPECT_TRUE(catcher.opened.empty());
}

TEST_F(AboutDialogTest, OkAndEscapeClose)
{
    {
        CAboutDialog dialog(pictures);
        Show(&dialog);
        Click(&dialog, "1");
        EXPECT_FALSE(dialog.isVisible());
    }
    WhenModal([](QWidget* dialog) { QTest::keyClick(dialog, Qt::Key_Escape); });
    ShowAbout(nullptr, pictures);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

TEST_F(AboutDialogTest, WithoutTheFormTheDialogStillOpensAndCloses)
{
    CResourceTable empty;
    CPictureManager none(empty);
    CAboutDialog dialog(none);
    Show(&dialog);
    EXPECT_FALSE(dialog.HasForm());
    Click(&dialog, "1");
    EXPECT_FALSE(dialog.isVisible());
}

} // namespace

#include "AboutDialogTest.moc"
