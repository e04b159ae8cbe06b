#include "SkinForm.h"
#include "ByteReader.h"
#include "ByteWriter.h"
#include "ControlClassTable.h"
#include "LevelMonitorControl.h"
#include "MarkerDisplayControl.h"
#include "MixTrackView.h"
#include "SelectorControl.h"
#include "ShadeArea.h"
#include "SkinTestKit.h"
#include "SwitchControl.h"
#include "TextControl.h"
#include "WaveDisplayControl.h"
#include "WindowsControlHost.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace {

constexpr int32_t kBackground = 50;

class SkinForm : public ::testing::Test {
protected:
    void SetUp() override
    {
        RegisterSkinControlClasses();
        kit.AddSolid(kBackground, 200, 100, 0xFF101010u);
    }

    int Read(CSkinForm& form, const std::vector<uint8_t>& bytes)
    {
        CByteReader stream(bytes.data(), bytes.size());
        return form.Read(stream);
    }

    CSkinTestKit kit;
};

// A record head of the given record version, written field by field as old skins stored it.
void Head(CByteWriter& out, int32_t id, int recordVersion, const std::string& className, int32_t mask = -1,
          int32_t erase = 1, int32_t anchor = 0)
{
    for (const int32_t v : {id, 1, 2, 31, 42, recordVersion})
        out.WriteI32(v);
    out.WriteShortString(className);
    if (recordVersion > 1)
        out.WriteI32(mask);
    if (recordVersion > 2)
        out.WriteI32(erase);
    if (recordVersion <= 3)
        out.WriteI32(0x5EED); // obsolete
    if (recordVersion >= 5)
        out.WriteI32(anchor);
}

// A shade area after the record under test: read correctly only if everything before was.
void Sentinel(CByteWriter& out)
{
    Head(out, 77, 5, "Shade Area");
    out.WriteI32(1);
    out.WriteI32(0x12345678);
}

std::vector<uint8_t> FormOf(int32_t count, const std::function<void(CByteWriter&)>& records)
{
    CByteWriter out;
    out.WriteI32(1);
    out.WriteI32(kBackground);
    out.WriteI32(count);
    records(out);
    return out.Take();
}

void ExpectSentinel(const CSkinForm& form)
{
    const auto* shade = dynamic_cast<const CShadeArea*>(form.FindControl(77));
    ASSERT_NE(shade, nullptr);
    EXPECT_EQ(shade->Colour(), 0x12345678u);
}

} // namespace

TEST_F(SkinForm, ReadsEveryRecordVersion)
{
    for (int version = 1; version <= 5; ++version) {
        CSkinForm form(kit.Pictures());
        const auto bytes = FormOf(2, [&](CByteWriter& out) {
            Head(out, 5, version, "Shade Area", 9, 0, 32);
            out.WriteI32(1);
            out.WriteI32(0x00001020);
            Sentinel(out);
        });
        ASSERT_EQ(Read(form, bytes), 1) << version;
        ASSERT_EQ(form.ControlCount(), 2u) << version;
        const CSkinControl* control = form.ControlAt(0);
        EXPECT_EQ(control->Id(), 5);
        EXPECT_EQ(control->GetRect(), (SkinRect{1, 2, 31, 42}));
        EXPECT_EQ(control->GetMaskPicture(), version > 1 ? 9 : -1) << version;
        EXPECT_EQ(control->GetEraseBackground(), version <= 2) << version;
        EXPECT_EQ(control->GetAnchorFlags(), version >= 5 ? 32 : 0) << version;
        ExpectSentinel(form);
        EXPECT_EQ(form.Width(), 200);
    }
}

