// quandel-desktop-files: writes what an installed player needs to appear on the desktop.
//   quandel-desktop-files <output folder>
// The desktop entries and the MIME package (the same texts the player registers for a user at
// start-up) and the program icon, drawn at each size of the icon theme so that small sizes
// stay sharp rather than being scaled down from a large one.
#include "FileAssociations.h"

#include <QColor>
#include <QDir>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

namespace {

constexpr int kSizes[] = {16, 22, 24, 32, 48, 64, 128, 256};

bool WriteText(const std::string& path, const std::string& text)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    return static_cast<bool>(out);
}

// A dark rounded plate with the two decks' platters, Deck A amber on the left, Deck B cyan on
// the right, as the skin colours them.
QImage DrawIcon(int size)
{
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    const double s = size;
    const QRectF plate(s * 0.03, s * 0.03, s * 0.94, s * 0.94);
    QPainterPath rounded;
    rounded.addRoundedRect(plate, s * 0.18, s * 0.18);
    painter.fillPath(rounded, QColor(0x16, 0x1A, 0x22));
    painter.setPen(QPen(QColor(0x3A, 0x42, 0x50), std::max(1.0, s / 48.0)));
    painter.drawPath(rounded);
    const struct {
        double x;
        QColor colour;
    } decks[] = {{0.31, QColor(0xF2, 0xA2, 0x3A)}, {0.69, QColor(0x3A, 0xC8, 0xE8)}};
    for (const auto& deck : decks) {
        const QPointF centre(s * deck.x, s * 0.5);
        const double radius = s * 0.2;
        QRadialGradient disc(centre, radius);
        disc.setColorAt(0.0, deck.colour.lighter(120));
        disc.setColorAt(0.75, deck.colour);
        disc.setColorAt(1.0, deck.colour.darker(160));
        painter.setPen(Qt::NoPen);
        painter.setBrush(disc);
        painter.drawEllipse(centre, radius, radius);
        // The label and spindle read down to 22 pixels; below that the discs stand alone.
        if (size >= 22) {
            painter.setBrush(QColor(0x16, 0x1A, 0x22));
            painter.drawEllipse(centre, radius * 0.34, radius * 0.34);
            painter.setBrush(deck.colour.lighter(140));
            painter.drawEllipse(centre, radius * 0.1, radius * 0.1);
        }
    }
    // The cross-fader between them.
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0xC8, 0xCE, 0xD8));
    painter.drawRoundedRect(QRectF(s * 0.44, s * 0.74, s * 0.12, s * 0.1), s * 0.02, s * 0.02);
    return image;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: quandel-desktop-files <output folder>\n");
        return 2;
    }
    const std::string out = argv[1];
    if (!QDir().mkpath(QString::fromStdString(out)))
        return 1;
    std::vector<std::string> types;
    for (const auto& type : CFileAssociations::FileTypes())
        if (type.mimeType != nullptr)
            types.emplace_back(type.mimeType);
    bool ok = WriteText(out + "/quandel-player.desktop",
                        CFileAssociations::ProgramEntry("quandel-player", types)) &&
              WriteText(out + "/quandel-player-audiocd.desktop",
                        CFileAssociations::AudioCdEntry("quandel-player")) &&
              WriteText(out + "/quandel-player.xml", CFileAssociations::MimePackage());
    for (const int size : kSizes) {
        const QString folder =
            QString::fromStdString(out) + QStringLiteral("/icons/hicolor/%1x%1/apps").arg(size);
        ok = ok && QDir().mkpath(folder) &&
             DrawIcon(size).save(folder + QStringLiteral("/quandel-player.png"));
    }
    if (!ok)
        std::fprintf(stderr, "quandel-desktop-files: %s could not be written\n", out.c_str());
    return ok ? 0 : 1;
}
