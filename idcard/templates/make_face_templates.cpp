// Draws the empty card face templates "front.jpg" and "back.jpg" (856 x 545
// pixels, the card's 85.6 x 54.47 mm at 10 pixels a millimetre): a soft
// background with a fine wave pattern, the front with a light panel for
// the portrait, the back with a rosette beside its title area. Plain
// artwork of this project; the renderer draws every text.
//
//     make_face_templates OUTDIR
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QtMath>

#include <cstdio>

namespace {

constexpr int width = 856;
constexpr int height = 545;
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
    p.fillRect(0, 0, width, height, Qt::white);
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

QImage front()
{
    QImage image(width, height, QImage::Format_RGB32);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    drawCardBase(p, QColor(236, 245, 251), QColor(250, 247, 238), QColor(120, 180, 215, 38), 0.0);
    // A light panel behind the portrait (drawn at 538, 80, 307 x 378), so
    // its transparent background reads as a photo's.
    QRadialGradient panel(QPointF(691, 269), 230);
    panel.setColorAt(0, QColor(255, 255, 255, 200));
    panel.setColorAt(1, QColor(255, 255, 255, 0));
    p.setPen(Qt::NoPen);
    p.setBrush(panel);
    p.drawRoundedRect(QRectF(520, 62, 343, 414), 18, 18);
    return image;
}

QImage back()
{
    QImage image(width, height, QImage::Format_RGB32);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
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
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTDIR\nwrites OUTDIR/front.jpg and OUTDIR/back.jpg\n", argv[0]);
        return 2;
    }
    const QString dir = QString::fromLocal8Bit(argv[1]);
    const bool ok = front().save(dir + QStringLiteral("/front.jpg"), "JPEG", 92) &&
                    back().save(dir + QStringLiteral("/back.jpg"), "JPEG", 92);
    if (!ok)
        std::fprintf(stderr, "cannot write the templates into %s\n", argv[1]);
    return ok ? 0 : 1;
}
