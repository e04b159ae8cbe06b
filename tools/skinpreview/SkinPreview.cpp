// quandel-skin-preview: paints every form of the program's skin with its controls in chosen
// states and writes PNG files, so the look can be reviewed without starting the player.
//   quandel-skin-preview <output folder>
// For each form: "normal" (sample titles, times, waves, levels), "hover", "pressed",
// "disabled" and "lit" (every switch in its next state); the mixer adds its cross-fader at 0, 50
// and 100 % and its lamps at each brightness, the deck panel its master volume at 0 and 100 %.
#include "LevelMonitorControl.h"
#include "MixTrackView.h"
#include "PictureManager.h"
#include "ResourceTable.h"
#include "SelectorControl.h"
#include "ShadeArea.h"
#include "SkinControl.h"
#include "SkinEvent.h"
#include "SkinForm.h"
#include "SkinPicture.h"
#include "SwitchControl.h"
#include "TextControl.h"
#include "WaveDisplayControl.h"

#include <QDir>
#include <QImage>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

void RegisterSkinControlClasses();

namespace {

constexpr int32_t kForms[] = {6, 10, 1, 7, 4, 3, 2, 5, 8, 9};

// Renders one variant: loads the form, fills in the samples, applies the set-up and saves.
using Renderer = std::function<void(const char* variant, const std::function<void(CSkinForm&)>& setUp)>;

template <typename T> T* Find(CSkinForm& form, int32_t id)
{
    return dynamic_cast<T*>(form.FindControl(id));
}

void SetText(CSkinForm& form, int32_t id, const char* text)
{
    if (auto* t = Find<CTextControl>(form, id))
        t->SetText(text);
}

// A waveform of a kick-and-bass loop: loud beats every 24 columns over a quieter body.
std::vector<int8_t> SampleWave(int seed)
{
    std::vector<int8_t> wave(284);
    for (int j = 0; j < 142; ++j) {
        const double beat = std::exp(-((j + seed * 7) % 24) / 5.0);
        const double body = 0.25 + 0.12 * std::sin(j * 0.61 + seed) + 0.08 * std::sin(j * 1.7);
        const double a = std::min(0.98, body + 0.7 * beat);
        wave[static_cast<size_t>(2 * j)] = static_cast<int8_t>(-a * 127);
        wave[static_cast<size_t>(2 * j + 1)] = static_cast<int8_t>(a * 120);
    }
    return wave;
}

std::vector<MixTrackBox> SampleTracks()
{
    const struct {
        const char* title;
        const char* artist;
        uint32_t seconds;
    } tracks[] = {{"1. Midnight Harbour", "Lumen Drift", 412},     {"2. Coastline", "Orla Venn", 356},
                  {"3. Paper Satellites", "The Quiet Rooms", 298}, {"4. Low Tide Lights", "Saltmarsh", 377},
                  {"5. Northbound", "Kite Theory", 330},           {"6. Glass Orchard", "Mira Ostrand", 402}};
    std::vector<MixTrackBox> boxes;
    int32_t y = 30;
    for (size_t k = 0; k < std::size(tracks); ++k) {
        MixTrackBox box{};
        box.deckCode = static_cast<uint8_t>(k % 2);
        std::snprintf(box.title, sizeof box.title, "%s", tracks[k].title);
        std::snprintf(box.artist, sizeof box.artist, "%s", tracks[k].artist);
        box.y = y;
        box.height = static_cast<int32_t>(tracks[k].seconds * 1000 / 5500);
        box.lengthMs = tracks[k].seconds * 1000;
        box.selected = k == 1 || k == 2 ? 1 : 0;
        box.marked = k == 4 ? 1 : 0;
        boxes.push_back(box);
        y += box.height - 20; // the next track starts while this one fades out
    }
    return boxes;
}

// What a running player would show: titles, times, levels, waves, boxes.
void FillSamples(CSkinForm& form, int32_t formId, std::vector<MixTrackBox>& boxes,
                 std::vector<std::vector<int8_t>>& waves)
{
    // Both decks hold a track: no shade. The panels set the shade colour at run time.
    for (const int32_t id : {600, 601})
        if (auto* shade = Find<CShadeArea>(form, id)) {
            shade->SetColour(0x00001020u);
            shade->SetActive(false);
        }
    if (formId == 6) {
        SetText(form, 13, "Midnight Harbour (Extended Mix)");
        SetText(form, 19, "Lumen Drift");
        SetText(form, 14, "[next] Coastline");
        SetText(form, 20, "Orla Venn");
        SetText(form, 10, "-02:14");
        SetText(form, 11, " 00:00");
        SetText(form, 24, "12:07");
        SetText(form, 17, "Friday Warm-Up Mix  -  18 tracks");
        if (auto* l = Find<CLevelMonitorControl>(form, 15))
            l->SetLevel(190);
        if (auto* l = Find<CLevelMonitorControl>(form, 16))
            l->SetLevel(40);
        if (auto* l = Find<CLevelMonitorControl>(form, 22))
            l->SetLevel(200);
        if (auto* s = Find<CSwitchControl>(form, 18))
            s->SetState(3);
        if (auto* s = Find<CSwitchControl>(form, 800))
            s->SetState(1);
        if (auto* s = Find<CSwitchControl>(form, 2))
            s->SetState(1);
        if (auto* s = Find<CSwitchControl>(form, 4))
            s->SetState(1);
        if (auto* f = Find<CSelectorControl>(form, 204))
            f->SetValue(200);
    } else if (formId == 1) {
        SetText(form, 28, "10.0");
        for (int deck = 0; deck < 2; ++deck) {
            waves.push_back(SampleWave(deck * 5));
            if (auto* w = Find<CWaveDisplayControl>(form, 300 + deck)) {
                w->SetWaveColour(0x00B3F2E4u);
                w->SetWaveData(waves.back().data(), waves.back().size());
                w->SetCurrentMarker(65, -6);
                w->SetMarker(0, 20, -6);
                w->SetMarker(1, 100, -10);
                w->SetMarker(2, 120, 0);
            }
        }
        // Both decks' lamps: a spread of brightness steps, as a busy mix would show.
        const int32_t lamps[] = {100, 110, 120, 130, 140, 150, 160, 170, 190};
        for (int k = 0; k < 9; ++k) {
            if (auto* s = Find<CSwitchControl>(form, lamps[k]))
                s->SetState(k % 6);
            if (auto* s = Find<CSwitchControl>(form, lamps[k] + 1))
                s->SetState((k + 3) % 6);
        }
        if (auto* f = Find<CSelectorControl>(form, 6))
            f->SetValue(128);
    } else if (formId == 7) {
        boxes = SampleTracks();
        SetText(form, 24, "18:42");
        for (int view = 1; view <= 2; ++view)
            if (auto* v = Find<CMixTrackView>(form, view)) {
                v->SetTracks(boxes.data(), static_cast<int32_t>(boxes.size()),
                             static_cast<uint8_t>(view - 1));
                v->SetPositionLine(140);
            }
        if (auto* s = Find<CSwitchControl>(form, 16))
            s->SetState(1);
    } else if (formId == 4) {
        SetText(form, 21, "Case 1");
        SetText(form, 22, "Warm-Up");
        SetText(form, 23, "- empty -");
        SetText(form, 24, "Late Ni...");
        if (auto* s = Find<CSwitchControl>(form, 16))
            s->SetState(1);
    }
}

void ForEachSwitch(CSkinForm& form, const std::function<void(CSwitchControl&)>& action)
{
    for (size_t i = 0; i < form.ControlCount(); ++i)
        if (auto* s = dynamic_cast<CSwitchControl*>(form.ControlAt(i)))
            action(*s);
}

QImage ToImage(const CSkinPicture& picture)
{
    QImage image(picture.Width(), picture.Height(), QImage::Format_RGB32);
    for (int32_t y = 0; y < picture.Height(); ++y)
        std::memcpy(image.scanLine(y), picture.Pixels() + static_cast<size_t>(y) * picture.Width(),
                    static_cast<size_t>(picture.Width()) * 4);
    return image;
}

// All variants of a form one under the other at twice the size, for reviewing states side by side.
bool SaveSheet(const std::vector<QImage>& images, const QString& path)
{
    int width = 0;
    int height = 0;
    for (const QImage& image : images) {
        width = std::max(width, image.width() * 2);
        height += image.height() * 2 + 4;
    }
    QImage sheet(width, height, QImage::Format_RGB32);
    sheet.fill(0xFF000000u);
    int y = 0;
    for (const QImage& image : images) {
        const QImage big = image.scaled(image.width() * 2, image.height() * 2);
        for (int j = 0; j < big.height(); ++j)
            std::memcpy(sheet.scanLine(y + j), big.constScanLine(j), static_cast<size_t>(big.width()) * 4);
        y += big.height() + 4;
    }
    return sheet.save(path, "PNG");
}

} // namespace