TEST_F(SkinForm, ReadsEveryClassDataVersion)
{
    struct Case {
        const char* className;
        int32_t version;
        std::function<void(CByteWriter&)> block;
        std::function<void(const CSkinControl&)> check;
    };
    const auto ints = [](std::vector<int32_t> values) {
        return [values](CByteWriter& out) {
            for (const int32_t v : values)
                out.WriteI32(v);
        };
    };
    const auto text = [](int version) {
        return [version](CByteWriter& out) {
            for (const int32_t v : {3, 0, 1, 0})
                out.WriteI32(v);
            out.WriteShortString("99.9");
            for (const int32_t v : {1, 4, 2})
                out.WriteI32(v);
            if (version == 6)
                out.WriteI32(1);
            out.WriteI32(1);
            out.WriteF32(-10.0f);
            out.WriteF32(10.0f);
            for (int k = 0; k < 16; ++k)
                out.WriteF32(static_cast<float>(k) / 4);
        };
    };
    std::vector<int32_t> selector7(25);
    for (int i = 0; i < 25; ++i)
        selector7[static_cast<size_t>(i)] = 100 + i;
    selector7[CSelectorControl::KnobMode] = 0;
    std::vector<int32_t> selector6 = selector7;
    selector6.insert(selector6.begin() + 1, -1);
    std::vector<int32_t> selector5 = selector6;
    selector5.insert(selector5.begin() + 18, -2);
    const auto checkSelector = [](const CSkinControl& c) {
        const auto& s = dynamic_cast<const CSelectorControl&>(c);
        EXPECT_EQ(s.Field(CSelectorControl::KnobFrames), 101);
        EXPECT_EQ(s.Field(CSelectorControl::KnobFreeTurn), 116);
        EXPECT_EQ(s.Field(CSelectorControl::FaderPicture), 117);
        EXPECT_EQ(s.Field(CSelectorControl::FaderRelative), 124);
    };
    const Case cases[] = {
        {"switch.dll", 5, ints({1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16}),
         [](const CSkinControl& c) {
             const auto& s = dynamic_cast<const CSwitchControl&>(c);
             EXPECT_EQ(s.m_groupId, 1);
             EXPECT_EQ(s.m_notifyMode, 14);
             EXPECT_EQ(s.m_repeatDelay, 16);
         }},
        {"selector.dll", 7, ints(selector7), checkSelector},
        {"selector.dll", 6, ints(selector6), checkSelector},
        {"selector.dll", 5, ints(selector5), checkSelector},
        {"text.dll", 5, text(5),
         [](const CSkinControl& c) {
             const auto& t = dynamic_cast<const CTextControl&>(c);
             EXPECT_EQ(t.GetText(), "99.9");
             EXPECT_EQ(t.m_scrollPeriod, 4);
             EXPECT_EQ(t.m_clickable, 0);
             EXPECT_EQ(t.m_maximum, 10.0f);
             EXPECT_EQ(t.m_dragSteps[7][1], 15.0f / 4);
         }},
        {"text.dll", 6, text(6),
         [](const CSkinControl& c) {
             const auto& t = dynamic_cast<const CTextControl&>(c);
             EXPECT_EQ(t.m_clickable, 1);
             EXPECT_EQ(t.m_dragValueMode, 1);
             EXPECT_EQ(t.m_dragSteps[3][0], 6.0f / 4);
         }},
        {"waveDisplay.dll", 3, ints({0x00FF00, 39}),
         [](const CSkinControl& c) {
             EXPECT_EQ(dynamic_cast<const CWaveDisplayControl&>(c).m_waveColour, 0x00FF00u);
             EXPECT_EQ(dynamic_cast<const CWaveDisplayControl&>(c).m_markerPictureId, 39);
         }},
        {"waveDisplay.dll", 2, ints({7, 7, 7, 0x00FF00, 39}),
         [](const CSkinControl& c) {
             EXPECT_EQ(dynamic_cast<const CWaveDisplayControl&>(c).m_markerPictureId, 39);
         }},
        {"waveDisplay.dll", 1, ints({7, 7, 7, 0x00FF00}),
         [](const CSkinControl& c) {
             EXPECT_EQ(dynamic_cast<const CWaveDisplayControl&>(c).m_waveColour, 0x00FF00u);
             EXPECT_EQ(dynamic_cast<const CWaveDisplayControl&>(c).m_markerPictureId, 0);
         }},
        {"markerDisplay.dll", 2, ints({0x123, 39}),
         [](const CSkinControl& c) {
             EXPECT_EQ(dynamic_cast<const CMarkerDisplayControl&>(c).m_markerPictureId, 39);
         }},
        {"markerDisplay.dll", 1, ints({7, 7, 7, 0x123, 39}),
         [](const CSkinControl& c) {
             EXPECT_EQ(dynamic_cast<const CMarkerDisplayControl&>(c).m_markerColour, 0x123u);
             EXPECT_EQ(dynamic_cast<const CMarkerDisplayControl&>(c).m_markerPictureId, 39);
         }},
        {"levelMonitor.dll", 1, ints({0, 94, 5, 6, 10, 2, 200}),
         [](const CSkinControl& c) {
             const auto& l = dynamic_cast<const CLevelMonitorControl&>(c);
             EXPECT_EQ(l.m_maximum, 200);
             EXPECT_EQ(l.m_vertical, 0);
         }},
        {"levelMonitor.dll", 2, ints({0, 94, 5, 6, 10, 2, 255, 1}),
         [](const CSkinControl& c) {
             EXPECT_EQ(dynamic_cast<const CLevelMonitorControl&>(c).m_vertical, 1);
         }},
        {"Generic Windows Ctrl", 1, ints({}), [](const CSkinControl&) {}},
        {"Mix Track View", 5, ints({3, 15, 17, 23}),
         [](const CSkinControl& c) {
             EXPECT_EQ(dynamic_cast<const CMixTrackView&>(c).m_fontIds,
                       (std::array<int32_t, 4>{3, 15, 17, 23}));
         }},
        {"Mix Track View", 4, ints({3, 15}),
         [](const CSkinControl& c) {
             EXPECT_EQ(dynamic_cast<const CMixTrackView&>(c).m_fontIds,
                       (std::array<int32_t, 4>{3, 15, 3, 15}));
         }},
    };
    for (const Case& c : cases) {
        CSkinForm form(kit.Pictures());
        const auto bytes = FormOf(2, [&](CByteWriter& out) {
            Head(out, 5, 5, c.className);
            out.WriteI32(c.version);
            c.block(out);
            Sentinel(out);
        });
        SCOPED_TRACE(std::string(c.className) + " version " + std::to_string(c.version));
        ASSERT_EQ(Read(form, bytes), 1);
        ASSERT_EQ(form.ControlCount(), 2u);
        EXPECT_EQ(form.ControlAt(0)->ClassName(), c.className);
        c.check(*form.ControlAt(0));
        ExpectSentinel(form);
    }
}

