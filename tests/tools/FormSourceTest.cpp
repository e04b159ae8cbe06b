// The form compiler of quandel-skin-build: its messages for a wrong description, and the bytes
// it writes read by the skin's own form reader.
#include "FormSource.h"
#include "ByteReader.h"
#include "ByteWriter.h"
#include "PictureManager.h"
#include "ResourceTable.h"
#include "SkinControl.h"
#include "SkinForm.h"
#include "SkinPicture.h"
#include "SwitchControl.h"
#include "TextControl.h"
#include "TgaFile.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

void RegisterSkinControlClasses();

namespace {

std::vector<uint8_t> SolidTga(int32_t width, int32_t height)
{
    CSkinPicture picture;
    picture.Resize(width, height);
    picture.Fill(0xFF405060u);
    return CTgaFile::Write(picture, 24);
}

// Pictures 5 (a 30 x 10 background) and 7 (a strip of four 12 x 9 frames).
bool TestPictureSize(int32_t id, int32_t& width, int32_t& height)
{
    if (id == 5) {
        width = 30;
        height = 10;
        return true;
    }
    if (id == 7) {
        width = 48;
        height = 9;
        return true;
    }
    return false;
}

TEST(FormSource, WrongLinesAreRefusedWithTheirLineNumber)
{
    const struct {
        const char* text;
        const char* message;
    } cases[] = {
        {"form 1\nbackground 5 30 10\nswitch 3 0 0 picture=7 colour=4\n",
         "line 3: switch takes no key colour"},
        {"form 1\nbackground 5 30 10\nbutton 3 0 0\n", "line 3: unknown line kind button"},
        {"form 1\nbackground 5 30 10\n\ntext 3 0\n", "line 4: text needs id, x and y"},
        {"form 1\nbackground 5 30 10\nswitch 3 0 0 frames\n", "line 3: expected key=value, found frames"},
        {"form 1\n# no background\n", "the form has no background line"},
        {"form x\n", "line 1: form needs its id"},
    };
    for (const auto& c : cases) {
        CFormSource form;
        std::string error;
        EXPECT_EQ(form.Parse(c.text, error), 0) << c.text;
        EXPECT_EQ(error, c.message);
    }
}

TEST(FormSource, ControlsNamingMissingPicturesOrLackingASizeAreRefused)
{
    const struct {
        const char* text;
        const char* message;
    } cases[] = {
        {"background 5 30 10\nswitch 3 0 0 picture=9\n", "line 2: switch 3 names missing picture 9"},
        {"background 5 30 10\nshade 600 0 0\n", "line 2: shade 600 needs a size (w=, h=)"},
        {"background 5 30 10\ntext 3 0 0 w=10 h=5 font=x\n", "line 2: a value is not a number"},
    };
    for (const auto& c : cases) {
        CFormSource form;
        std::string error;
        ASSERT_EQ(form.Parse(c.text, error), 1) << error;
        EXPECT_TRUE(form.Compile(&TestPictureSize, error).empty()) << c.text;
        EXPECT_EQ(error, c.message);
    }
}

TEST(FormSource, CompiledFormReadsBackWithSizesFromItsPicturesAndWritesBackUnchanged)
{
    CFormSource source;
    std::string error;
    ASSERT_EQ(
        source.Parse("form 4\n"
                     "background 5 30 10   # a comment\n"
                     "deco well 1 1 10 5 amber\n"
                     "switch 21 2 1 picture=7 frames=4 press=1 hover=1 disabled=1 notify=2 period=1 delay=3\n"
                     "text 28 14 0 w=16 h=10 centrex=1 text=\"99.9 s\"\n"
                     "shade 600 0 0 w=30 h=10 colour=0x00001020 anchor=16\n",
                     error),
        1)
        << error;
    ASSERT_EQ(source.Decos().size(), 1u);
    EXPECT_EQ(source.Decos()[0].style, "amber");
    const std::vector<uint8_t> bytes = source.Compile(&TestPictureSize, error);
    ASSERT_FALSE(bytes.empty()) << error;

    RegisterSkinControlClasses();
    CResourceTable resources;
    resources.Add(ResourceType::Picture, 5, SolidTga(30, 10));
    resources.Add(ResourceType::Picture, 7, SolidTga(48, 9));
    CPictureManager pictures(resources);
    pictures.Map().Add(5, "/background.tga");
    pictures.Map().Add(7, "/strip.tga");
    CSkinForm form(pictures);
    CByteReader reader(bytes.data(), bytes.size());
    ASSERT_EQ(form.Read(reader), 1);
    EXPECT_EQ(form.Width(), 30);
    EXPECT_EQ(form.Height(), 10);
    ASSERT_EQ(form.ControlCount(), 3u);

    const auto* button = dynamic_cast<const CSwitchControl*>(form.FindControl(21));
    ASSERT_NE(button, nullptr);
    EXPECT_EQ(button->GetRect().Width(), 12);
    EXPECT_EQ(button->GetRect().Height(), 9);
    EXPECT_EQ(button->m_groupId, 21);
    EXPECT_EQ(button->m_notifyMode, 2);
    EXPECT_EQ(button->m_repeatDelay, 3);
    EXPECT_TRUE(button->GetEraseBackground());
    EXPECT_EQ(button->GetMaskPicture(), -1);
    const auto* text = dynamic_cast<const CTextControl*>(form.FindControl(28));
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(text->GetText(), "99.9 s");
    EXPECT_EQ(form.FindControl(600)->GetAnchorFlags(), 16);
    EXPECT_EQ(form.FindControl(600)->ClassName(), "Shade Area");

    CByteWriter writer;
    form.Write(writer);
    EXPECT_EQ(writer.Bytes(), bytes);
}

} // namespace
