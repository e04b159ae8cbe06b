// quandel-skin-build: turns the skin's editable sources into its binary resources.
//   quandel-skin-build <forms folder> <output folder> [<font folder>]
// Reads every *.form description, draws every picture of the picture map (the drawing code is
// in CSkinArtwork, the fonts come from DejaVu through FreeType) and writes
// <output>/PICTURE/<id>.tga, <output>/FRM/<id>.frm, <output>/PM/1.pm and <output>/built.stamp.
// Files whose bytes did not change are left alone, so the resource step only reruns what it must.
#include "FormSource.h"
#include "GlyphRenderer.h"
#include "PictureMap.h"
#include "SkinArtwork.h"
#include "SkinPicture.h"
#include "TgaFile.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>

namespace fs = std::filesystem;

namespace {

bool WriteIfChanged(const fs::path& path, const std::vector<uint8_t>& bytes)
{
    std::ifstream in(path, std::ios::binary);
    if (in) {
        const std::vector<uint8_t> old((std::istreambuf_iterator<char>(in)),
                                       std::istreambuf_iterator<char>());
        if (old == bytes)
            return true;
    }
    fs::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

// A TGA 2.0 extension area (author field filled) and footer after the pixels. Readers that take
// the pixels right after the header must ignore both; the menu button carries them so that
// stays true of the shipped pictures.
void AppendTgaExtension(std::vector<uint8_t>& tga)
{
    const auto offset = static_cast<uint32_t>(tga.size());
    std::vector<uint8_t> area(495, 0);
    area[0] = 495 & 0xFF;
    area[1] = 495 >> 8;
    const char author[] = "quandel-skin-build";
    std::copy(author, author + sizeof author - 1, area.begin() + 2);
    tga.insert(tga.end(), area.begin(), area.end());
    for (int shift = 0; shift < 32; shift += 8)
        tga.push_back(static_cast<uint8_t>(offset >> shift));
    tga.insert(tga.end(), 4, 0); // no developer directory
    const char signature[] = "TRUEVISION-XFILE.";
    tga.insert(tga.end(), signature, signature + sizeof signature); // with its terminating 0
}

constexpr int32_t kPictureWithExtension = 10;

} // namespace

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s <forms folder> <output folder> [<font folder>]\n", argv[0]);
        return 2;
    }
    const fs::path formsDir = argv[1];
    const fs::path outDir = argv[2];
    const std::string fontDir = argc > 3 ? argv[3] : "/usr/share/fonts/truetype/dejavu";

    std::vector<fs::path> formFiles;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(formsDir, ec))
        if (entry.path().extension() == ".form")
            formFiles.push_back(entry.path());
    if (ec) {
        std::fprintf(stderr, "cannot read %s: %s\n", formsDir.c_str(), ec.message().c_str());
        return 1;
    }
    std::sort(formFiles.begin(), formFiles.end());
    std::vector<CFormSource> forms(formFiles.size());
    for (size_t k = 0; k < formFiles.size(); ++k) {
        std::ifstream in(formFiles[k]);
        std::stringstream text;
        text << in.rdbuf();
        std::string error;
        if (!in || forms[k].Parse(text.str(), error) == 0) {
            std::fprintf(stderr, "%s: %s\n", formFiles[k].c_str(), in ? error.c_str() : "cannot read");
            return 1;
        }
    }

    CGlyphRenderer glyphs(fontDir);
    if (!glyphs.Error().empty()) {
        std::fprintf(stderr, "%s\n", glyphs.Error().c_str());
        return 1;
    }
    CSkinArtwork artwork(glyphs);
    const std::vector<CSkinArtwork::Picture> pictures = artwork.DrawAll(forms);

    CPictureMap map;
    std::map<int32_t, std::pair<int32_t, int32_t>> sizes;
    for (const CSkinArtwork::Picture& p : pictures) {
        CSkinPicture picture;
        p.canvas.ToPicture(picture);
        std::vector<uint8_t> tga = CTgaFile::Write(picture, p.depth);
        if (p.id == kPictureWithExtension)
            AppendTgaExtension(tga);
        if (!WriteIfChanged(outDir / "PICTURE" / (std::to_string(p.id) + ".tga"), tga)) {
            std::fprintf(stderr, "cannot write picture %d\n", p.id);
            return 1;
        }
        map.Add(p.id, "/usr/src/quandel/skin/pictures/" + p.file);
        sizes[p.id] = {p.canvas.Width(), p.canvas.Height()};
    }
    if (!WriteIfChanged(outDir / "PM" / "1.pm", map.Write()))
        return 1;

    const auto pictureSize = [&](int32_t id, int32_t& w, int32_t& h) {
        const auto it = sizes.find(id);
        if (it == sizes.end())
            return false;
        w = it->second.first;
        h = it->second.second;
        return true;
    };
    for (size_t k = 0; k < forms.size(); ++k) {
        std::string error;
        const std::vector<uint8_t> bytes = forms[k].Compile(pictureSize, error);
        const auto background = sizes.find(forms[k].BackgroundId());
        if (bytes.empty() || background == sizes.end() ||
            background->second != std::make_pair(forms[k].Width(), forms[k].Height())) {
            std::fprintf(stderr, "%s: %s\n", formFiles[k].c_str(),
                         bytes.empty() ? error.c_str() : "background picture missing or of another size");
            return 1;
        }
        if (!WriteIfChanged(outDir / "FRM" / (std::to_string(forms[k].FormId()) + ".frm"), bytes))
            return 1;
    }
    std::ofstream stamp(outDir / "built.stamp", std::ios::trunc);
    stamp << pictures.size() << " pictures, " << forms.size() << " forms\n";
    return stamp ? 0 : 1;
}