TEST_F(SkinForm, WriteThenReadGivesTheSameBytes)
{
    CSkinForm form(kit.Pictures());
    const auto bytes = FormOf(9, [&](CByteWriter& out) {
        Head(out, 1, 5, "switch.dll", -1, 1, 16);
        out.WriteI32(5);
        for (int i = 0; i < 16; ++i)
            out.WriteI32(i * 3);
        // A fader whose knob value and free-turn flag are arbitrary: both written back as read.
        Head(out, 2, 5, "selector.dll");
        out.WriteI32(7);
        for (int i = 0; i < 25; ++i)
            out.WriteI32(i == CSelectorControl::KnobMode    ? 0
                         : i == CSelectorControl::KnobValue ? 99999
                                                            : i * 7);
        Head(out, 3, 5, "text.dll", 4, 0, 32);
        out.WriteI32(6);
        for (const int32_t v : {3, 0, 1, 1})
            out.WriteI32(v);
        out.WriteShortString("-00:00");
        for (int i = 0; i < 5; ++i)
            out.WriteI32(i);
        for (int k = 0; k < 18; ++k)
            out.WriteF32(static_cast<float>(k) * 0.5f);
        for (const char* name : {"waveDisplay.dll", "markerDisplay.dll", "levelMonitor.dll",
                                 "Generic Windows Ctrl", "Mix Track View", "Shade Area"}) {
            Head(out, 10, 5, name);
            const std::string n = name;
            const std::vector<int32_t> block =
                n == "waveDisplay.dll"     ? std::vector<int32_t>{3, 0x00B4B4B4, 39}
                : n == "markerDisplay.dll" ? std::vector<int32_t>{2, 0x00B4B4B4, 39}
                : n == "levelMonitor.dll"  ? std::vector<int32_t>{2, 0, 94, 3, 4, 5, 6, 255, 1}
                : n == "Mix Track View"    ? std::vector<int32_t>{5, 3, 15, 17, 23}
                : n == "Shade Area"        ? std::vector<int32_t>{1, 0x00001020}
                                           : std::vector<int32_t>{1};
            for (const int32_t v : block)
                out.WriteI32(v);
        }
    });
    ASSERT_EQ(Read(form, bytes), 1);
    ASSERT_EQ(form.ControlCount(), 9u);
    CByteWriter written;
    form.Write(written);
    EXPECT_EQ(written.Bytes(), bytes);
}

TEST_F(SkinForm, OldRecordsLoseTheDirectoryOfTheirClassName)
{
    CSkinForm form(kit.Pictures());
    const auto bytes = FormOf(2, [&](CByteWriter& out) {
        Head(out, 5, 3, "C:\\Skin Designer\\controls\\switch.dll");
        out.WriteI32(5);
        for (int i = 0; i < 16; ++i)
            out.WriteI32(0);
        Sentinel(out);
    });
    ASSERT_EQ(Read(form, bytes), 1);
    ASSERT_EQ(form.ControlCount(), 2u);
    EXPECT_EQ(form.ControlAt(0)->ClassName(), "switch.dll");

    // From record version 4 on the name is taken as it stands: a directory makes it unknown.
    const auto newer = FormOf(2, [&](CByteWriter& out) {
        Head(out, 5, 4, "C:\\controls\\switch.dll");
        out.WriteI32(5);
        for (int i = 0; i < 16; ++i)
            out.WriteI32(0);
        Sentinel(out);
    });
    ASSERT_EQ(Read(form, newer), 1);
    EXPECT_EQ(form.ControlCount(), 0u);
}

TEST_F(SkinForm, AnUnknownClassStopsTheFormAndKeepsTheControlsBeforeIt)
{
    CSkinForm form(kit.Pictures());
    const auto bytes = FormOf(3, [&](CByteWriter& out) {
        Sentinel(out);
        Head(out, 6, 5, "Switch.DLL"); // names compare case-sensitively
        out.WriteI32(5);
        Sentinel(out);
    });
    ASSERT_EQ(Read(form, bytes), 1);
    ASSERT_EQ(form.ControlCount(), 1u);
    ExpectSentinel(form);
    EXPECT_EQ(form.Width(), 200); // the background is still set
}