namespace {

// The state variants of a form with controls; render loads the form afresh for each.
void RenderStates(int32_t formId, const Renderer& render)
{
    render("hover", [](CSkinForm& form) {
        ForEachSwitch(form, [](CSwitchControl& s) {
            const SkinRect r = s.GetRect();
            s.Dispatch(CSkinEvent::Mouse(SkinEventKind::MouseEnter, r.left + 1, r.top + 1, 0));
        });
    });
    render("pressed", [](CSkinForm& form) {
        ForEachSwitch(form, [](CSwitchControl& s) {
            const SkinRect r = s.GetRect();
            s.Dispatch(CSkinEvent::Button(r.left + 1, r.top + 1, 0, false, true, false));
        });
    });
    render("disabled", [](CSkinForm& form) {
        for (size_t i = 0; i < form.ControlCount(); ++i)
            form.SetControlEnabled(form.ControlAt(i)->Id(), false);
    });
    render("lit", [](CSkinForm& form) {
        ForEachSwitch(form, [](CSwitchControl& s) {
            if (s.StatesPerGroup() > 1)
                s.SetState((s.GetState() + 1) % s.StatesPerGroup());
        });
        for (int32_t id : {600, 601})
            if (auto* shade = Find<CShadeArea>(form, id))
                shade->SetActive(id == 601);
    });
    if (formId == 1) {
        for (const int percent : {0, 50, 100})
            render(("fader-" + std::to_string(percent)).c_str(), [percent](CSkinForm& form) {
                if (auto* f = Find<CSelectorControl>(form, 6))
                    f->SetValue(percent * 255 / 100);
            });
        for (int brightness = 0; brightness < 6; ++brightness)
            render(("lamps-" + std::to_string(brightness)).c_str(), [brightness](CSkinForm& form) {
                ForEachSwitch(form, [brightness](CSwitchControl& s) {
                    if (s.Id() >= 100 && s.Id() <= 191)
                        s.SetState(brightness);
                });
            });
    }
    if (formId == 6)
        for (const int percent : {0, 100})
            render(("volume-" + std::to_string(percent)).c_str(), [percent](CSkinForm& form) {
                if (auto* f = Find<CSelectorControl>(form, 204))
                    f->SetValue(percent * 255 / 100);
            });
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s <output folder>\n", argv[0]);
        return 2;
    }
    const QString outDir = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(outDir);
    RegisterSkinControlClasses();
    CPictureManager pictures(CResourceTable::Program());
    if (pictures.LoadMap() == 0) {
        std::fprintf(stderr, "the program carries no picture map\n");
        return 1;
    }
    int written = 0;
    int failed = 0;
    for (const int32_t formId : kForms) {
        std::vector<QImage> variants;
        // Each variant starts from a freshly loaded form, so states do not leak between files.
        const auto render = [&](const char* variant, const std::function<void(CSkinForm&)>& setUp) {
            CSkinForm form(pictures);
            std::vector<MixTrackBox> boxes;
            std::vector<std::vector<int8_t>> waves;
            if (form.LoadResource(formId) == 0 || form.Width() <= 0) {
                std::fprintf(stderr, "form %d does not load\n", formId);
                ++failed;
                return;
            }
            FillSamples(form, formId, boxes, waves);
            setUp(form);
            CSkinPicture back;
            back.Resize(form.Width(), form.Height());
            back.Fill(0xFF000000u);
            form.Paint(back, false);
            const QString path = QStringLiteral("%1/form%2-%3.png").arg(outDir).arg(formId).arg(variant);
            variants.push_back(ToImage(back));
            if (variants.back().save(path, "PNG"))
                ++written;
            else
                ++failed;
        };
        render("normal", [](CSkinForm&) {});
        // The empty forms and the border strip have no controls to show in states.
        if (formId != 5 && formId != 8 && formId != 9 && formId != 10)
            RenderStates(formId, render);
        if (!SaveSheet(variants, QStringLiteral("%1/form%2-sheet.png").arg(outDir).arg(formId)))
            ++failed;
    }
    std::printf("%d previews written to %s\n", written, argv[1]);
    return failed == 0 ? 0 : 1;
}
