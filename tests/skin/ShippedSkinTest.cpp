// The skin the program carries: its forms, pictures, picture map and fonts, read back through
// the same classes the player uses.
#include "BitmapFont.h"
#include "ByteReader.h"
#include "ByteWriter.h"
#include "PictureManager.h"
#include "ResourceTable.h"
#include "SelectorControl.h"
#include "SkinControl.h"
#include "SkinForm.h"
#include "SkinPicture.h"
#include "SwitchControl.h"
#include "TextControl.h"

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

void RegisterSkinControlClasses();

namespace {

class ShippedSkin : public ::testing::Test {
protected:
    void SetUp() override
    {
        RegisterSkinControlClasses();
        ASSERT_EQ(m_pictures.LoadMap(), 1);
    }

    std::unique_ptr<CSkinForm> Load(int32_t formId)
    {
        auto form = std::make_unique<CSkinForm>(m_pictures);
        EXPECT_EQ(form->LoadResource(formId), 1) << "form " << formId;
        return form;
    }

    static CResourceTable::Blob Resource(ResourceType type, int32_t id)
    {
        return CResourceTable::Program().Find(type, id);
    }

    CPictureManager m_pictures{CResourceTable::Program()};
};

struct FormShape {
    int32_t id;
    int32_t background;
    int32_t width;
    int32_t height;
    size_t controls;
};

const FormShape kForms[] = {
    {6, 51, 484, 105, 36}, {10, 4, 484, 8, 0},    {1, 7, 484, 71, 29}, {7, 40, 484, 230, 12},
    {4, 14, 484, 24, 10},  {3, 56, 484, 358, 11}, {2, 6, 480, 360, 4}, {5, 28, 15, 1, 0},
    {8, 28, 15, 1, 0},     {9, 28, 15, 1, 0},
};

TEST_F(ShippedSkin, EveryFormHasItsBackgroundSizeAndControlCountAndWritesBackByteIdentical)
{
    for (const FormShape& shape : kForms) {
        SCOPED_TRACE("form " + std::to_string(shape.id));
        const CResourceTable::Blob blob = Resource(ResourceType::Form, shape.id);
        ASSERT_NE(blob.data, nullptr);
        CSkinForm form(m_pictures);
        CByteReader reader(blob.data, blob.size);
        ASSERT_EQ(form.Read(reader), 1);
        EXPECT_EQ(form.BackgroundId(), shape.background);
        EXPECT_EQ(form.Width(), shape.width);
        EXPECT_EQ(form.Height(), shape.height);
        EXPECT_EQ(form.ControlCount(), shape.controls);
        CByteWriter writer;
        form.Write(writer);
        EXPECT_EQ(writer.Bytes(), std::vector<uint8_t>(blob.data, blob.data + blob.size));
        // Every control lies inside its panel, so none is cut off or paints a neighbour.
        for (size_t i = 0; i < form.ControlCount(); ++i) {
            const SkinRect r = form.ControlAt(i)->GetRect();
            EXPECT_TRUE((SkinRect{0, 0, shape.width, shape.height}).Contains(r))
                << "control " << form.ControlAt(i)->Id() << " at " << r.left << "," << r.top << "-" << r.right
                << "," << r.bottom;
        }
    }
}

TEST_F(ShippedSkin, EmptyFormsAndTheBorderStripAreTwelveBytes)
{
    for (const int32_t id : {5, 8, 9, 10})
        EXPECT_EQ(Resource(ResourceType::Form, id).size, 12u) << "form " << id;
}

TEST_F(ShippedSkin, PictureMapListsItsIdsInStoredOrderAndEveryPictureLoads)
{
    const std::vector<int32_t> expected = {
        7,  15,  19,  6,   56,  59,  60,  61,  62, 63, 28, 40,  51,  53,  67, 68,  81,  86, 36,  91,
        94, 119, 120, 126, 128, 129, 130, 131, 18, 22, 39, 134, 135, 144, 95, 100, 102, 10, 139, 145,
        2,  8,   9,   11,  12,  13,  16,  20,  21, 17, 23, 24,  25,  26,  1,  27,  29,  30, 31,  32,
        33, 34,  35,  37,  38,  41,  42,  43,  44, 45, 46, 47,  4,   5,   14, 3,   48,  49, 50};
    const CResourceTable::Blob map = Resource(ResourceType::PictureMap, 1);
    ASSERT_NE(map.data, nullptr);
    CByteReader reader(map.data, map.size);
    EXPECT_EQ(reader.ReadI32(), 1);
    EXPECT_EQ(reader.ReadI32(), 79);
    std::vector<int32_t> ids;
    for (const CPictureMap::Entry& entry : m_pictures.Map().Entries()) {
        ids.push_back(entry.id);
        EXPECT_EQ(entry.sourcePath.front(), '/');
        EXPECT_EQ(entry.sourcePath.substr(entry.sourcePath.size() - 4), ".tga");
    }
    EXPECT_EQ(ids, expected);

    // The depths the resources promise: the resize bar, the marker strip and the empty
    // background at 16 bits, fonts, fader handles and link buttons with alpha at 32, the rest
    // at 24.
    const std::set<int32_t> depth16 = {18, 39, 28};
    const std::set<int32_t> depth32 = {3, 15, 17, 23, 86, 19, 95, 48, 49, 50, 145};
    for (const int32_t id : expected) {
        const CResourceTable::Blob tga = Resource(ResourceType::Picture, id);
        ASSERT_GE(tga.size, 18u) << "picture " << id;
        const int depth = depth16.count(id) != 0 ? 16 : depth32.count(id) != 0 ? 32 : 24;
        EXPECT_EQ(tga.data[16], depth) << "picture " << id;
        EXPECT_EQ(tga.data[0], 0) << "picture " << id << " has an id field";
        EXPECT_EQ(tga.data[2], 2) << "picture " << id << " is not uncompressed true colour";
        const CSkinPicture* picture = m_pictures.GetPicture(id);
        ASSERT_NE(picture, nullptr) << "picture " << id;
        EXPECT_GT(picture->Width(), 0);
        m_pictures.ReleasePicture(id);
    }
}

TEST_F(ShippedSkin, MenuPictureCarriesATgaExtensionAreaThatLoadingIgnores)
{
    const CResourceTable::Blob tga = Resource(ResourceType::Picture, 10);
    ASSERT_GE(tga.size, 18u + 26u);
    const int32_t width = tga.data[12] | tga.data[13] << 8;
    const int32_t height = tga.data[14] | tga.data[15] << 8;
    const size_t pixelBytes = static_cast<size_t>(width) * static_cast<size_t>(height) * 3;
    EXPECT_EQ(tga.size, 18 + pixelBytes + 495 + 26);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(tga.data + tga.size - 18), 17), "TRUEVISION-XFILE.");
    const CSkinPicture* picture = m_pictures.GetPicture(10);
    ASSERT_NE(picture, nullptr);
    EXPECT_EQ(picture->Width(), width);
    EXPECT_EQ(picture->Height(), height);
    // The bottom-right pixel is the last one before the extension area: the pixels are intact.
    const uint8_t* last = tga.data + 18 + pixelBytes - 3;
    EXPECT_EQ(picture->PixelAt(width - 1, 0), 0xFF000000u | last[2] << 16 | last[1] << 8 | last[0]);
    m_pictures.ReleasePicture(10);
}