TEST_F(SkinForm, TruncatedAndHostileFormsKeepOnlyWholeRecords)
{
    const auto whole = FormOf(2, [&](CByteWriter& out) {
        Sentinel(out);
        Head(out, 8, 5, "Shade Area");
        out.WriteI32(1);
        out.WriteI32(5);
    });
    for (size_t cut = 0; cut < whole.size(); ++cut) {
        CSkinForm form(kit.Pictures());
        const std::vector<uint8_t> part(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(cut));
        const int read = Read(form, part);
        EXPECT_EQ(read, cut == 0 ? 0 : 1);
        // Header 12 bytes; each shade record 47 bytes of head and 8 of class data.
        const size_t wholeRecords = cut >= 12 + 55 ? 1 : 0;
        EXPECT_EQ(form.ControlCount(), wholeRecords) << cut;
    }
    // A count of two billion records ends with the data.
    std::vector<uint8_t> hostile = whole;
    hostile[8] = 0xFF, hostile[9] = 0xFF, hostile[10] = 0xFF, hostile[11] = 0x7F;
    CSkinForm form(kit.Pictures());
    ASSERT_EQ(Read(form, hostile), 1);
    EXPECT_EQ(form.ControlCount(), 2u);
}

TEST_F(SkinForm, EmptyFormsAndMissingResources)
{
    kit.AddForm(5, FormOf(0, [](CByteWriter&) {}));
    CSkinForm form(kit.Pictures());
    ASSERT_EQ(kit.Resources().Find(ResourceType::Form, 5).size, 12u);
    EXPECT_EQ(form.LoadResource(5), 1);
    EXPECT_EQ(form.ControlCount(), 0u);
    EXPECT_EQ(form.Width(), 200);
    EXPECT_EQ(form.Height(), 100);
    EXPECT_EQ(form.LoadResource(6), 0);
    EXPECT_EQ(form.Width(), 200);
    EXPECT_EQ(kit.Pictures().ReferenceCount(kBackground), 1);
}

TEST_F(SkinForm, AMaskSmallerThanItsControlIsNeverReadOutsideItsBounds)
{
    CSkinPicture mask;
    mask.Resize(2, 2);
    mask.Fill(0);
    mask.SetPixel(0, 0, 0xFF000001u);
    mask.SetPixel(1, 0, 0x00000001u); // non-zero colour, alpha 0: still hot
    kit.AddPicture(60, mask);
    CSkinForm form(kit.Pictures());
    auto shade = std::make_unique<CShadeArea>();
    shade->SetRect({10, 10, 30, 30});
    shade->SetMaskPicture(60);
    form.AddControl(std::move(shade));
    EXPECT_TRUE(form.HitTest(0, 10, 10));
    EXPECT_TRUE(form.HitTest(0, 11, 10));
    EXPECT_FALSE(form.HitTest(0, 11, 11)); // inside the mask, pixel 0
    EXPECT_FALSE(form.HitTest(0, 12, 10)); // right of the mask, inside the control
    EXPECT_FALSE(form.HitTest(0, 29, 29));
    EXPECT_FALSE(form.HitTest(0, 9, 10)); // outside the control
    EXPECT_EQ(kit.Pictures().ReferenceCount(60), 1);
}

TEST_F(SkinForm, ResizingMovesAnchoredControlsAndShowsTheBottomRightOfTheBackground)
{
    CSkinForm form(kit.Pictures());
    form.SetBackground(kBackground);
    form.SetMinimumSize(true, 50, 40);
    const int32_t flags[] = {0, 0x01, 0x02, 0x10, 0x20, 0x12};
    for (int i = 0; i < 6; ++i) {
        auto shade = std::make_unique<CShadeArea>();
        shade->SetId(i);
        shade->SetRect({10, 10, 20, 20});
        shade->SetAnchorFlags(flags[i]);
        form.AddControl(std::move(shade));
    }
    form.SetSize(180, 70);
    EXPECT_EQ(form.Width(), 180);
    EXPECT_EQ(form.Height(), 70);
    const SkinRect expected[] = {{10, 10, 20, 20},  {10, 10, 0, 20},    {-10, 10, 0, 20},
                                 {10, 10, 20, -10}, {10, -20, 20, -10}, {-10, 10, 0, -10}};
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(form.FindControl(i)->GetRect(), expected[i]) << i;
    form.SetSize(10, 500); // clamped to the minimum and the background
    EXPECT_EQ(form.Width(), 50);
    EXPECT_EQ(form.Height(), 100);
}
