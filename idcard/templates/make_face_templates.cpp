// Draws the empty card face templates "front.jpg" and "back.jpg": a soft
// background with a fine wave pattern, the front with a light panel for
// the portrait, the back with a rosette beside its title area. Plain
// artwork of this project; the renderer draws every text.
//
// The faces' texts have fixed point sizes while their positions scale
// with the template, so the template's size sets how large the text sits
// on the card. 1070 x 681 (the card's 85.6 x 54.47 mm at 12.5 pixels a
// millimetre) fits the layout with Debian's fonts at 96 dpi: at 856 x 545
// the identity number runs off the card and the address under the portrait.
//
//     make_face_templates OUTDIR [WIDTH]
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QtMath>

#include <cstdio>
#include <cstdlib>

namespace {

// The artwork's own layout; it is drawn scaled to the output size.
constexpr int width = 856;
constexpr int height = 545;
constexpr int defaultWidth = 1070;
constexpr double radius = 34; // the card's rounded corners

QPainterPath cardOutline()
{
    QPainterPath path;
    path.addRoundedRect(QRectF(1.5, 1.5, width - 3, height - 3), radius, radius);
    return path;
}

// Two families of gently modulated sine lines crossing each other, the
// kind of fine pattern a printed card carries.
void drawWaves(QPainter& p, const QColor& colour, double phase)
{
    p.setPen(QPen(colour, 1.1));
    for (int family = 0; family < 2; ++family) {
        for (int row = -4; row < height / 18 + 4; ++row) {
            QPainterPath line;
            for (int x = 0; x <= width; x += 4) {
                const double t = x / double(width);
                const double sign = family ? -1.0 : 1.0;
                const double y = row * 18 + sign * 22 * qSin(2 * M_PI * (2.2 * t + row * 0.07 + phase)) +
                                 6 * qSin(2 * M_PI * (7 * t + family * 0.5));
                if (x == 0)
                    line.moveTo(x, y);
                else
                    line.lineTo(x, y);
            }
            p.drawPath(line);
        }
    }
}

void drawCardBase(QPainter& p, const QColor& top, const QColor& bottom, const QColor& wave, double phase)
{
    const QPainterPath card = cardOutline();
    QLinearGradient background(0, 0, width, height);
    background.setColorAt(0, top);
    background.setColorAt(1, bottom);
    p.fillPath(card, background);
    p.save();
    p.setClipPath(card);
    drawWaves(p, wave, phase);
    p.restore();
    p.setPen(QPen(QColor(170, 190, 205), 2));
    p.drawPath(card);
}

// A rosette of overlapping rings: decoration only, no device of any issuer.
void drawRosette(QPainter& p, QPointF centre, double r)
{
    QRadialGradient glow(centre, r * 1.25);
    glow.setColorAt(0, QColor(232, 96, 72, 70));
    glow.setColorAt(1, QColor(232, 96, 72, 0));
    p.setPen(Qt::NoPen);
    p.setBrush(glow);
    p.drawEllipse(centre, r * 1.25, r * 1.25);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(205, 70, 55, 170), 1.6));
    for (int i = 0; i < 24; ++i) {
        const double a = 2 * M_PI * i / 24;
        const QPointF c = centre + QPointF(qCos(a), qSin(a)) * r * 0.5;
        p.drawEllipse(c, r * 0.5, r * 0.5);
    }
    p.setPen(QPen(QColor(214, 160, 60, 220), 3));
    p.drawEllipse(centre, r, r);
    p.drawEllipse(centre, r * 0.28, r * 0.28);
}

// The artwork is laid out on 856 x 545 and drawn at pixelsWide.
QImage canvas(int pixelsWide)
{
    QImage image(pixelsWide, int(pixelsWide * double(height) / width + 0.5), QImage::Format_RGB32);
    image.fill(Qt::white);
    return image;
}

QImage front(int pixelsWide)
{
    QImage image = canvas(pixelsWide);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(image.width() / double(width), image.height() / double(height));
    drawCardBase(p, QColor(236, 245, 251), QColor(250, 247, 238), QColor(120, 180, 215, 38), 0.0);
    // A light panel where the portrait goes (53.8 mm, 8 mm; 307 x 378
    // pixels of the output), so its transparent background reads as a photo's.
    QRadialGradient panel(QPointF(661, 231), 200);
    panel.setColorAt(0, QColor(255, 255, 255, 200));
    panel.setColorAt(1, QColor(255, 255, 255, 0));
    p.setPen(Qt::NoPen);
    p.setBrush(panel);
    p.drawRoundedRect(QRectF(526, 68, 270, 326), 16, 16);
    return image;
}

QImage back(int pixelsWide)
{
    QImage image = canvas(pixelsWide);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(image.width() / double(width), image.height() / double(height));
    drawCardBase(p, QColor(250, 246, 236), QColor(235, 244, 250), QColor(200, 150, 110, 36), 0.35);
    // The title area: a warm band across the top, the rosette at its left.
    QLinearGradient band(0, 30, 0, 250);
    band.setColorAt(0, QColor(255, 236, 214, 0));
    band.setColorAt(0.5, QColor(255, 232, 205, 120));
    band.setColorAt(1, QColor(255, 236, 214, 0));
    p.save();
    p.setClipPath(cardOutline());
    p.fillRect(QRectF(0, 30, width, 220), band);
    p.restore();
    drawRosette(p, QPointF(150, 150), 86);
    // A fine rule between the title and the holder's lines.
    p.setPen(QPen(QColor(190, 170, 150, 150), 1.5));
    p.drawLine(QPointF(190, 335), QPointF(width - 60, 335));
    return image;
}

} // namespace

int main(int argc, char** argv)
{
    const int pixelsWide = argc == 3 ? std::atoi(argv[2]) : defaultWidth;
    if (argc < 2 || argc > 3 || pixelsWide < 100 || pixelsWide > 8000) {
        std::fprintf(stderr, "usage: %s OUTDIR [WIDTH]\nwrites OUTDIR/front.jpg and OUTDIR/back.jpg, WIDTH pixels wide (default %d)\n",
                     argv[0], defaultWidth);
        return 2;
    }
    const QString dir = QString::fromLocal8Bit(argv[1]);
    const bool ok = front(pixelsWide).save(dir + QStringLiteral("/front.jpg"), "JPEG", 92) &&
                    back(pixelsWide).save(dir + QStringLiteral("/back.jpg"), "JPEG", 92);
    if (!ok)
        std::fprintf(stderr, "cannot write the templates into %s\n", argv[1]);
    return ok ? 0 : 1;
}