TEST_F(ShippedSkin, FontsHave256MarksAndTheirGlyphHeights)
{
    const std::map<int32_t, int32_t> heights = {{3, 11}, {15, 12}, {17, 13}, {23, 13}, {86, 12}};
    for (const auto& [id, height] : heights) {
        SCOPED_TRACE("font " + std::to_string(id));
        const CSkinPicture* picture = m_pictures.GetPicture(id);
        ASSERT_NE(picture, nullptr);
        int marks = 0;
        for (int32_t x = 0; x < picture->Width(); ++x)
            marks += picture->PixelAt(x, 0) != 0 ? 1 : 0;
        EXPECT_EQ(marks, 256);
        CBitmapFont font;
        font.Attach(picture);
        EXPECT_FALSE(font.IsFixedPitch());
        EXPECT_EQ(font.GlyphHeight(), height);
        // Proportional and inked: a W is wider than an i, and digits share one width so times
        // do not jitter as they count.
        EXPECT_GT(font.GlyphWidth('W'), font.GlyphWidth('i'));
        EXPECT_EQ(font.GlyphWidth('0'), font.GlyphWidth('1'));
        int ink = 0;
        for (int32_t x = font.GlyphX('A'); x < font.GlyphX('A') + font.GlyphWidth('A'); ++x)
            for (int32_t y = 1; y <= height; ++y)
                ink += (picture->PixelAt(x, y) >> 24) != 0 ? 1 : 0;
        EXPECT_GT(ink, 8);
        m_pictures.ReleasePicture(id);
    }
}

