// Fuzz entry for the form reader: the input is read as a form of every control class, painted
// into a back picture, written out, and the written form must read back to the same bytes.
// Pictures of every kind the controls ask for exist, so attaching and drawing run on real
// strips, fonts and masks.
#include "ByteReader.h"
#include "ByteWriter.h"
#include "ControlClassTable.h"
#include "FuzzInputFile.h"
#include "PictureManager.h"
#include "PictureMap.h"
#include "ResourceTable.h"
#include "SkinControl.h"
#include "SkinForm.h"
#include "SkinPicture.h"
#include "TgaFile.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace {

struct Skin {
    CResourceTable resources;
    std::unique_ptr<CPictureManager> pictures;

    Skin()
    {
        RegisterSkinControlClasses();
        CPictureMap map;
        // Ids 0..15, sizes from 1 x 1 to 256 x 13, every second one with transparent pixels.
        for (int32_t id = 0; id < 16; ++id) {
            CSkinPicture picture;
            const int32_t width = id == 3 ? 256 * 3 : 1 + id * 7;
            picture.Resize(width, 1 + id % 13);
            for (int32_t y = 0; y < picture.Height(); ++y) {
                for (int32_t x = 0; x < width; ++x)
                    picture.SetPixel(x, y,
                                     (x + y + id) % 2 == 0 ? 0xFF000000u | static_cast<uint32_t>(x) : 0u);
            }
            resources.Add(ResourceType::Picture, id, CTgaFile::Write(picture, 32));
            map.Add(id, "picture.tga");
        }
        resources.Add(ResourceType::PictureMap, 1, map.Write());
        pictures = std::make_unique<CPictureManager>(resources);
        pictures->LoadMap();
    }
};

std::vector<uint8_t> Written(const CSkinForm& form)
{
    CByteWriter out;
    form.Write(out);
    return out.Take();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static Skin skin;
    CSkinForm form(*skin.pictures);
    CByteReader stream(data, size);
    if (form.Read(stream) == 0) {
        CFuzzInputFile::Check(size == 0 && form.ControlCount() == 0,
                              "an empty form was refused with controls");
        return 0;
    }
    // Each record takes at least its 24-byte head, a name byte and a class version.
    CFuzzInputFile::Check(form.ControlCount() <= size / 29, "more controls than records fit");

    CSkinPicture back;
    back.Resize(64, 48);
    back.Fill(0);
    form.Paint(back, false);
    form.InvalidateAll();
    form.Paint(back, true);
    for (size_t i = 0; i < form.ControlCount(); ++i) {
        const SkinRect r = form.ControlAt(i)->GetRect();
        form.HitTest(i, r.left, r.top);
        form.HitTest(i, r.right - 1, r.bottom - 1);
    }

    const std::vector<uint8_t> first = Written(form);
    CSkinForm again(*skin.pictures);
    CByteReader reread(first.data(), first.size());
    CFuzzInputFile::Check(again.Read(reread) == 1, "a written form does not read");
    CFuzzInputFile::Check(again.ControlCount() == form.ControlCount(), "controls lost writing a form");
    CFuzzInputFile::Check(Written(again) == first, "a written form reads back differently");
    return 0;
}