// Every control id the application, the playlist panels and the mixer address, with the class
// its role needs.
TEST_F(ShippedSkin, EveryAddressedControlIsInItsFormWithAFittingClass)
{
    const std::string sw = "switch.dll", text = "text.dll", fader = "selector.dll",
                      level = "levelMonitor.dll";
    const std::string shade = "Shade Area", wave = "waveDisplay.dll";
    struct Expected {
        int32_t form;
        std::vector<int32_t> ids;
        std::string className;
    };
    const std::vector<Expected> table = {
        // The deck and master panel.
        {6,
         {21,  23,  29, 2,  4,  804, 800,  1005, 1004, 1002, 1006,
          803, 802, 5,  60, 61, 6,   9002, 18,   9003, 9004, 3020},
         sw},
        {6, {13, 14, 19, 20, 10, 11, 24, 17}, text},
        {6, {15, 16, 22}, level},
        {6, {204}, fader},
        {6, {600, 601}, shade},
        // The mixer.
        {1, {6}, fader},
        {1, {8, 11, 30, 31, 32}, sw},
        {1, {28}, text},
        {1, {300, 301}, wave},
        {1, {100, 101, 110, 111, 120, 121, 130, 131, 140, 141, 150, 151, 160, 161, 170, 171, 190, 191}, sw},
        {1, {600, 601}, shade},
        // The Time Line panel.
        {7, {6, 8, 9, 10, 11, 12, 14, 15, 16}, sw},
        {7, {24}, text},
        {7, {1, 2}, "Mix Track View"},
        // The tabs, the playlist, the about window.
        {4, {15, 16, 17, 18, 19}, sw},
        {4, {20, 21, 22, 23, 24}, text},
        {3, {4, 5, 6, 7, 8, 10, 11, 12, 13, 14}, sw},
        {3, {1}, "Generic Windows Ctrl"},
        {2, {1, 2}, text},
        {2, {3, 14}, sw},
    };
    std::map<int32_t, std::unique_ptr<CSkinForm>> forms;
    for (const Expected& e : table) {
        if (forms.count(e.form) == 0)
            forms[e.form] = Load(e.form);
        for (const int32_t id : e.ids) {
            const CSkinControl* control = forms[e.form]->FindControl(id);
            ASSERT_NE(control, nullptr) << "form " << e.form << " control " << id;
            EXPECT_EQ(control->ClassName(), e.className) << "form " << e.form << " control " << id;
        }
    }

    // Ids are distinct within each form, since lookups take the first match.
    for (const auto& [formId, form] : forms) {
        std::set<int32_t> seen;
        for (size_t i = 0; i < form->ControlCount(); ++i)
            EXPECT_TRUE(seen.insert(form->ControlAt(i)->Id()).second)
                << "form " << formId << " repeats id " << form->ControlAt(i)->Id();
    }

    // Roles that depend on class data: the fade-time buttons repeat while held, the lamps
    // have six brightness frames, the run light eight frames, the play button reports its
    // release, and the cross-fader spans 0..255.
    for (const int32_t id : {8, 11}) {
        const auto* button = dynamic_cast<const CSwitchControl*>(forms[1]->FindControl(id));
        ASSERT_NE(button, nullptr);
        EXPECT_EQ(button->m_notifyMode, 2);
        EXPECT_EQ(button->m_repeatPeriod, 1);
        EXPECT_EQ(button->m_repeatDelay, 3);
    }
    for (const int32_t id : {100, 191}) {
        const auto* lamp = dynamic_cast<const CSwitchControl*>(forms[1]->FindControl(id));
        ASSERT_NE(lamp, nullptr);
        EXPECT_EQ(lamp->m_frameCount, 6);
        EXPECT_EQ(lamp->StatesPerGroup(), 6);
    }
    EXPECT_EQ(dynamic_cast<const CSwitchControl*>(forms[6]->FindControl(18))->StatesPerGroup(), 8);
    EXPECT_EQ(dynamic_cast<const CSwitchControl*>(forms[6]->FindControl(800))->m_notifyMode, 1);
    EXPECT_EQ(dynamic_cast<const CSwitchControl*>(forms[6]->FindControl(5))->StatesPerGroup(), 3);
    const auto* crossFader = dynamic_cast<const CSelectorControl*>(forms[1]->FindControl(6));
    ASSERT_NE(crossFader, nullptr);
    EXPECT_FALSE(crossFader->IsKnob());
    EXPECT_EQ(crossFader->Field(CSelectorControl::FaderRange), 255);
    for (const int32_t id : {15, 16, 17, 18, 19})
        EXPECT_EQ(dynamic_cast<const CSwitchControl*>(forms[4]->FindControl(id))->StatesPerGroup(), 2);

    // The playlist's list control grows with the panel; its resize bar follows the bottom and
    // reports press, moves and release for the drag.
    EXPECT_EQ(forms[3]->FindControl(1)->GetAnchorFlags(), 16);
    const auto* resizeBar = dynamic_cast<const CSwitchControl*>(forms[3]->FindControl(13));
    EXPECT_EQ(resizeBar->GetAnchorFlags(), 32);
    EXPECT_EQ(resizeBar->m_notifyMode, 1);
    EXPECT_NE(resizeBar->m_reportHover, 0);
    // The seek buttons and fade-time buttons act on right presses too.
    for (const int32_t id : {1002, 1004, 1005, 1006})
        EXPECT_EQ(dynamic_cast<const CSwitchControl*>(forms[6]->FindControl(id))->m_leftButtonOnly, 0);
    for (const int32_t id : {8, 11})
        EXPECT_EQ(dynamic_cast<const CSwitchControl*>(forms[1]->FindControl(id))->m_leftButtonOnly, 0);
}

TEST_F(ShippedSkin, PlaceholderTextsAreThoseTheApplicationOverwrites)
{
    const struct {
        int32_t form;
        int32_t id;
        const char* text;
    } texts[] = {{1, 28, "99.9"},   {6, 10, "-00:00"},      {6, 11, "-00:00"},    {6, 24, "-00:00"},
                 {7, 24, "-00:00"}, {2, 1, "Version 1.00"}, {2, 2, "30.01.2000"}, {4, 20, "Mix Playlist"},
                 {4, 21, "Case"},   {4, 24, "Case"}};
    std::map<int32_t, std::unique_ptr<CSkinForm>> forms;
    for (const auto& t : texts) {
        if (forms.count(t.form) == 0)
            forms[t.form] = Load(t.form);
        const auto* control = dynamic_cast<const CTextControl*>(forms[t.form]->FindControl(t.id));
        ASSERT_NE(control, nullptr) << "form " << t.form << " text " << t.id;
        EXPECT_EQ(control->GetText(), t.text);
        EXPECT_TRUE(control->Font().IsAttached()) << "form " << t.form << " text " << t.id;
    }
}

} // namespace
